#include "HostProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;

namespace pullbay::test {
namespace {

constexpr auto kRunDeadline = std::chrono::seconds(90);

// The test's environment with the options' changes.
std::vector<std::string> ChildEnvironment(const ChildOptions& options)
{
    std::vector<std::string> variables;
    for (char** pEntry = environ; *pEntry != nullptr; ++pEntry) {
        const std::string strEntry = *pEntry;
        const std::string strName = strEntry.substr(0, strEntry.find('='));
        bool bChanged = false;
        for (const auto& change : options.environment) {
            bChanged = bChanged || change.first == strName;
        }
        if (!bChanged) {
            variables.push_back(strEntry);
        }
    }
    for (const auto& [strName, value] : options.environment) {
        if (value) {
            variables.push_back(strName + "=" + *value);
        }
    }
    return variables;
}

// Spawns the host with its stdin, stdout and stderr on the given pipe ends.
pid_t Spawn(const std::vector<std::string>& arguments, int fdIn, int fdOut, int fdErr,
            const std::vector<int>& toClose, const ChildOptions& options)
{
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, fdIn, 0);
    ::posix_spawn_file_actions_adddup2(&actions, fdOut, 1);
    ::posix_spawn_file_actions_adddup2(&actions, fdErr, 2);
    for (int fd : toClose) {
        ::posix_spawn_file_actions_addclose(&actions, fd);
    }
    std::vector<std::string> all{PULLBAY_HOST_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& strArg : all) {
        argv.push_back(strArg.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables = ChildEnvironment(options);
    std::vector<char*> envp;
    for (std::string& strVariable : variables) {
        envp.push_back(strVariable.data());
    }
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int intSpawn =
        ::posix_spawn(&pid, PULLBAY_HOST_PATH, &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (intSpawn != 0) {
        ADD_FAILURE() << "cannot start " << PULLBAY_HOST_PATH;
        return -1;
    }
    return pid;
}

int WaitForExit(pid_t pid)
{
    int intStatus = 0;
    while (::waitpid(pid, &intStatus, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(intStatus) ? WEXITSTATUS(intStatus) : -1;
}

// Whether the child has ended (a zombie still to be waited for).
bool Exited(pid_t pid)
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

void WriteAll(int fd, const std::string& strText)
{
    std::size_t uintDone = 0;
    while (uintDone < strText.size()) {
        const ssize_t intWritten =
            ::write(fd, strText.data() + uintDone, strText.size() - uintDone);
        if (intWritten <= 0) {
            if (intWritten < 0 && errno == EINTR) {
                continue;
            }
            return;  // the child closed its stdin
        }
        uintDone += static_cast<std::size_t>(intWritten);
    }
}

}  // namespace

ChildResult RunHost(const std::vector<std::string>& arguments, const std::string& strStdin,
                    const ChildOptions& options)
{
    HostSession host(arguments, options);
    // The host's stdin is small test input: written whole before reading.
    host.WriteRaw(strStdin);
    host.CloseStdin();
    ChildResult result;
    result.strOut = host.ReadRest(kRunDeadline);
    result.intExit = host.Finish(std::chrono::seconds(5));
    result.strErr = host.Stderr();
    return result;
}

HostSession::HostSession(const std::vector<std::string>& arguments, const ChildOptions& options)
{
    int inPipe[2];
    int outPipe[2];
    int errPipe[2];
    EXPECT_EQ(::pipe(inPipe), 0);
    EXPECT_EQ(::pipe(outPipe), 0);
    if (options.bStderrOnTerminal) {
        // The terminal's controller end reads like the pipe's.
        EXPECT_EQ(::openpty(&errPipe[0], &errPipe[1], nullptr, nullptr, nullptr), 0);
    } else {
        EXPECT_EQ(::pipe(errPipe), 0);
    }
    m_pid = Spawn(arguments, inPipe[0], outPipe[1], errPipe[1],
                  {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}, options);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::signal(SIGPIPE, SIG_IGN);
    m_fdIn = inPipe[1];
    m_fdOut = outPipe[0];
    const int fdErr = errPipe[0];
    if (options.bStderrUnread) {
        // The smallest pipe there is: the child fills it soon.
        EXPECT_GT(::fcntl(fdErr, F_SETPIPE_SZ, 4096), 0);
        m_fdErrUnread = fdErr;
        return;
    }
    m_errReader = std::thread([this, fdErr] {
        char buffer[4096];
        ssize_t intRead = 0;
        while ((intRead = ::read(fdErr, buffer, sizeof buffer)) > 0 ||
               (intRead < 0 && errno == EINTR)) {
            if (intRead > 0) {
                std::lock_guard lock(m_errMutex);
                m_strErr.append(buffer, static_cast<std::size_t>(intRead));
            }
        }
        ::close(fdErr);
    });
}

HostSession::~HostSession()
{
    if (m_pid > 0 && !m_bEnded) {
        ::kill(m_pid, SIGKILL);
        WaitForExit(m_pid);
    }
    CloseStdin();
    if (m_fdOut >= 0) {
        ::close(m_fdOut);
    }
    if (m_errReader.joinable()) {
        m_errReader.join();
    }
    if (m_fdErrUnread >= 0) {
        ::close(m_fdErrUnread);
    }
}

void HostSession::WriteLine(const std::string& strLine)
{
    WriteRaw(strLine + "\n");
}

void HostSession::WriteRaw(const std::string& strText)
{
    if (m_fdIn >= 0) {
        WriteAll(m_fdIn, strText);
    }
}

bool HostSession::ReadMore(std::chrono::steady_clock::time_point deadline)
{
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (m_fdOut < 0 || remaining.count() <= 0) {
        return false;
    }
    pollfd fd{m_fdOut, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(remaining.count())) <= 0) {
        return true;
    }
    char buffer[4096];
    const ssize_t intRead = ::read(m_fdOut, buffer, sizeof buffer);
    if (intRead > 0) {
        m_strPending.append(buffer, static_cast<std::size_t>(intRead));
    } else if (intRead == 0 || errno != EINTR) {
        ::close(m_fdOut);
        m_fdOut = -1;
    }
    return true;
}

std::string HostSession::ReadRest(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (ReadMore(deadline)) {
    }
    return std::exchange(m_strPending, std::string());
}

std::optional<std::string> HostSession::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        const std::size_t uintEnd = m_strPending.find('\n');
        if (uintEnd != std::string::npos) {
            std::string strLine = m_strPending.substr(0, uintEnd);
            m_strPending.erase(0, uintEnd + 1);
            m_transcript.push_back(strLine);
            return strLine;
        }
    } while (ReadMore(deadline));
    return std::nullopt;
}

std::optional<std::string> HostSession::ReadUntil(
    const std::function<bool(const std::string&)>& accept, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        std::optional<std::string> line = ReadLine(remaining);
        if (!line || accept(*line)) {
            return line;
        }
    }
}

std::optional<std::string> HostSession::ReadUntilContains(const std::string& strText,
                                                          std::chrono::milliseconds timeout)
{
    return ReadUntil(
        [&](const std::string& strLine) { return strLine.find(strText) != std::string::npos; },
        timeout);
}

void HostSession::CloseStdin()
{
    if (m_fdIn >= 0) {
        ::close(m_fdIn);
        m_fdIn = -1;
    }
}

void HostSession::Signal(int intSignal)
{
    if (m_pid > 0 && !m_bEnded) {
        ::kill(m_pid, intSignal);
    }
}

int HostSession::Finish(std::chrono::milliseconds timeout)
{
    CloseStdin();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()))) {
    }
    // A child may close its stdout and still hang (in a write to stderr).
    while (m_fdOut < 0 && m_pid > 0 && !Exited(m_pid) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (m_pid > 0 && !Exited(m_pid)) {
        ::kill(m_pid, SIGKILL);
        ADD_FAILURE() << "the host did not end";
    }
    m_bEnded = true;
    const int intExit = m_pid > 0 ? WaitForExit(m_pid) : -1;
    // The child has gone: its stderr ends, and all of it is read.
    if (m_errReader.joinable()) {
        m_errReader.join();
    }
    return intExit;
}

void HostSession::Signal(int intSignal) const
{
    if (m_pid > 0 && !m_bEnded) {
        ::kill(m_pid, intSignal);
    }
}

int HostSession::UnreadStdoutBytes() const
{
    int intBytes = 0;
    return m_fdOut >= 0 && ::ioctl(m_fdOut, FIONREAD, &intBytes) == 0 ? intBytes : 0;
}

int HostSession::UnreadStderrBytes() const
{
    int intBytes = 0;
    return m_fdErrUnread >= 0 && ::ioctl(m_fdErrUnread, FIONREAD, &intBytes) == 0 ? intBytes : 0;
}

std::string HostSession::Stderr()
{
    std::lock_guard lock(m_errMutex);
    return m_strErr;
}

}  // namespace pullbay::test
