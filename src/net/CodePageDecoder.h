#pragma once
// Decoding of bytes of a Windows code page into the system's text, through
// the C library's iconv. Stateless; any thread may call it.
#include <string>
#include <string_view>

namespace pullbay::net {

inline constexpr unsigned kCodePageUtf8 = 65001;

// The bytes as text of the code page: 65001 UTF-8, 1200/1201 UTF-16 LE/BE,
// 12000/12001 UTF-32 LE/BE, 20127 ASCII, 28591-28599 ISO-8859-1..9, any other
// number as "CP<number>" when the C library knows it. Malformed input never
// stops decoding: each invalid byte (UTF-16/32: code unit) becomes U+FFFD and
// the rest is decoded; an incomplete sequence at the end becomes one U+FFFD.
// A code page that cannot be decoded throws UnexpectedException.
std::wstring GetDecodedString(std::string_view bytes, unsigned uintCodePage);

}  // namespace pullbay::net
