#pragma once
// A server's stop as a descriptor that every wait of its threads polls
// together with whatever it waits for, so that raising it ends each wait at
// once: a stalled read, a blocked write, a paced pause, an idle connection.
// Once raised it stays raised (level-triggered) until cleared.
//
// Threads: Raise, IsRaised and the waits from any thread; Clear only while
// no thread waits (between a server's Stop and its next Start).
#include <atomic>
#include <chrono>

namespace pullbay::loopback {

class StopSignal {
public:
    using Clock = std::chrono::steady_clock;

    enum class Readiness { Ready, Stopped, TimedOut };

    // Throws a core exception (by errno) when the descriptor cannot be made.
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;
    StopSignal(StopSignal&&) = delete;
    StopSignal& operator=(StopSignal&&) = delete;

    void Raise();
    void Clear();
    bool IsRaised() const { return m_bRaised.load(); }

    // Waits until hSocket reports one of intEvents, the signal is raised or
    // the deadline passes. An error or hang-up of the socket counts as ready:
    // the next call on the socket tells what happened. A negative hSocket
    // waits for the signal and the deadline only.
    Readiness WaitReady(int hSocket, short intEvents,
                        Clock::time_point deadline = Clock::time_point::max()) const;
    // Waits until the deadline; false when the signal was raised first.
    bool WaitUntil(Clock::time_point deadline) const;

private:
    // An eventfd: readable while raised.
    int m_hEvent = -1;
    std::atomic<bool> m_bRaised{false};
};

}  // namespace pullbay::loopback
