#include "platform/sync/Event.h"

namespace pullbay::platform {

Event::Event(bool bManualReset, bool bInitiallySet)
    : m_bManualReset(bManualReset), m_bSet(bInitiallySet)
{
}

void Event::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_bSet = true;
    }
    if (m_bManualReset) {
        m_signalled.notify_all();
    } else {
        m_signalled.notify_one();
    }
}

void Event::Reset()
{
    std::lock_guard lock(m_mutex);
    m_bSet = false;
}

bool Event::Wait(std::uint32_t uintTimeOutMs)
{
    std::unique_lock lock(m_mutex);
    const auto signalled = [this] { return m_bSet; };
    if (uintTimeOutMs == kInfinite) {
        m_signalled.wait(lock, signalled);
    } else if (!m_signalled.wait_for(lock, std::chrono::milliseconds(uintTimeOutMs), signalled)) {
        return false;
    }
    if (!m_bManualReset) {
        m_bSet = false;
    }
    return true;
}

}  // namespace pullbay::platform
