#pragma once
// SIGINT, SIGTERM and SIGHUP for run, serve and demo, received in one place.
// Block() blocks the three on the main thread before any other thread
// exists, so every thread started later (Qt's, the engine's, the servers')
// inherits the mask and none is ever interrupted by them. A SignalWatch then
// takes them from a signalfd on a thread of its own; no signal handler runs
// at all. The first signal is handed to the GUI thread as a queued call:
// there the host cancels its run, and it ends with ExitCode() once the run
// has ended (log printed, temporary files removed). A SIGINT after the first
// signal ends the process at once, from the watch thread, which may run
// while the GUI thread is stuck: it removes the control's temporary folder
// (known in advance) and calls _exit. The watch thread's lines to stderr
// never wait: a full pipe drops them. Other repeated signals are ignored:
// the first one's cancel goes on.
//
// Threads: Block on the main thread first of all; construct and destroy on
// the GUI thread (the main thread), where the first-signal callback runs;
// Received from any thread. The watch thread only reads the signalfd,
// posts the callback and, for the at-once end, removes files and exits.
#include <QObject>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace pullbay::host {

class SignalWatch {
public:
    // The exit code of a run ended by intSignal: 128 + its number (130 for
    // SIGINT, 143 for SIGTERM, 129 for SIGHUP), as a shell reports it.
    static int ExitCode(int intSignal) { return 128 + intSignal; }

    // Main thread, before any other thread is created.
    static void Block();

    // strTempFolder: removed (with its lock file beside it) before an
    // at-once end; empty: nothing to remove. onFirst runs on the GUI thread
    // with the first signal's number.
    SignalWatch(std::wstring strTempFolder, std::function<void(int intSignal)> onFirst);
    // Stops and joins the watch thread; signals that come later stay
    // pending (blocked) until the process ends.
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The first signal's number, 0 while none has come.
    int Received() const { return m_intFirst.load(); }

private:
    // Watch thread.
    void Watch();
    void EndAtOnce() const;

    const std::string m_strTempFolder;  // without a trailing '/'
    const std::function<void(int)> m_onFirst;
    QObject m_context;  // GUI thread: where the first signal is handed
    std::atomic<int> m_intFirst{0};
    int m_fdSignals = -1;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
};

}  // namespace pullbay::host
