#pragma once
// Turns the URL text that a page gives for a file into the canonical
// absolute URL that the file list keeps, or refuses it. Stateless; any
// thread may call it (the list members call it on the GUI thread).
#include <cstddef>
#include <optional>
#include <string>

namespace pullbay::control {

// The canonical URL is kept in a buffer of this many UTF-16 units, the
// terminator included: a canonical URL of kUrlBufferUnits units or more is
// refused.
inline constexpr std::size_t kUrlBufferUnits = 260;

// The canonical form (net::SafeWinApi::InternetCanonicalizeUrlW with
// kIcuNoEncode) of strUrl, or nothing when it is refused. Leading and
// trailing spaces and control characters are ignored, as browsers do. Text
// that begins with "http://" or "https://" (any letter case) and is a usable
// URL stands for itself; anything else is a reference resolved against
// pageAddress like a link on that page (refused without a page). The result
// must be an http(s) URL with a host and a port that fits 16 bits, before
// and after canonicalisation. Never throws for bad input; a failure of the
// canonicaliser is a refusal (the canonicaliser has recorded it).
std::optional<std::wstring> AcceptUrl(const std::wstring& strUrl,
                                      const std::optional<std::wstring>& pageAddress);

}  // namespace pullbay::control
