#pragma once
// Text helpers for std::wstring, the system's text type. wchar_t holds whole
// code points here, but the system's length limits count UTF-16 units, so a
// character above U+FFFF counts two. UTF-8 is used only at the edges
// (libcurl, file names, Qt, JSON).
#include <cstddef>
#include <string>
#include <string_view>

namespace pullbay::core {

// Number of UTF-16 units that the text takes.
std::size_t Utf16Length(std::wstring_view text);

// The longest prefix of text that fits in uintMaxUnits UTF-16 units; a
// character is never split.
std::wstring_view TruncateToUtf16Units(std::wstring_view text, std::size_t uintMaxUnits);

// UTF-8 encoding of text; invalid code points (surrogates, values above
// U+10FFFF) become U+FFFD.
std::string ToUtf8(std::wstring_view text);

// Decodes UTF-8; every invalid or truncated sequence becomes one U+FFFD and
// decoding goes on right after it, so the rest of the text is kept.
std::wstring FromUtf8(std::string_view bytes);

// ASCII-only case folding: the system's rules fold A-Z and nothing else,
// whatever the process locale is.
wchar_t ToLowerAscii(wchar_t ch);
std::wstring ToLowerAscii(std::wstring_view text);
bool EqualsIgnoreAsciiCase(std::wstring_view left, std::wstring_view right);
bool EqualsIgnoreAsciiCase(std::string_view left, std::string_view right);

}  // namespace pullbay::core
