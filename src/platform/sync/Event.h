#pragma once
// A kernel-style event: signalled or not, released by Set, waited for with a
// time-out. Auto-reset events release one waiter and reset themselves;
// manual-reset events stay signalled until Reset. Any thread may call every
// member.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pullbay::platform {

class Event {
public:
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

    explicit Event(bool bManualReset = false, bool bInitiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within the time-out (kInfinite: no
    // limit); an auto-reset event is reset by the wait that takes it.
    bool Wait(std::uint32_t uintTimeOutMs = kInfinite);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_signalled;
    const bool m_bManualReset;
    bool m_bSet;
};

}  // namespace pullbay::platform
