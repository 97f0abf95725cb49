#include "host/cli/SignalWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string_view>

#include "core/TextUnits.h"

namespace pullbay::host {

namespace {

sigset_t WatchedSignals()
{
    sigset_t setWatched;
    sigemptyset(&setWatched);
    sigaddset(&setWatched, SIGINT);
    sigaddset(&setWatched, SIGTERM);
    sigaddset(&setWatched, SIGHUP);
    return setWatched;
}

const char* SignalName(int intSignal)
{
    switch (intSignal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

// One write, so that the line is not split by the GUI thread's output. It
// never waits: the watch thread must stay free for a second SIGINT, and a
// stderr pipe that nobody reads would hold it for ever. A pipe is written
// through a descriptor of its own that does not block (its status flags are
// not the ones that the GUI thread and the parent share); when the pipe is
// full the line is dropped. A line is shorter than PIPE_BUF, so it goes
// whole or not at all.
void Say(std::string_view strLine)
{
    struct stat status {};
    int fdOut = STDERR_FILENO;
    if (::fstat(STDERR_FILENO, &status) == 0 && S_ISFIFO(status.st_mode)) {
        fdOut = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fdOut < 0) {
            return;
        }
    } else if (S_ISSOCK(status.st_mode)) {
        while (::send(STDERR_FILENO, strLine.data(), strLine.size(), MSG_DONTWAIT | MSG_NOSIGNAL) <
                   0 &&
               errno == EINTR) {
        }
        return;
    }
    while (!strLine.empty()) {
        const ssize_t intWritten = ::write(fdOut, strLine.data(), strLine.size());
        if (intWritten < 0 && errno == EINTR) {
            continue;
        }
        if (intWritten <= 0) {
            break;
        }
        strLine.remove_prefix(static_cast<std::size_t>(intWritten));
    }
    if (fdOut != STDERR_FILENO) {
        ::close(fdOut);
    }
}

std::string Trimmed(const std::wstring& strFolder)
{
    std::string strPath = core::ToUtf8(strFolder);
    while (strPath.size() > 1 && strPath.back() == '/') {
        strPath.pop_back();
    }
    return strPath;
}

}  // namespace

void SignalWatch::Block()
{
    const sigset_t setWatched = WatchedSignals();
    ::pthread_sigmask(SIG_BLOCK, &setWatched, nullptr);
}

SignalWatch::SignalWatch(std::wstring strTempFolder, std::function<void(int)> onFirst)
    : m_strTempFolder(Trimmed(strTempFolder)), m_onFirst(std::move(onFirst))
{
    const sigset_t setWatched = WatchedSignals();
    // Also on a thread that was not the first: the signalfd sees only the
    // signals blocked in every thread, and this one must not take them.
    ::pthread_sigmask(SIG_BLOCK, &setWatched, nullptr);
    m_fdSignals = ::signalfd(-1, &setWatched, SFD_CLOEXEC);
    if (m_fdSignals < 0 || ::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        Say("pullbay: cannot watch for signals; SIGINT, SIGTERM and SIGHUP stay pending\n");
        return;
    }
    m_thread = std::thread([this] { Watch(); });
}

SignalWatch::~SignalWatch()
{
    if (m_thread.joinable()) {
        const char chStop = 0;
        while (::write(m_stopPipe[1], &chStop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (const int fd : {m_fdSignals, m_stopPipe[0], m_stopPipe[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void SignalWatch::Watch()
{
    for (;;) {
        pollfd fds[2] = {{m_fdSignals, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        signalfd_siginfo info{};
        if (::read(m_fdSignals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
            continue;
        }
        const auto intSignal = static_cast<int>(info.ssi_signo);
        int intNone = 0;
        if (m_intFirst.compare_exchange_strong(intNone, intSignal)) {
            Say(std::string("pullbay: ") + SignalName(intSignal) +
                " received: cancelling the run (Ctrl-C again ends at once)\n");
            QMetaObject::invokeMethod(
                &m_context, [this, intSignal] { m_onFirst(intSignal); }, Qt::QueuedConnection);
        } else if (intSignal == SIGINT) {
            EndAtOnce();
        }
    }
}

void SignalWatch::EndAtOnce() const
{
    // The engine's file being written is unlinked under it (its blocks go
    // with the process); the lock file goes after the folder it claims.
    if (!m_strTempFolder.empty() && m_strTempFolder != "/") {
        std::error_code error;
        std::filesystem::remove_all(m_strTempFolder, error);
        std::filesystem::remove(m_strTempFolder + ".lock", error);
    }
    // The other threads go on until the process is gone (an instrumented
    // build's _exit may take a while): nothing more of theirs reaches
    // standard output, so no normal end follows this one.
    const int fdNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (fdNull >= 0) {
        ::dup2(fdNull, STDOUT_FILENO);
    }
    Say("pullbay: SIGINT again: ending at once\n");
    // The kernel's exit itself, not the C library's _exit: a runtime that
    // wraps _exit (the sanitizers') flushes stdio first, and that waits for
    // ever on a thread blocked in a write to a full stderr.
    ::syscall(SYS_exit_group, ExitCode(SIGINT));
    ::_exit(ExitCode(SIGINT));
}

}  // namespace pullbay::host
