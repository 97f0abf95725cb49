#pragma once
// Formatting into bounded buffers. Patterns know "%s" (the next argument) and
// "%%"; the result is cut to fit the buffer (terminator included), never
// refused. A failure of the formatter itself (out of memory) is recorded for
// the thread and thrown on. Any thread may call these.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace pullbay::core {

// Wide text; uintBufferUnits counts UTF-16 units including the terminator.
std::wstring FormatText(std::size_t uintBufferUnits, std::wstring_view strPattern,
                        std::initializer_list<std::wstring_view> arguments);

// Into a caller's buffer of uintBufferUnits wchar_t (terminator included).
// Returns the number of characters written before the terminator.
std::size_t FormatToBuffer(wchar_t* pBuffer, std::size_t uintBufferUnits,
                           std::wstring_view strPattern,
                           std::initializer_list<std::wstring_view> arguments);

// 8-bit text; uintBufferBytes includes the terminator.
std::string FormatText(std::size_t uintBufferBytes, std::string_view strPattern,
                       std::initializer_list<std::string_view> arguments);

}  // namespace pullbay::core
