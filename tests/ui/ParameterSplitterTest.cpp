// Splitting of name=value option strings.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "ui/ParameterSplitter.h"

namespace pullbay::ui {
namespace {

using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

Pairs SplitAll(ParameterSplitter& splitter, const std::wstring& strText, bool& bFound)
{
    bFound = splitter.Split(strText);
    Pairs pairs;
    for (std::size_t i = 0; i < splitter.GetParamCount(); ++i) {
        const ParameterSplitter::Param param = splitter.GetParamValue(i);
        pairs.emplace_back(param.strName, param.strValue);
    }
    return pairs;
}

TEST(ParameterSplitterTest, SplitsPairs)
{
    struct Row {
        const wchar_t* strText;
        Pairs expected;
    };
    const Row table[] = {
        {L"Appearance=Words; PresentDirection=HMS; DigitsFormat=N; HideZero=TRUE",
         {{L"Appearance", L"Words"},
          {L"PresentDirection", L"HMS"},
          {L"DigitsFormat", L"N"},
          {L"HideZero", L"TRUE"}}},
        {L"a=1", {{L"a", L"1"}}},
        {L"a=1;b=2;", {{L"a", L"1"}, {L"b", L"2"}}},
        // Blanks around names, "=" and values are not part of them.
        {L"  name  =  some value  ;  x\t=\ty  ", {{L"name", L"some value"}, {L"x", L"y"}}},
        // Quotes of either kind are dropped; the other kind stays in the value.
        {L"Appearance='Words'; PresentDirection=\"SM\"",
         {{L"Appearance", L"Words"}, {L"PresentDirection", L"SM"}}},
        {L"a=\"x;y\"; b='say \"hi\"'", {{L"a", L"x;y"}, {L"b", L"say \"hi\""}}},
        // A backslash before a quote or a separator is kept as it stands.
        {L"a='it\\'s'; b=2", {{L"a", L"it\\'s"}, {L"b", L"2"}}},
        {L"a=x\\;y; b=2", {{L"a", L"x\\;y"}, {L"b", L"2"}}},
        // An unmatched quote is part of the value.
        {L"a='abc; b=2", {{L"a", L"'abc"}, {L"b", L"2"}}},
        {L"a=; b=2", {{L"a", L""}, {L"b", L"2"}}},
        {L"a=b=c", {{L"a", L"b=c"}}},
        // Names may hold blanks, commas, dots, '*' and '?'.
        {L"first name, *.txt?=v", {{L"first name, *.txt?", L"v"}}},
        // Text that forms no pair is skipped.
        {L"junk; a=1;;;=x; b=2", {{L"a", L"1"}, {L"b", L"2"}}},
        // Non-ASCII letters are word characters.
        {L"Gr\u00F6\u00DFe=gro\u00DF; \u0418\u043C\u044F=\u0417\u043D\u0430\u0447",
         {{L"Gr\u00F6\u00DFe", L"gro\u00DF"},
          {L"\u0418\u043C\u044F", L"\u0417\u043D\u0430\u0447"}}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strText));
        ParameterSplitter splitter;
        bool bFound = false;
        EXPECT_EQ(SplitAll(splitter, row.strText, bFound), row.expected);
        EXPECT_TRUE(bFound);
    }
}

TEST(ParameterSplitterTest, TextWithoutPairsFindsNothing)
{
    for (const wchar_t* strText : {L"", L"   ", L"no pairs", L"=value", L";;;", L"a;b"}) {
        SCOPED_TRACE(core::ToUtf8(strText));
        ParameterSplitter splitter;
        bool bFound = true;
        EXPECT_TRUE(SplitAll(splitter, strText, bFound).empty());
        EXPECT_FALSE(bFound);
    }
}

TEST(ParameterSplitterTest, EachSplitReplacesThePairs)
{
    ParameterSplitter splitter;
    ASSERT_TRUE(splitter.Split(L"a=1; b=2"));
    ASSERT_EQ(splitter.GetParamCount(), 2u);
    EXPECT_TRUE(splitter.Split(L"c=3"));
    ASSERT_EQ(splitter.GetParamCount(), 1u);
    EXPECT_EQ(splitter.GetParamValue(0).strName, L"c");
    EXPECT_FALSE(splitter.Split(L"nothing"));
    EXPECT_EQ(splitter.GetParamCount(), 0u);
}

TEST(ParameterSplitterTest, IndexAtOrBeyondTheCountIsRefusedAndRecorded)
{
    ParameterSplitter splitter;
    ASSERT_TRUE(splitter.Split(L"a=1; b=2"));
    const std::uint32_t uintThread = core::CurrentThreadId();
    for (std::size_t uintIndex : {std::size_t{2}, std::size_t{3}, SIZE_MAX}) {
        core::ExceptionManager::ClearException(uintThread);
        try {
            splitter.GetParamValue(uintIndex);
            ADD_FAILURE() << "no exception for index " << uintIndex;
        } catch (const core::ArgumentOutOfRangeException& exception) {
            EXPECT_STREQ(exception.GetFunction(), L"ParameterSplitter::GetParamValue");
        }
        const auto pRecorded = core::ExceptionManager::GetException(uintThread);
        ASSERT_NE(pRecorded, nullptr);
        EXPECT_EQ(pRecorded->GetTypeId(), core::ArgumentOutOfRangeException::kTypeId);
    }
    core::ExceptionManager::ClearException(uintThread);
}

TEST(ParameterSplitterTest, LongTextsSplitWithoutFailing)
{
    std::wstring strText;
    for (int i = 0; i < 5000; ++i) {
        strText += L"name" + std::to_wstring(i) + L" = 'value; " + std::to_wstring(i) + L"'; ";
    }
    ParameterSplitter splitter;
    ASSERT_TRUE(splitter.Split(strText));
    ASSERT_EQ(splitter.GetParamCount(), 5000u);
    EXPECT_EQ(splitter.GetParamValue(4999).strName, L"name4999");
    EXPECT_EQ(splitter.GetParamValue(4999).strValue, L"value; 4999");
}

TEST(ParameterSplitterTest, BlankRunsAreSplitOrRefusedWithoutThrowing)
{
    const std::uint32_t uintThread = core::CurrentThreadId();
    core::ExceptionManager::ClearException(uintThread);
    const std::wstring strBlanks(300, L' ');
    // Blanks after the last pair end the search: the pairs stay.
    {
        ParameterSplitter splitter;
        bool bFound = false;
        const Pairs expected = {{L"a", L"1"}, {L"b", L"2"}};
        EXPECT_EQ(SplitAll(splitter, L"a=1;" + strBlanks + L"b=2;" + strBlanks, bFound), expected);
        EXPECT_TRUE(bFound);
        EXPECT_EQ(core::ExceptionManager::GetException(uintThread), nullptr);
    }
    // Hundreds of blanks before a '=' exceed what the regular expression
    // engine will try: no pairs, recorded, nothing thrown.
    {
        ParameterSplitter splitter;
        bool bFound = true;
        EXPECT_TRUE(SplitAll(splitter, L"a=1;" + strBlanks + L";=", bFound).empty());
        EXPECT_FALSE(bFound);
        const auto pRecorded = core::ExceptionManager::GetException(uintThread);
        ASSERT_NE(pRecorded, nullptr);
        EXPECT_EQ(pRecorded->GetTypeId(), core::UnexpectedException::kTypeId);
        EXPECT_STREQ(pRecorded->GetFunction(), L"ParameterSplitter::Split");
    }
    core::ExceptionManager::ClearException(uintThread);
}

}  // namespace
}  // namespace pullbay::ui
