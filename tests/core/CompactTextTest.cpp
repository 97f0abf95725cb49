// Compact texts: every wchar_t value comes back unchanged, in the narrowest
// unit, with a header that grows with the length; texts written one after
// another are read back in order, and a view's bytes copy as they stand.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/CompactText.h"

namespace pullbay::core {
namespace {

std::vector<unsigned char> Written(std::wstring_view text)
{
    std::vector<unsigned char> bytes(CompactTextSize(text));
    EXPECT_EQ(WriteCompactText(text, bytes.data()), bytes.data() + bytes.size());
    return bytes;
}

TEST(CompactTextTest, EachTextTakesTheNarrowestUnitThatHoldsAllItsCharacters)
{
    const struct {
        std::wstring text;
        std::size_t uintSize;
    } table[] = {
        {L"", 1},
        {L"http://h/a.bin", 1 + 14},
        {L"caf\u00E9 \u00FF", 1 + 6},
        {L"\u0100", 1 + 2},
        {L"a\u20AC", 1 + 2 * 2},
        {L"\uFFFF", 1 + 2},
        {L"a\U0001F600", 1 + 2 * 4},
        // A lone surrogate and values beyond Unicode are kept as they are.
        {std::wstring(1, static_cast<wchar_t>(0xD800)), 1 + 2},
        {std::wstring(1, static_cast<wchar_t>(0x7FFFFFFF)), 1 + 4},
        {std::wstring(1, static_cast<wchar_t>(-1)), 1 + 4},
        {std::wstring(1, L'\0') + L"x", 1 + 2},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.text.size());
        EXPECT_EQ(CompactTextSize(row.text), row.uintSize);
        const std::vector<unsigned char> bytes = Written(row.text);
        const unsigned char* pIn = bytes.data();
        const CompactTextView view = ReadCompactText(pIn);
        EXPECT_EQ(pIn, bytes.data() + bytes.size());
        EXPECT_EQ(view.Length(), row.text.size());
        EXPECT_EQ(view.Str(), row.text);
        EXPECT_TRUE(view == row.text);
        for (std::size_t i = 0; i < row.text.size(); ++i) {
            EXPECT_EQ(view.At(i), row.text[i]);
        }
        EXPECT_EQ(view.EncodedSize(), bytes.size());
    }
}

TEST(CompactTextTest, TheHeaderGrowsWithTheLength)
{
    // One byte up to 31 characters, two up to 4095, three beyond.
    for (const auto& [uintLength, uintHeader] : std::vector<std::pair<std::size_t, std::size_t>>{
             {31, 1}, {32, 2}, {4095, 2}, {4096, 3}, {100000, 3}}) {
        const std::wstring text(uintLength, L'x');
        EXPECT_EQ(CompactTextSize(text), uintHeader + uintLength) << uintLength;
        const std::vector<unsigned char> bytes = Written(text);
        const unsigned char* pIn = bytes.data();
        EXPECT_EQ(ReadCompactText(pIn).Str(), text);
        EXPECT_EQ(pIn, bytes.data() + bytes.size());
    }
}

TEST(CompactTextTest, TextsInOneBufferReadBackInOrderAndCopyAsTheyStand)
{
    std::mt19937 random(20240607u);
    std::vector<std::wstring> texts;
    for (int i = 0; i < 200; ++i) {
        std::wstring text(std::uniform_int_distribution<std::size_t>(0, 80)(random), L'\0');
        const int intRange = i % 3;
        for (wchar_t& ch : text) {
            const std::uint32_t uintTop =
                intRange == 0 ? 0xFF : (intRange == 1 ? 0xFFFF : 0x10FFFF);
            ch = static_cast<wchar_t>(
                std::uniform_int_distribution<std::uint32_t>(0, uintTop)(random));
        }
        texts.push_back(text);
    }
    std::size_t uintTotal = 0;
    for (const std::wstring& text : texts) {
        uintTotal += CompactTextSize(text);
    }
    std::vector<unsigned char> bytes(uintTotal);
    unsigned char* pOut = bytes.data();
    for (const std::wstring& text : texts) {
        pOut = WriteCompactText(text, pOut);
    }
    ASSERT_EQ(pOut, bytes.data() + bytes.size());

    std::vector<unsigned char> copies(uintTotal);
    unsigned char* pCopy = copies.data();
    const unsigned char* pIn = bytes.data();
    for (const std::wstring& text : texts) {
        const CompactTextView view = ReadCompactText(pIn);
        ASSERT_EQ(view.Str(), text);
        ASSERT_EQ(CompactTextSize(view), CompactTextSize(text));
        pCopy = WriteCompactText(view, pCopy);
    }
    EXPECT_EQ(pIn, bytes.data() + bytes.size());
    EXPECT_EQ(copies, bytes);
}

TEST(CompactTextTest, TheEmptyViewIsAnEmptyText)
{
    const CompactTextView view;
    EXPECT_TRUE(view.Empty());
    EXPECT_EQ(view.Str(), L"");
    EXPECT_TRUE(view == L"");
    EXPECT_FALSE(view == L"a");
    unsigned char bytes[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(CompactTextSize(view), 1u);
    EXPECT_EQ(WriteCompactText(view, bytes), bytes + 1);
    const unsigned char* pIn = bytes;
    EXPECT_EQ(ReadCompactText(pIn).Str(), L"");
    EXPECT_EQ(pIn, bytes + 1);
}

}  // namespace
}  // namespace pullbay::core
