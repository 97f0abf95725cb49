#pragma once
// Percent-encoding of URL text. Unsafe characters (space, control characters,
// everything outside ASCII, " < > \ ^ ` { | } and a "%" that starts no
// escape) become %XX escapes of their UTF-8 bytes, upper-case hex; escapes
// already present and the reserved characters :/?#[]@!$&'()*+,;= stay.
#include <string>
#include <string_view>

namespace pullbay::net {

// The text with its unsafe characters encoded; the result is pure ASCII.
std::wstring PercentEncodeUnsafe(std::wstring_view strText);

// The URL as the transfer hands it to libcurl: UTF-8 with path, query and
// fragment encoded as above, so the request line carries only characters
// allowed there. The authority stays UTF-8 as written: libcurl refuses
// escapes in a host name and converts an international name itself.
std::string PercentEncodeForTransfer(std::wstring_view strUrl);

}  // namespace pullbay::net
