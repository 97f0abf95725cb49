#pragma once
// Hex digits read and written in ASCII only, never through the locale (as
// std::isxdigit and std::hex are). Nothing here allocates but AppendHex's
// output, so HexDigit may be called from a signal handler.
#include <cstdint>

namespace pullbay::core {

enum class HexCase { Upper, Lower };

// The value of a hex digit of either case, or -1 for any other character.
template <typename Char>
constexpr int HexDigitValue(Char ch)
{
    if (ch >= Char('0') && ch <= Char('9')) {
        return static_cast<int>(ch - Char('0'));
    }
    if (ch >= Char('a') && ch <= Char('f')) {
        return static_cast<int>(ch - Char('a')) + 10;
    }
    if (ch >= Char('A') && ch <= Char('F')) {
        return static_cast<int>(ch - Char('A')) + 10;
    }
    return -1;
}

template <typename Char>
constexpr bool IsHexDigit(Char ch)
{
    return HexDigitValue(ch) >= 0;
}

// The digit of the lowest four bits of uintValue.
constexpr char HexDigit(std::uint64_t uintValue, HexCase letterCase)
{
    const int intNibble = static_cast<int>(uintValue & 0xF);
    if (intNibble < 10) {
        return static_cast<char>('0' + intNibble);
    }
    return static_cast<char>((letterCase == HexCase::Upper ? 'A' : 'a') + intNibble - 10);
}

// Appends the lowest intDigits (at most 16) hex digits of uintValue, most
// significant first, leading zeros included. Text is std::string or
// std::wstring.
template <typename Text>
void AppendHex(Text& out, std::uint64_t uintValue, int intDigits, HexCase letterCase)
{
    for (int i = intDigits - 1; i >= 0; --i) {
        const char chDigit = HexDigit(uintValue >> (4 * i), letterCase);
        out.push_back(static_cast<typename Text::value_type>(chDigit));
    }
}

}  // namespace pullbay::core
