#include "model/PropertyRules.h"

#include <charconv>
#include <span>

#include "core/HexDigits.h"
#include "core/TextUnits.h"
#include "model/ColorTable.h"

namespace pullbay::model {

namespace {

struct EnumerationName {
    const wchar_t* strText;
    std::int32_t intValue;
};

constexpr EnumerationName kFileExistsDialogActionNames[] = {
    {L"Overwrite", 0}, {L"0", 0}, {L"Skip", 1}, {L"1", 1}, {L"Rename", 2}, {L"2", 2},
};

constexpr EnumerationName kDownloadCompleteActionNames[] = {
    {L"None", 0}, {L"ActionNone", 0}, {L"0", 0}, {L"Prompt", 1},
    {L"1", 1},    {L"OpenFolder", 2}, {L"2", 2},
};

std::int32_t ParseEnumeration(const com::NullableString& strValue,
                              std::span<const EnumerationName> names)
{
    if (strValue.IsNull()) {
        return 0;
    }
    for (const EnumerationName& name : names) {
        if (core::EqualsIgnoreAsciiCase(strValue.Value(), name.strText)) {
            return name.intValue;
        }
    }
    return 0;
}

// "#rrggbb" as 0x00BBGGRR, or false when the text is not of that form.
bool ParseHexColor(std::wstring_view strText, std::uint32_t& uintColor)
{
    if (strText.size() != 7 || strText[0] != L'#') {
        return false;
    }
    std::uint32_t uintChannels[3] = {};
    for (std::size_t uintChannel = 0; uintChannel < 3; ++uintChannel) {
        const int intHigh = core::HexDigitValue(strText[1 + 2 * uintChannel]);
        const int intLow = core::HexDigitValue(strText[2 + 2 * uintChannel]);
        if (intHigh < 0 || intLow < 0) {
            return false;
        }
        uintChannels[uintChannel] = static_cast<std::uint32_t>(intHigh * 16 + intLow);
    }
    uintColor = uintChannels[0] | (uintChannels[1] << 8) | (uintChannels[2] << 16);
    return true;
}

}  // namespace

std::int64_t ApplyNumberRule(std::int64_t intValue, std::int64_t intFallback,
                             std::int64_t intMinimum, std::int64_t intMaximum, bool bClampLow,
                             bool bClampHigh)
{
    if (intValue < intMinimum) {
        return bClampLow ? intMinimum : intFallback;
    }
    if (intValue > intMaximum) {
        return bClampHigh ? intMaximum : intFallback;
    }
    return intValue;
}

std::wstring ApplyTextRule(const com::NullableString& strValue, std::size_t uintMinLength,
                           std::size_t uintLengthLimit, std::wstring_view strFallback)
{
    if (strValue.IsNull()) {
        return std::wstring();
    }
    const std::size_t uintLength = core::Utf16Length(strValue.Value());
    if (uintLength < uintMinLength || uintLength >= uintLengthLimit) {
        return std::wstring(strFallback);
    }
    return strValue.Value();
}

FileExistsDialogAction ParseFileExistsDialogAction(const com::NullableString& strValue)
{
    return static_cast<FileExistsDialogAction>(
        ParseEnumeration(strValue, kFileExistsDialogActionNames));
}

DownloadCompleteAction ParseDownloadCompleteAction(const com::NullableString& strValue)
{
    return static_cast<DownloadCompleteAction>(
        ParseEnumeration(strValue, kDownloadCompleteActionNames));
}

std::wstring FormatEnumeration(std::int32_t intValue)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, intValue);
    return std::wstring(buffer, result.ptr);
}

std::uint32_t ParseColor(const com::NullableString& strValue)
{
    if (strValue.IsNull()) {
        return kColorWhite;
    }
    std::uint32_t uintColor = kColorWhite;
    if (ParseHexColor(strValue.Value(), uintColor)) {
        return uintColor;
    }
    const wchar_t* strKeywordValue = ColorTable::FindValue(strValue.Value());
    if (strKeywordValue != nullptr && ParseHexColor(strKeywordValue, uintColor)) {
        return uintColor;
    }
    return kColorWhite;
}

std::wstring FormatColor(std::uint32_t uintColor)
{
    std::wstring strText = L"#";
    for (int intShift = 0; intShift <= 16; intShift += 8) {
        core::AppendHex(strText, uintColor >> intShift, 2, core::HexCase::Lower);
    }
    return strText;
}

}  // namespace pullbay::model
