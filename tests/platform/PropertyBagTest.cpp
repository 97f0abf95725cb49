// Named values as the page's parameters hand them over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TextUnits.h"
#include "platform/com/PropertyBag.h"

namespace pullbay::com {
namespace {

TEST(PropertyBagTest, ReadConvertsToTheAskedTypeOrReportsWhyNot)
{
    MemoryPropertyBag bag;
    ASSERT_EQ(bag.Write(L"TimeOut", Variant::FromString(L" 1500 ")), S_OK);
    ASSERT_EQ(bag.Write(L"ShowLog", Variant::FromString(L"TRUE")), S_OK);
    ASSERT_EQ(bag.Write(L"Text", Variant::FromString(L"abc")), S_OK);
    ASSERT_EQ(bag.Write(L"Big", Variant::FromString(L"3000000000")), S_OK);

    const struct {
        const wchar_t* strName;
        VarType type;
        HRESULT hr;
        Variant expected;
    } table[] = {
        {L"timeout", VarType::I4, S_OK, Variant::FromI4(1500)},
        {L"TIMEOUT", VarType::UI4, S_OK, Variant::FromUI4(1500)},
        {L"TimeOut", VarType::Empty, S_OK, Variant::FromString(L" 1500 ")},
        {L"ShowLog", VarType::Bool, S_OK, Variant::FromBool(true)},
        {L"Text", VarType::I4, DISP_E_TYPEMISMATCH, {}},
        {L"Big", VarType::I4, DISP_E_OVERFLOW, {}},
        {L"Big", VarType::UI4, S_OK, Variant::FromUI4(3000000000u)},
        {L"Missing", VarType::BStr, E_INVALIDARG, {}},
        {L"TimeOut ", VarType::I4, E_INVALIDARG, {}},
    };
    const Variant sentinel = Variant::FromI4(-99);
    for (const auto& row : table) {
        Variant out = sentinel;
        EXPECT_EQ(bag.Read(row.strName, row.type, out), row.hr) << core::ToUtf8(row.strName);
        EXPECT_EQ(out, Succeeded(row.hr) ? row.expected : sentinel) << core::ToUtf8(row.strName);
    }
}

TEST(PropertyBagTest, RewritingANameKeepsItsPlaceAndSpelling)
{
    MemoryPropertyBag bag;
    bag.Write(L"_cx", Variant::FromUI4(100));
    bag.Write(L"Enabled", Variant::FromBool(true));
    bag.Write(L"_cy", Variant::FromUI4(20));
    bag.Write(L"ENABLED", Variant::FromBool(false));
    EXPECT_EQ(bag.Names(), (std::vector<std::wstring>{L"_cx", L"Enabled", L"_cy"}));
    Variant out;
    ASSERT_EQ(bag.Read(L"enabled", VarType::Empty, out), S_OK);
    EXPECT_EQ(out, Variant::FromBool(false));
}

}  // namespace
}  // namespace pullbay::com
