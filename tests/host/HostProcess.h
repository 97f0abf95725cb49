#pragma once
// The host program as a child process for the end-to-end tests: a one-shot
// run with all output collected, and an interactive session that writes
// request lines to its stdin and reads its stdout line by line. Test thread
// only; each session drains stderr on a thread of its own.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pullbay::test {

struct ChildResult {
    int intExit = -1;
    std::string strOut;
    std::string strErr;
};

// How the child starts besides its arguments.
struct ChildOptions {
    // Standard error on a pseudo-terminal instead of a pipe, as a person's
    // shell gives it (the terminal adds CR before each LF).
    bool bStderrOnTerminal = false;
    // Standard error on a pipe of one page that nobody reads: a reader that
    // has stopped, so the child's writes block once it is full.
    bool bStderrUnread = false;
    // Variables set (a value) or removed (nullopt) in the child's environment.
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
};

// Runs the host with these arguments and the given stdin text; both output
// pipes are drained together so a chatty child never blocks, and a child
// that hangs past the deadline is killed (a test failure).
ChildResult RunHost(const std::vector<std::string>& arguments, const std::string& strStdin = {},
                    const ChildOptions& options = {});

class HostSession {
public:
    explicit HostSession(const std::vector<std::string>& arguments,
                         const ChildOptions& options = {});
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Writes one line (the newline is added), or text as it stands.
    void WriteLine(const std::string& strLine);
    void WriteRaw(const std::string& strText);
    // Everything stdout still brings until it ends (or the time runs out),
    // unsplit; not kept in the transcript.
    std::string ReadRest(std::chrono::milliseconds timeout);
    // The next stdout line, or nullopt when stdout ended or the time ran out.
    std::optional<std::string> ReadLine(
        std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Reads lines until one satisfies the predicate; every line read is kept
    // in Transcript(). nullopt when stdout ended or the time ran out.
    std::optional<std::string> ReadUntil(
        const std::function<bool(const std::string&)>& accept,
        std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Reads until a line contains the text.
    std::optional<std::string> ReadUntilContains(
        const std::string& strText, std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void CloseStdin();
    // Sends a signal to the child (SIGKILL: a crash as the kernel makes it).
    void Signal(int intSignal);
    // Closes stdin, reads the rest of stdout into the transcript and returns
    // the exit code (-1 when killed after the deadline); Stderr() is then whole.
    int Finish(std::chrono::milliseconds timeout = std::chrono::seconds(60));

    // Sends the child a signal.
    void Signal(int intSignal) const;
    // Bytes the child wrote to stdout (stderr: bStderrUnread) that wait in
    // the pipe, unread.
    int UnreadStdoutBytes() const;
    int UnreadStderrBytes() const;

    const std::vector<std::string>& Transcript() const { return m_transcript; }
    std::string Stderr();

private:
    // Waits for more of stdout until the deadline; false once stdout has
    // ended or the time has run out.
    bool ReadMore(std::chrono::steady_clock::time_point deadline);

    pid_t m_pid = -1;
    int m_fdIn = -1;
    int m_fdOut = -1;
    int m_fdErrUnread = -1;
    std::string m_strPending;
    std::vector<std::string> m_transcript;
    std::mutex m_errMutex;
    std::string m_strErr;
    std::thread m_errReader;
    bool m_bEnded = false;
};

}  // namespace pullbay::test
