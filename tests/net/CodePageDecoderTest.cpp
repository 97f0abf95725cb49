// Decoding of code-page bytes, malformed input included.
#include <gtest/gtest.h>

#include <string>

#include "core/Exceptions.h"
#include "core/ProductConfig.h"
#include "net/CodePageDecoder.h"

namespace pullbay::net {
namespace {

const std::wstring kFffd(1, static_cast<wchar_t>(0xFFFD));
const std::wstring kEmoji(1, static_cast<wchar_t>(0x1F600));

TEST(CodePageDecoderTest, DecodesEachCodePageAndReplacesWhatIsMalformed)
{
    using namespace std::string_literals;
    const struct {
        unsigned uintCodePage;
        std::string bytes;
        std::wstring expected;
    } table[] = {
        {65001, "a\xC3\xA9|\xF0\x9F\x98\x80", L"a\u00E9|" + kEmoji},
        {65001,
         "ab\xFF\xE2\x82"
         "cd",
         L"ab" + kFffd + kFffd + L"cd"},
        {65001, "ab\xE2\x82", L"ab" + kFffd},
        {1252, "\x80 5", L"\u20AC 5"},
        {1252, "a\x81z", L"a" + kFffd + L"z"},
        {1200, "A\0=\xD8\0\xDE"s, L"A" + kEmoji},
        {1200,
         "A\0\0\xD8"
         "B\0"s,
         L"A" + kFffd + L"B"},  // the rest stays aligned
        {1200, "A\0B"s, L"A" + kFffd},
        {1201, "\0A\xD8=\xDE\0"s, L"A" + kEmoji},
        {12000, "\0\xF6\x01\0"s, kEmoji},
        {20127, "A\xC3\xA9Z", L"A" + kFffd + kFffd + L"Z"},
        {28591, "\xE9t\xE9", L"\u00E9t\u00E9"},
        {28592, "\xB1", L"\u0105"},
        {28599, "\xFD", L"\u0131"},
        {1251, "\xC0\xFF", L"\u0410\u044F"},
        {932, "\x82\xA0|A\x82", L"\u3042|A" + kFffd},
        {65000, "+ZeVnLIqe-", L"\u65E5\u672C\u8A9E"},
        {1252, "", L""},
        {65001, "", L""},
    };
    for (const auto& row : table) {
        EXPECT_EQ(GetDecodedString(row.bytes, row.uintCodePage), row.expected)
            << "code page " << row.uintCodePage;
    }
}

TEST(CodePageDecoderTest, LongInputIsDecodedWhole)
{
    std::string bytes;
    std::wstring expected;
    for (int i = 0; i < 20000; ++i) {
        const bool euro = i % 7 == 0;
        bytes += euro ? '\x80' : static_cast<char>('a' + i % 26);
        expected += euro ? L'\u20AC' : static_cast<wchar_t>(L'a' + i % 26);
    }
    EXPECT_EQ(GetDecodedString(bytes, 1252), expected);
    EXPECT_EQ(GetDecodedString(bytes + "\x81", 1252), expected + kFffd);
}

TEST(CodePageDecoderTest, UnknownCodePageThrowsUnexpectedException)
{
    for (unsigned uintCodePage : {0u, 4242u, 99999u}) {
        try {
            GetDecodedString("abc", uintCodePage);
            ADD_FAILURE() << "nothing thrown for " << uintCodePage;
        } catch (const core::UnexpectedException& failure) {
            EXPECT_EQ(std::wstring(failure.GetMessage()).find(L"Additional info"),
                      std::wstring::npos);
        }
    }
}

}  // namespace
}  // namespace pullbay::net
