#include "ui/TextFormatters.h"

#include <charconv>
#include <system_error>

namespace pullbay::ui {

namespace {

constexpr std::uint64_t kKibibyte = 1024;
constexpr std::uint64_t kMebibyte = 1024 * 1024;
// 2^31: the first double whose truncation no longer fits std::int32_t.
constexpr double kInt32Limit = 2147483648.0;

// The characters of to_chars are ASCII digits, '-' and '.'.
std::wstring Widen(const char* pFirst, const char* pLast)
{
    return std::wstring(pFirst, pLast);
}

std::wstring FixedTwoDecimals(double dblValue)
{
    // Enough for any double in fixed notation with two decimals.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), dblValue, std::chars_format::fixed, 2);
    if (result.ec != std::errc()) {
        return std::wstring(kNeutralNumberText);
    }
    return Widen(buffer, result.ptr);
}

std::wstring NumberAndUnit(std::wstring strNumber, std::wstring_view strUnit)
{
    strNumber += L' ';
    strNumber += strUnit;
    return strNumber;
}

}  // namespace

void ReplaceAll(std::wstring& strText, std::wstring_view strPlaceholder, std::wstring_view strValue)
{
    if (strPlaceholder.empty()) {
        return;
    }
    std::size_t uintPos = strText.find(strPlaceholder);
    while (uintPos != std::wstring::npos) {
        strText.replace(uintPos, strPlaceholder.size(), strValue);
        uintPos = strText.find(strPlaceholder, uintPos + strValue.size());
    }
}

std::wstring FormatInteger(std::int64_t intValue, int intMinWidth)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), intValue);
    std::wstring strText = Widen(buffer, result.ptr);
    if (intMinWidth > 0 && strText.size() < static_cast<std::size_t>(intMinWidth)) {
        const std::size_t uintSign = intValue < 0 ? 1 : 0;
        strText.insert(uintSign, static_cast<std::size_t>(intMinWidth) - strText.size(), L'0');
    }
    return strText;
}

std::wstring FormatDataAmount(std::uint64_t uintBytes, std::wstring_view strKilobytesText,
                              std::wstring_view strMegabytesText)
{
    if (uintBytes >= kMebibyte) {
        const double dblMegabytes = static_cast<double>(uintBytes) / static_cast<double>(kMebibyte);
        return NumberAndUnit(FixedTwoDecimals(dblMegabytes), strMegabytesText);
    }
    std::uint64_t uintKilobytes = uintBytes / kKibibyte;
    if (uintKilobytes == 0) {
        uintKilobytes = 1;
    }
    return NumberAndUnit(FormatInteger(static_cast<std::int64_t>(uintKilobytes)), strKilobytesText);
}

std::wstring FormatRate(double dblBytesPerSecond, std::wstring_view strKilobyteRateText,
                        std::wstring_view strMegabyteRateText)
{
    const double dblKilobytes = dblBytesPerSecond / 1024.0;
    // Checked before any conversion: a NaN, an infinity or a double beyond
    // the integer's range must never reach static_cast.
    if (!(dblKilobytes >= 0.0)) {
        return NumberAndUnit(std::wstring(kNeutralNumberText), strKilobyteRateText);
    }
    if (dblKilobytes > 1024.0) {
        const double dblMegabytes = dblKilobytes / 1024.0;
        if (!(dblMegabytes < kInt32Limit)) {
            return NumberAndUnit(std::wstring(kNeutralNumberText), strKilobyteRateText);
        }
        return NumberAndUnit(FormatInteger(static_cast<std::int32_t>(dblMegabytes)),
                             strMegabyteRateText);
    }
    return NumberAndUnit(FormatInteger(static_cast<std::int32_t>(dblKilobytes)),
                         strKilobyteRateText);
}

std::wstring FormatDuration(std::uint32_t uintMilliseconds, std::wstring_view strSecondsText,
                            std::wstring_view strMinutesText, std::wstring_view strHoursText)
{
    const std::uint32_t uintTotalSeconds = uintMilliseconds / 1000;
    // Whole days are dropped, as in the time-left formatter.
    const std::uint32_t uintHours = uintTotalSeconds / 3600 - (uintTotalSeconds / 86400) * 24;
    const std::uint32_t uintMinutes = uintTotalSeconds / 60 - (uintTotalSeconds / 3600) * 60;
    const std::uint32_t uintSeconds = uintTotalSeconds - (uintTotalSeconds / 60) * 60;

    std::wstring strResult;
    const auto append = [&strResult](std::uint32_t uintValue, std::wstring_view strUnit) {
        if (!strResult.empty()) {
            strResult += L' ';
        }
        strResult += NumberAndUnit(FormatInteger(uintValue), strUnit);
    };
    if (uintHours > 0) {
        append(uintHours, strHoursText);
    }
    if (uintMinutes > 0) {
        append(uintMinutes, strMinutesText);
    }
    if (uintSeconds > 0 || strResult.empty()) {
        append(uintSeconds, strSecondsText);
    }
    return strResult;
}

}  // namespace pullbay::ui
