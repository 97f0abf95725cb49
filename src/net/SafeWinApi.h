#pragma once
// Checked stand-ins for the platform's URL services: argument checks and
// failures come out as exceptions of the core hierarchy.
#include <string>

namespace pullbay::net::SafeWinApi {

// Unsafe characters stay as they are.
inline constexpr unsigned kIcuNoEncode = 0x20000000;

// The longest URL that is canonicalised; the rest of a longer text is ignored.
inline constexpr std::size_t kMaxCanonicalUrlUnits = 2048;

// The canonical form of a URL: "." and ".." segments of its path removed
// (never above the root; query and fragment untouched), and, unless
// kIcuNoEncode is given, the unsafe characters of path and query
// percent-encoded (existing escapes stay). Scheme and authority are kept as
// written. Text without a scheme (a relative path, "c:/x/../y") gets the same
// treatment of its path. Only the first kMaxCanonicalUrlUnits UTF-16 units
// are used. A null strUrl throws ArgumentNullPointerException; any other
// failure UnexpectedException.
std::wstring InternetCanonicalizeUrlW(const wchar_t* strUrl, unsigned uintFlags);

}  // namespace pullbay::net::SafeWinApi
