// Hex digits: which characters read as digits, and the digits written for a
// value in either case.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "core/HexDigits.h"

namespace pullbay::core {
namespace {

int ExpectedValue(int intCode)
{
    constexpr std::string_view kDigits = "0123456789abcdef";
    constexpr std::string_view kUpper = "ABCDEF";
    if (intCode >= 0 && intCode < 128) {
        const char ch = static_cast<char>(intCode);
        if (const auto uintAt = kDigits.find(ch); uintAt != std::string_view::npos) {
            return static_cast<int>(uintAt);
        }
        if (const auto uintAt = kUpper.find(ch); uintAt != std::string_view::npos) {
            return static_cast<int>(uintAt) + 10;
        }
    }
    return -1;
}

TEST(HexDigitsTest, OnlyTheTwentyTwoAsciiDigitsHaveAValue)
{
    // Every char, signed ones above 0x7F included.
    for (int intByte = 0; intByte < 256; ++intByte) {
        const auto ch = static_cast<char>(intByte);
        const int intExpected = static_cast<signed char>(intByte) < 0 ? -1 : ExpectedValue(intByte);
        EXPECT_EQ(HexDigitValue(ch), intExpected) << intByte;
        EXPECT_EQ(IsHexDigit(ch), intExpected >= 0) << intByte;
    }
    // Wide characters whose low byte is a digit are not digits, nor are
    // other scripts' digits and letters.
    for (const wchar_t ch : {L'\u0130', L'\u0141', L'\u0666', L'\uFF10', L'\uFF21', L'\uFF41',
                             static_cast<wchar_t>(0x10041), static_cast<wchar_t>(-191)}) {
        EXPECT_EQ(HexDigitValue(ch), -1) << static_cast<long>(ch);
        EXPECT_FALSE(IsHexDigit(ch)) << static_cast<long>(ch);
    }
    for (int intCode = 0; intCode < 128; ++intCode) {
        EXPECT_EQ(HexDigitValue(static_cast<wchar_t>(intCode)), ExpectedValue(intCode)) << intCode;
    }
}

TEST(HexDigitsTest, AppendWritesTheLowestDigitsWithLeadingZerosInTheCaseAsked)
{
    std::string strOut = "%";
    AppendHex(strOut, 0x0A, 2, HexCase::Upper);
    EXPECT_EQ(strOut, "%0A");
    strOut.clear();
    AppendHex(strOut, 0x1234ABCD, 4, HexCase::Lower);
    EXPECT_EQ(strOut, "abcd");
    strOut.clear();
    AppendHex(strOut, UINT64_MAX - 0x0F, 16, HexCase::Upper);
    EXPECT_EQ(strOut, "FFFFFFFFFFFFFFF0");
    strOut.clear();
    AppendHex(strOut, 0x0123456789ABCDEFull, 16, HexCase::Lower);
    EXPECT_EQ(strOut, "0123456789abcdef");

    std::wstring strWide = L"#";
    AppendHex(strWide, 0xC0FFEE, 6, HexCase::Lower);
    EXPECT_EQ(strWide, L"#c0ffee");

    for (unsigned uintByte = 0; uintByte < 256; ++uintByte) {
        for (const HexCase letterCase : {HexCase::Upper, HexCase::Lower}) {
            std::string strByte;
            AppendHex(strByte, uintByte, 2, letterCase);
            ASSERT_EQ(strByte.size(), 2u);
            EXPECT_EQ(HexDigitValue(strByte[0]) * 16 + HexDigitValue(strByte[1]),
                      static_cast<int>(uintByte));
        }
    }
}

}  // namespace
}  // namespace pullbay::core
