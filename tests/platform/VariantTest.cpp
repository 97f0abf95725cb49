// Coercions between argument types, as a dispatch call applies them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/TextUnits.h"
#include "platform/com/Variant.h"

namespace pullbay::com {
namespace {

std::string Describe(const Variant& value)
{
    switch (value.Type()) {
    case VarType::I4:
        return "I4 " + std::to_string(value.I4());
    case VarType::UI4:
        return "UI4 " + std::to_string(value.UI4());
    case VarType::R8:
        return "R8 " + std::to_string(value.R8());
    case VarType::Bool:
        return value.Bool() ? "Bool true" : "Bool false";
    case VarType::BStr:
        return value.String().IsNull() ? "BStr null"
                                       : "BStr \"" + core::ToUtf8(value.String().Value()) + "\"";
    case VarType::Empty:
        break;
    }
    return "Empty";
}

Variant Text(const wchar_t* pText)
{
    return Variant::FromString(NullableString(pText));
}

TEST(VariantTest, ChangeTypeCoercesAsDispatchCallsDo)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    struct Row {
        Variant source;
        VarType target;
        HRESULT hr;
        Variant expected;
    };
    const Row table[] = {
        // Integers to integers and doubles.
        {Variant::FromI4(-5), VarType::UI4, DISP_E_OVERFLOW, {}},
        {Variant::FromI4(-5), VarType::R8, S_OK, Variant::FromR8(-5.0)},
        {Variant::FromUI4(0xFFFFFFFFu), VarType::I4, DISP_E_OVERFLOW, {}},
        {Variant::FromUI4(0x7FFFFFFFu), VarType::I4, S_OK, Variant::FromI4(0x7FFFFFFF)},
        {Variant::FromUI4(0xFFFFFFFFu), VarType::R8, S_OK, Variant::FromR8(4294967295.0)},
        // Doubles to integers round half to even and check the range.
        {Variant::FromR8(2.5), VarType::I4, S_OK, Variant::FromI4(2)},
        {Variant::FromR8(3.5), VarType::I4, S_OK, Variant::FromI4(4)},
        {Variant::FromR8(-2.5), VarType::I4, S_OK, Variant::FromI4(-2)},
        {Variant::FromR8(-2.6), VarType::I4, S_OK, Variant::FromI4(-3)},
        {Variant::FromR8(2.4999), VarType::I4, S_OK, Variant::FromI4(2)},
        {Variant::FromR8(2147483647.4), VarType::I4, S_OK, Variant::FromI4(2147483647)},
        {Variant::FromR8(2147483647.5), VarType::I4, DISP_E_OVERFLOW, {}},
        {Variant::FromR8(-2147483648.5), VarType::I4, S_OK, Variant::FromI4(INT32_MIN)},
        {Variant::FromR8(-0.4), VarType::UI4, S_OK, Variant::FromUI4(0)},
        {Variant::FromR8(-0.6), VarType::UI4, DISP_E_OVERFLOW, {}},
        {Variant::FromR8(4294967294.5), VarType::UI4, S_OK, Variant::FromUI4(4294967294u)},
        {Variant::FromR8(4294967295.5), VarType::UI4, DISP_E_OVERFLOW, {}},
        {Variant::FromR8(kNaN), VarType::I4, DISP_E_OVERFLOW, {}},
        {Variant::FromR8(-kInfinity), VarType::UI4, DISP_E_OVERFLOW, {}},
        // Numbers to text: decimal, shortest round trip, never a locale's comma.
        {Variant::FromI4(INT32_MIN), VarType::BStr, S_OK, Text(L"-2147483648")},
        {Variant::FromUI4(4294967295u), VarType::BStr, S_OK, Text(L"4294967295")},
        {Variant::FromR8(0.1), VarType::BStr, S_OK, Text(L"0.1")},
        {Variant::FromR8(-1.5), VarType::BStr, S_OK, Text(L"-1.5")},
        {Variant::FromR8(1234567.0), VarType::BStr, S_OK, Text(L"1234567")},
        {Variant::FromR8(1e21), VarType::BStr, S_OK, Text(L"1e+21")},
        // Text to numbers.
        {Text(L" 42\t"), VarType::I4, S_OK, Variant::FromI4(42)},
        {Text(L"+7"), VarType::UI4, S_OK, Variant::FromUI4(7)},
        {Text(L"-7"), VarType::UI4, DISP_E_OVERFLOW, {}},
        {Text(L"2.5"), VarType::I4, S_OK, Variant::FromI4(2)},
        {Text(L"1.5e3"), VarType::I4, S_OK, Variant::FromI4(1500)},
        {Text(L"2147483648"), VarType::I4, DISP_E_OVERFLOW, {}},
        {Text(L"4294967295"), VarType::UI4, S_OK, Variant::FromUI4(4294967295u)},
        {Text(L"\n-0.25 "), VarType::R8, S_OK, Variant::FromR8(-0.25)},
        {Text(L".5"), VarType::R8, S_OK, Variant::FromR8(0.5)},
        {Text(L"5."), VarType::R8, S_OK, Variant::FromR8(5.0)},
        {Text(L"1e400"), VarType::R8, DISP_E_OVERFLOW, {}},
        {Text(L"1e-400"), VarType::R8, S_OK, Variant::FromR8(0.0)},
        {Text(L"0.0000001e-400"), VarType::R8, S_OK, Variant::FromR8(0.0)},
        {Text(L"12abc"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
        {Text(L"1,5"), VarType::R8, DISP_E_TYPEMISMATCH, {}},
        {Text(L"0x10"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
        {Text(L"inf"), VarType::R8, DISP_E_TYPEMISMATCH, {}},
        {Text(L"nan"), VarType::R8, DISP_E_TYPEMISMATCH, {}},
        {Text(L"1e"), VarType::R8, DISP_E_TYPEMISMATCH, {}},
        {Text(L"."), VarType::R8, DISP_E_TYPEMISMATCH, {}},
        {Text(L"- 5"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
        {Text(L"1 2"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
        {Text(L"  "), VarType::I4, DISP_E_TYPEMISMATCH, {}},
        {Text(nullptr), VarType::I4, DISP_E_TYPEMISMATCH, {}},
        // Booleans.
        {Variant::FromBool(true), VarType::I4, S_OK, Variant::FromI4(kVariantTrue)},
        {Variant::FromBool(true), VarType::R8, S_OK, Variant::FromR8(-1.0)},
        {Variant::FromBool(true), VarType::UI4, S_OK, Variant::FromUI4(0xFFFFFFFFu)},
        {Variant::FromUI4(0xFFFFFFFFu), VarType::Bool, S_OK, Variant::FromBool(true)},
        {Variant::FromBool(false), VarType::UI4, S_OK, Variant::FromUI4(0)},
        {Variant::FromBool(true), VarType::BStr, S_OK, Text(L"True")},
        {Variant::FromBool(false), VarType::BStr, S_OK, Text(L"False")},
        {Variant::FromI4(0), VarType::Bool, S_OK, Variant::FromBool(false)},
        {Variant::FromI4(7), VarType::Bool, S_OK, Variant::FromBool(true)},
        {Variant::FromR8(0.25), VarType::Bool, S_OK, Variant::FromBool(true)},
        {Text(L"TRUE"), VarType::Bool, S_OK, Variant::FromBool(true)},
        {Text(L" false "), VarType::Bool, S_OK, Variant::FromBool(false)},
        {Text(L"0"), VarType::Bool, S_OK, Variant::FromBool(false)},
        {Text(L"-2"), VarType::Bool, S_OK, Variant::FromBool(true)},
        {Text(L"yes"), VarType::Bool, DISP_E_TYPEMISMATCH, {}},
        {Text(L""), VarType::Bool, DISP_E_TYPEMISMATCH, {}},
        // Empty, and to the same type.
        {Variant(), VarType::I4, S_OK, Variant::FromI4(0)},
        {Variant(), VarType::R8, S_OK, Variant::FromR8(0.0)},
        {Variant(), VarType::Bool, S_OK, Variant::FromBool(false)},
        {Variant(), VarType::BStr, S_OK, Text(L"")},
        {Text(L"x"), VarType::Empty, S_OK, Variant()},
        {Text(nullptr), VarType::BStr, S_OK, Text(nullptr)},
    };
    const Variant sentinel = Text(L"unchanged");
    for (const Row& row : table) {
        Variant out = sentinel;
        const HRESULT hr = row.source.ChangeType(row.target, out);
        const std::string context =
            Describe(row.source) + " to type " + std::to_string(static_cast<int>(row.target));
        EXPECT_EQ(hr, row.hr) << context;
        EXPECT_EQ(out, Succeeded(row.hr) ? row.expected : sentinel)
            << context << " gave " << Describe(out);
    }
}

TEST(VariantTest, DoubleTextRoundTripsExactly)
{
    for (double dblValue :
         {0.1 + 0.2, 1.0 / 3.0, -123456.789e-300, 4.9e-324, 1.7976931348623157e308}) {
        Variant text;
        Variant back;
        ASSERT_EQ(Variant::FromR8(dblValue).ChangeType(VarType::BStr, text), S_OK);
        ASSERT_EQ(text.ChangeType(VarType::R8, back), S_OK) << Describe(text);
        EXPECT_EQ(back.R8(), dblValue) << Describe(text);
    }
}

TEST(VariantTest, NullTextDiffersFromEmptyText)
{
    const NullableString null(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(null.IsNull());
    EXPECT_EQ(null.Ptr(), nullptr);
    EXPECT_NE(Variant::FromString(null), Variant::FromString(L""));
}

}  // namespace
}  // namespace pullbay::com
