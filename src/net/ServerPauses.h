#pragma once
// The servers of one run that asked, through Retry-After, to be left alone
// for a while: each origin (scheme, host, port as GetOrigin gives it) with
// the moment its pause ends. The transfers of a run share one; a transfer
// sends no request to a paused origin, so one server's pause holds back its
// own files only.
//
// Threads: the run's worker thread only, the first to call it (debug builds
// abort on any other).
#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>

#include "core/ThreadAffinity.h"

namespace pullbay::net {

class ServerPauses {
public:
    using Clock = std::chrono::steady_clock;

    // The origin is paused until then, or until its later pause ends.
    void PauseUntil(const std::wstring& strOrigin, Clock::time_point until);

    // When the origin's pause ends; nullopt when it has none that lasts
    // beyond now.
    std::optional<Clock::time_point> PausedUntil(const std::wstring& strOrigin,
                                                 Clock::time_point now) const;

private:
    std::unordered_map<std::wstring, Clock::time_point> m_pauses;
    const core::ThreadAffinity m_thread{core::ThreadAffinity::kBindOnFirstUse};
};

}  // namespace pullbay::net
