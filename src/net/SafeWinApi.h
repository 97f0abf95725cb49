#pragma once
// Checked stand-ins for the platform's URL services: argument checks and
// failures come out as exceptions of the core hierarchy. Stateless; any
// thread may call them.
#include <cstddef>
#include <string>

namespace pullbay::net::SafeWinApi {

// Unsafe characters stay as they are.
inline constexpr unsigned kIcuNoEncode = 0x20000000;

// The longest URL that is canonicalised; the rest of a longer text is ignored.
inline constexpr std::size_t kMaxCanonicalUrlUnits = 2048;

// The canonical form of a URL, the text by which the list tells files apart
// and which pages see again:
// - the scheme in lower case ("HTTP:" gives "http:");
// - the host in lower case, A-Z only (user information and non-ASCII
//   letters stay as written);
// - the default port of http (80) and https (443) left out, as is an empty
//   port after ":" on those schemes; any other port stays as written;
// - for http and https: "\" before the query read as "/" (as browsers do),
//   and an empty path after the authority given as "/";
// - "." and ".." segments of the path removed (never above the root; query
//   and fragment untouched);
// - unless kIcuNoEncode is given, the unsafe characters of path and query
//   percent-encoded (existing escapes stay); the hex digits of every escape
//   in path and query in upper case ("%2f" gives "%2F"). Escapes are never
//   decoded, so "%2E%2E" is no dot segment.
// The fragment stays as written. Text without a scheme (a relative path,
// "c:/x/../y") gets the same treatment of its path. Only the first
// kMaxCanonicalUrlUnits UTF-16 units are used. The result is stable: the
// canonical form of a canonical URL is itself. A null strUrl throws
// ArgumentNullPointerException; any other failure UnexpectedException.
std::wstring InternetCanonicalizeUrlW(const wchar_t* strUrl, unsigned uintFlags);

}  // namespace pullbay::net::SafeWinApi
