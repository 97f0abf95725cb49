#pragma once
// Text for the crash-dump handler, built without allocation or locale:
// decimal and hex digits, and a NUL-terminated text in a fixed buffer.
//
// Threads: async-signal-safe; a FixedText belongs to the thread that made it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/HexDigits.h"

namespace pullbay::module {

// Decimal digits of uintValue, at least intMinDigits of them (zero-padded),
// written to pOut (room for 20); returns how many.
inline std::size_t FormatDecimal(char* pOut, std::uint64_t uintValue, int intMinDigits = 1)
{
    char reversed[20];
    std::size_t uintCount = 0;
    do {
        reversed[uintCount++] = static_cast<char>('0' + uintValue % 10);
        uintValue /= 10;
    } while (uintValue != 0);
    while (uintCount < static_cast<std::size_t>(intMinDigits) && uintCount < sizeof reversed) {
        reversed[uintCount++] = '0';
    }
    for (std::size_t i = 0; i < uintCount; ++i) {
        pOut[i] = reversed[uintCount - 1 - i];
    }
    return uintCount;
}

// "0x" and 16 lower-case hex digits; pOut needs room for 18.
inline std::size_t FormatHex64(char* pOut, std::uint64_t uintValue)
{
    pOut[0] = '0';
    pOut[1] = 'x';
    for (int i = 0; i < 16; ++i) {
        pOut[2 + i] = core::HexDigit(uintValue >> (60 - 4 * i), core::HexCase::Lower);
    }
    return 18;
}

// A NUL-terminated text in a fixed buffer; what does not fit sets the
// overflow flag instead of being cut silently.
template <std::size_t N>
class FixedText {
public:
    void Append(std::string_view text)
    {
        if (text.size() > N - 1 - m_uintSize) {
            m_bOverflow = true;
            return;
        }
        std::memcpy(m_buffer + m_uintSize, text.data(), text.size());
        m_uintSize += text.size();
        m_buffer[m_uintSize] = '\0';
    }
    void AppendDecimal(std::uint64_t uintValue, int intMinDigits = 1)
    {
        char digits[20];
        Append(std::string_view(digits, FormatDecimal(digits, uintValue, intMinDigits)));
    }
    const char* CStr() const { return m_buffer; }
    std::size_t Size() const { return m_uintSize; }
    bool Overflow() const { return m_bOverflow; }

private:
    char m_buffer[N] = {};
    std::size_t m_uintSize = 0;
    bool m_bOverflow = false;
};

}  // namespace pullbay::module
