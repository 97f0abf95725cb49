#pragma once
// An HTTP(S) URL split into the pieces that a transfer needs (ParseUrl).
#include <cstdint>
#include <string>

namespace pullbay::net {

// The scheme values of the original platform's internet API.
inline constexpr std::int32_t kSchemeHttp = 3;
inline constexpr std::int32_t kSchemeHttps = 4;

struct UrlComponents {
    std::wstring host;
    // From the first "/" after the authority to the end: query and fragment
    // included; empty when the URL has no path.
    std::wstring path;
    std::uint16_t port = 0;
    std::int32_t scheme = -1;
};

}  // namespace pullbay::net
