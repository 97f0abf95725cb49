// The put rules on their own: the six-parameter number rule in the
// combinations no property uses, and the colour keywords.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "core/TextUnits.h"
#include "model/ColorTable.h"
#include "model/PropertyRules.h"

namespace pullbay::control {
namespace {

TEST(PropertyRulesTest, NumberRuleClampsOrFallsBackPerSide)
{
    struct Row {
        std::int64_t intValue;
        bool bClampLow;
        bool bClampHigh;
        std::int64_t intExpected;
    };
    // Range 10..20, fallback 15.
    const Row rows[] = {
        {10, false, false, 10},        {20, false, false, 20},       {9, false, false, 15},
        {9, true, false, 10},          {21, false, false, 15},       {21, false, true, 20},
        {-4000000000, true, true, 10}, {4294967295, true, true, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.intValue);
        EXPECT_EQ(model::ApplyNumberRule(row.intValue, 15, 10, 20, row.bClampLow, row.bClampHigh),
                  row.intExpected);
    }
}

TEST(PropertyRulesTest, ColorKeywordTableIsComplete)
{
    const auto entries = model::ColorTable::Entries();
    ASSERT_EQ(entries.size(), 140u);
    EXPECT_STREQ(entries.front().strName, L"Snow");
    EXPECT_STREQ(entries.back().strName, L"Black");
    std::set<std::wstring> names;
    for (const model::ColorTable::Entry& entry : entries) {
        SCOPED_TRACE(core::ToUtf8(entry.strName));
        EXPECT_TRUE(names.insert(core::ToLowerAscii(entry.strName)).second);
        // Every value is a well-formed "#" text, so a keyword never reads as
        // white by accident.
        const std::wstring strValue = entry.strValue;
        EXPECT_EQ(core::ToLowerAscii(model::FormatColor(model::ParseColor(strValue))),
                  core::ToLowerAscii(strValue));
        EXPECT_EQ(model::ParseColor(entry.strName), model::ParseColor(strValue));
    }
    for (const wchar_t* strName : {L"aqua", L"cyan", L"fuchsia", L"magenta", L"lightgrey"}) {
        EXPECT_EQ(names.count(strName), 1u) << core::ToUtf8(strName);
    }
    EXPECT_EQ(model::ColorTable::FindValue(L"LightGray"), nullptr);
    EXPECT_STREQ(model::ColorTable::FindValue(L"CYAN"), model::ColorTable::FindValue(L"Aqua"));
}

}  // namespace
}  // namespace pullbay::control
