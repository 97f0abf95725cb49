#pragma once
// The wait that a Retry-After header field asks for. Pure functions; any
// thread may call them.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pullbay::net {

// Waits are counted up to this many seconds (about 68 years); a longer one,
// a 40-digit number of seconds included, is reported as this.
inline constexpr std::int64_t kMaxRetryAfterSeconds = 0x7FFFFFFF;

// Seconds to wait, at least 0: the value as delta-seconds (digits only), or
// an HTTP-date (IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", or the obsolete
// RFC 850 "Sunday, 06-Nov-94 08:49:37 GMT" and asctime "Sun Nov  6 08:49:37
// 1994" forms) taken relative to now and rounded up to a whole second; a
// date that has passed gives 0. nullopt for an empty value, a sign, a
// fraction, an impossible date and anything else.
std::optional<std::int64_t> ParseRetryAfter(std::string_view strValue,
                                            std::chrono::system_clock::time_point now);

}  // namespace pullbay::net
