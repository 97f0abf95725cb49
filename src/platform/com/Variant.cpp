#include "platform/com/Variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "core/TextUnits.h"

namespace pullbay::com {

namespace {

bool IsBlank(wchar_t ch)
{
    return ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n';
}

std::wstring_view TrimBlanks(std::wstring_view strText)
{
    while (!strText.empty() && IsBlank(strText.front())) {
        strText.remove_prefix(1);
    }
    while (!strText.empty() && IsBlank(strText.back())) {
        strText.remove_suffix(1);
    }
    return strText;
}

bool IsDigit(wchar_t ch)
{
    return ch >= L'0' && ch <= L'9';
}

// Decimal text: optional sign, digits with an optional fraction (at least one
// digit in all), an optional exponent; blanks around it are ignored. The
// text is checked here rather than by from_chars, which would also take
// "inf", "nan" and a trailing remainder.
HRESULT ParseDecimal(std::wstring_view strText, double& dblOut)
{
    strText = TrimBlanks(strText);
    bool bNegative = false;
    if (!strText.empty() && (strText.front() == L'+' || strText.front() == L'-')) {
        bNegative = strText.front() == L'-';
        strText.remove_prefix(1);
    }

    // The decimal order of the leading significant digit (with the
    // exponent), to tell an underflow from an overflow below.
    std::string ascii;
    std::size_t i = 0;
    long long intSignificantIntegerDigits = 0;
    long long intLeadingFractionZeros = 0;
    bool bNonZero = false;
    bool bDigits = false;
    for (; i < strText.size() && IsDigit(strText[i]); ++i) {
        bDigits = true;
        if (strText[i] != L'0' || bNonZero) {
            bNonZero = true;
            ++intSignificantIntegerDigits;
        }
        ascii.push_back(static_cast<char>(strText[i]));
    }
    if (i < strText.size() && strText[i] == L'.') {
        ascii.push_back('.');
        for (++i; i < strText.size() && IsDigit(strText[i]); ++i) {
            bDigits = true;
            if (strText[i] != L'0') {
                bNonZero = true;
            } else if (!bNonZero) {
                ++intLeadingFractionZeros;
            }
            ascii.push_back(static_cast<char>(strText[i]));
        }
    }
    if (!bDigits) {
        return DISP_E_TYPEMISMATCH;
    }
    long long intExponent = 0;
    if (i < strText.size() && (strText[i] == L'e' || strText[i] == L'E')) {
        ascii.push_back('e');
        ++i;
        bool bNegativeExponent = false;
        if (i < strText.size() && (strText[i] == L'+' || strText[i] == L'-')) {
            bNegativeExponent = strText[i] == L'-';
            ascii.push_back(static_cast<char>(strText[i]));
            ++i;
        }
        const std::size_t uintExponentStart = i;
        for (; i < strText.size() && IsDigit(strText[i]); ++i) {
            intExponent = std::min(intExponent * 10 + (strText[i] - L'0'), 1000000000000000LL);
            ascii.push_back(static_cast<char>(strText[i]));
        }
        if (i == uintExponentStart) {
            return DISP_E_TYPEMISMATCH;
        }
        if (bNegativeExponent) {
            intExponent = -intExponent;
        }
    }
    if (i != strText.size()) {
        return DISP_E_TYPEMISMATCH;
    }

    double dblValue = 0.0;
    const auto [pEnd, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), dblValue);
    if (error == std::errc::result_out_of_range) {
        const long long intOrder =
            (intSignificantIntegerDigits > 0 ? intSignificantIntegerDigits - 1
                                             : -(intLeadingFractionZeros + 1)) +
            intExponent;
        if (bNonZero && intOrder >= 0) {
            return DISP_E_OVERFLOW;
        }
        dblValue = 0.0;
    } else if (error != std::errc() || pEnd != ascii.data() + ascii.size()) {
        return DISP_E_TYPEMISMATCH;
    }
    dblOut = bNegative ? -dblValue : dblValue;
    return S_OK;
}

// Round half to even, as the platform's coercion of a double to an integer.
HRESULT RoundToRange(double dblValue, double dblMin, double dblMax, double& dblOut)
{
    if (!std::isfinite(dblValue)) {
        return DISP_E_OVERFLOW;
    }
    double dblRounded = std::floor(dblValue);
    const double dblFraction = dblValue - dblRounded;
    if (dblFraction > 0.5 || (dblFraction == 0.5 && std::fmod(dblRounded, 2.0) != 0.0)) {
        dblRounded += 1.0;
    }
    if (dblRounded < dblMin || dblRounded > dblMax) {
        return DISP_E_OVERFLOW;
    }
    dblOut = dblRounded;
    return S_OK;
}

template <typename Number>
std::wstring FormatNumber(Number value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::wstring(buffer, result.ptr);
}

// The source as a number for a numeric target; every int32 and uint32 is
// exact in a double.
HRESULT NumericValue(const Variant& source, double& dblOut)
{
    switch (source.Type()) {
    case VarType::Empty:
        dblOut = 0.0;
        return S_OK;
    case VarType::I4:
        dblOut = source.I4();
        return S_OK;
    case VarType::UI4:
        dblOut = source.UI4();
        return S_OK;
    case VarType::R8:
        dblOut = source.R8();
        return S_OK;
    case VarType::Bool:
        dblOut = source.Bool() ? kVariantTrue : kVariantFalse;
        return S_OK;
    case VarType::BStr:
        return ParseDecimal(source.String().Value(), dblOut);
    }
    return DISP_E_BADVARTYPE;
}

HRESULT ToBool(const Variant& source, bool& bOut)
{
    if (source.Type() == VarType::BStr) {
        const std::wstring_view strText = TrimBlanks(source.String().Value());
        if (core::EqualsIgnoreAsciiCase(strText, L"true")) {
            bOut = true;
            return S_OK;
        }
        if (core::EqualsIgnoreAsciiCase(strText, L"false")) {
            bOut = false;
            return S_OK;
        }
    }
    double dblValue = 0.0;
    const HRESULT hr = NumericValue(source, dblValue);
    if (Succeeded(hr)) {
        bOut = dblValue != 0.0 || std::isnan(dblValue);
    }
    return hr;
}

HRESULT ToText(const Variant& source, std::wstring& strOut)
{
    switch (source.Type()) {
    case VarType::Empty:
        strOut.clear();
        return S_OK;
    case VarType::I4:
        strOut = FormatNumber(source.I4());
        return S_OK;
    case VarType::UI4:
        strOut = FormatNumber(source.UI4());
        return S_OK;
    case VarType::R8:
        strOut = FormatNumber(source.R8());
        return S_OK;
    case VarType::Bool:
        strOut = source.Bool() ? L"True" : L"False";
        return S_OK;
    case VarType::BStr:
        strOut = source.String().Value();
        return S_OK;
    }
    return DISP_E_BADVARTYPE;
}

}  // namespace

VarType Variant::Type() const
{
    switch (m_value.index()) {
    case 1:
        return VarType::I4;
    case 2:
        return VarType::UI4;
    case 3:
        return VarType::R8;
    case 4:
        return VarType::Bool;
    case 5:
        return VarType::BStr;
    default:
        return VarType::Empty;
    }
}

std::int32_t Variant::I4() const
{
    const auto* pValue = std::get_if<std::int32_t>(&m_value);
    return pValue != nullptr ? *pValue : 0;
}

std::uint32_t Variant::UI4() const
{
    const auto* pValue = std::get_if<std::uint32_t>(&m_value);
    return pValue != nullptr ? *pValue : 0u;
}

double Variant::R8() const
{
    const auto* pValue = std::get_if<double>(&m_value);
    return pValue != nullptr ? *pValue : 0.0;
}

bool Variant::Bool() const
{
    const auto* pValue = std::get_if<bool>(&m_value);
    return pValue != nullptr && *pValue;
}

const NullableString& Variant::String() const
{
    static const NullableString kNull;
    const auto* pValue = std::get_if<NullableString>(&m_value);
    return pValue != nullptr ? *pValue : kNull;
}

HRESULT Variant::ChangeType(VarType target, Variant& out) const
{
    if (target == Type()) {
        out = *this;
        return S_OK;
    }
    switch (target) {
    case VarType::Empty:
        out = Variant();
        return S_OK;
    case VarType::Bool: {
        bool bValue = false;
        const HRESULT hr = ToBool(*this, bValue);
        if (Succeeded(hr)) {
            out = FromBool(bValue);
        }
        return hr;
    }
    case VarType::BStr: {
        std::wstring strValue;
        const HRESULT hr = ToText(*this, strValue);
        if (Succeeded(hr)) {
            out = FromString(std::move(strValue));
        }
        return hr;
    }
    case VarType::I4:
    case VarType::UI4:
    case VarType::R8:
        break;
    default:
        return DISP_E_BADVARTYPE;
    }

    if (target == VarType::UI4 && Type() == VarType::Bool) {
        out = FromUI4(Bool() ? 0xFFFFFFFFu : 0u);
        return S_OK;
    }
    double dblValue = 0.0;
    HRESULT hr = NumericValue(*this, dblValue);
    if (Failed(hr)) {
        return hr;
    }
    if (target == VarType::R8) {
        out = FromR8(dblValue);
        return S_OK;
    }
    double dblRounded = 0.0;
    if (target == VarType::I4) {
        hr = RoundToRange(dblValue, std::numeric_limits<std::int32_t>::min(),
                          std::numeric_limits<std::int32_t>::max(), dblRounded);
        if (Succeeded(hr)) {
            out = FromI4(static_cast<std::int32_t>(dblRounded));
        }
        return hr;
    }
    hr = RoundToRange(dblValue, 0.0, std::numeric_limits<std::uint32_t>::max(), dblRounded);
    if (Succeeded(hr)) {
        out = FromUI4(static_cast<std::uint32_t>(dblRounded));
    }
    return hr;
}

}  // namespace pullbay::com
