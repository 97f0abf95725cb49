#include "net/ServerPauses.h"

#include <iterator>

namespace pullbay::net {

void ServerPauses::PauseUntil(const std::wstring& strOrigin, Clock::time_point until)
{
    PB_ASSERT_OWNER_THREAD(m_thread);
    // Pauses that have ended go first: a long run that meets many servers
    // keeps only the ones still paused.
    const Clock::time_point now = Clock::now();
    for (auto it = m_pauses.begin(); it != m_pauses.end();) {
        it = it->second <= now ? m_pauses.erase(it) : std::next(it);
    }
    auto [it, bInserted] = m_pauses.try_emplace(strOrigin, until);
    if (!bInserted && it->second < until) {
        it->second = until;
    }
}

std::optional<ServerPauses::Clock::time_point> ServerPauses::PausedUntil(
    const std::wstring& strOrigin, Clock::time_point now) const
{
    PB_ASSERT_OWNER_THREAD(m_thread);
    const auto it = m_pauses.find(strOrigin);
    if (it == m_pauses.end() || it->second <= now) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace pullbay::net
