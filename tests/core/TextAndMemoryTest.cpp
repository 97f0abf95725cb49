// Text helpers (UTF-16 unit counting, UTF-8 conversion, ASCII folding),
// bounded formatting and the memory helpers of the core library.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/MemoryManagement.h"
#include "core/TextFormat.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"

namespace pullbay::core {
namespace {

const wchar_t kFffd = static_cast<wchar_t>(0xFFFD);
const wchar_t kEmoji = static_cast<wchar_t>(0x1F600);

TEST(TextUnitsTest, FromUtf8ReplacesEachIllFormedSequenceOnceAndKeepsTheRest)
{
    const struct {
        const char* strName;
        std::string bytes;
        std::wstring expected;
    } table[] = {
        {"valid", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", std::wstring(L"a\u00E9\u20AC") + kEmoji},
        {"stray continuation", "a\x80z", std::wstring(L"a") + kFffd + L"z"},
        {"invalid lead bytes", "\xC0\xC1\xF5\xFF!", std::wstring(4, kFffd) + L"!"},
        {"truncated in the middle", "a\xE2\x82z", std::wstring(L"a") + kFffd + L"z"},
        {"truncated at the end", "ab\xF0\x9F\x98", std::wstring(L"ab") + kFffd},
        {"overlong", "\xE0\x80\xAF!", std::wstring(3, kFffd) + L"!"},
        {"surrogate", "\xED\xA0\x80!", std::wstring(3, kFffd) + L"!"},
        {"above U+10FFFF", "\xF4\x90\x80\x80!", std::wstring(4, kFffd) + L"!"},
        {"highest", "\xF4\x8F\xBF\xBF", std::wstring(1, static_cast<wchar_t>(0x10FFFF))},
        {"empty", "", L""},
    };
    for (const auto& row : table) {
        EXPECT_EQ(FromUtf8(row.bytes), row.expected) << row.strName;
    }
}

TEST(TextUnitsTest, ToUtf8EncodesEveryCodePointAndReplacesInvalidOnes)
{
    const std::wstring text = std::wstring(L"a\u00E9\u20AC") + kEmoji;
    EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xEF\xBF\xBD");
}

TEST(TextUnitsTest, LengthsCountUtf16UnitsAndTruncationNeverSplitsACharacter)
{
    const std::wstring text = std::wstring(L"ab") + kEmoji + L"c";
    EXPECT_EQ(Utf16Length(text), 5u);
    EXPECT_EQ(TruncateToUtf16Units(text, 5), text);
    EXPECT_EQ(TruncateToUtf16Units(text, 4), std::wstring(L"ab") + kEmoji);
    EXPECT_EQ(TruncateToUtf16Units(text, 3), L"ab");
    EXPECT_EQ(TruncateToUtf16Units(text, 0), L"");
}

TEST(TextUnitsTest, CaseFoldingTouchesAsciiLettersOnly)
{
    EXPECT_EQ(ToLowerAscii(L"HTTP://\u00C4\u0130Z"), L"http://\u00C4\u0130z");
    EXPECT_TRUE(EqualsIgnoreAsciiCase(L"HtTpS", L"https"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(L"\u00C4", L"\u00E4"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(L"http", L"http "));
    EXPECT_TRUE(EqualsIgnoreAsciiCase(std::string_view("IMAGE/JPEG"), "image/jpeg"));
}

TEST(TextFormatTest, ExpandsArgumentsAndPercentSignsAndCutsToTheBuffer)
{
    const struct {
        std::size_t uintBuffer;
        std::wstring_view pattern;
        std::initializer_list<std::wstring_view> arguments;
        std::wstring expected;
    } table[] = {
        {100, L"%s and %s", {L"a", L"b"}, L"a and b"},
        {100, L"100%% of %s", {L"x"}, L"100% of x"},
        {100, L"%s%s", {L"only"}, L"only"},
        {100, L"%d stays, so does %", {}, L"%d stays, so does %"},
        {100, L"[%s]", {L"%s%%"}, L"[%s%%]"},  // arguments are not expanded again
        {5, L"abcdef", {}, L"abcd"},
        {1, L"abc", {}, L""},
        {0, L"abc", {}, L""},
        {4, L"ab%s", {std::wstring_view(&kEmoji, 1)}, L"ab"},
        {5, L"ab%s", {std::wstring_view(&kEmoji, 1)}, std::wstring(L"ab") + kEmoji},
    };
    for (const auto& row : table) {
        EXPECT_EQ(FormatText(row.uintBuffer, row.pattern, row.arguments), row.expected)
            << ToUtf8(row.pattern) << " in " << row.uintBuffer;
    }
    EXPECT_EQ(FormatText(4, std::string_view("%s%%"), {"abc"}), "abc");
    EXPECT_EQ(FormatText(3, std::string_view("%s%%"), {"abc"}), "ab");
}

TEST(TextFormatTest, FormatToBufferTerminatesWithinTheBuffer)
{
    wchar_t buffer[6] = {L'#', L'#', L'#', L'#', L'#', L'#'};
    EXPECT_EQ(FormatToBuffer(buffer, 4, L"%s!", {L"hello"}), 3u);
    EXPECT_EQ(std::wstring(buffer), L"hel");
    EXPECT_EQ(buffer[4], L'#');
    EXPECT_EQ(FormatToBuffer(buffer, 0, L"x", {}), 0u);
    EXPECT_EQ(FormatToBuffer(nullptr, 4, L"x", {}), 0u);
}

TEST(MemoryManagementTest, NullTextsAreNoWork)
{
    EXPECT_EQ(MemoryManagement::AllocAndCopyString(nullptr), nullptr);
    EXPECT_NO_THROW(MemoryManagement::FreeMemory(nullptr));

    wchar_t* pCopy = MemoryManagement::AllocAndCopyString(L"text\u20AC");
    ASSERT_NE(pCopy, nullptr);
    EXPECT_STREQ(pCopy, L"text\u20AC");
    MemoryManagement::FreeMemory(pCopy);
}

TEST(MemoryManagementTest, RefusedAllocationThrowsMemoryException)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer aborts on an impossible allocation";
#else
    ExceptionManager::ClearException(CurrentThreadId());
    EXPECT_THROW(MemoryManagement::AllocMemory(std::numeric_limits<std::size_t>::max() / 2),
                 MemoryException);
    const auto pRecord = ExceptionManager::GetException(CurrentThreadId());
    ASSERT_NE(pRecord, nullptr);
    EXPECT_EQ(pRecord->GetCode(), E_OUTOFMEMORY);
    EXPECT_STREQ(pRecord->GetMessage(), L"Unable to commit memory.");
    ExceptionManager::ClearException(CurrentThreadId());
#endif
}

}  // namespace
}  // namespace pullbay::core
