#include "ui/TimeLeftFormatter.h"

#include "core/TextUnits.h"
#include "ui/ParameterSplitter.h"
#include "ui/TextFormatters.h"

namespace pullbay::ui {

namespace {

// The number of pairs that a usable TimeFormat has; any other count leaves
// the defaults in force.
constexpr std::size_t kTimeFormatPairCount = 4;
// 2^63: the first double whose truncation no longer fits std::int64_t.
constexpr double kInt64Limit = 9223372036854775808.0;

std::wstring UnitText(std::wstring_view strWord)
{
    std::wstring strUnit = L" ";
    strUnit += strWord;
    return strUnit;
}

}  // namespace

TimeLeftFormatter::TimeLeftFormatter()
    : m_strHoursUnit(UnitText(L"hours")),
      m_strMinutesUnit(UnitText(L"minutes")),
      m_strSecondsUnit(UnitText(L"seconds"))
{
    ResetToDefaults();
}

void TimeLeftFormatter::ResetToDefaults()
{
    m_bWords = true;
    m_bTwoDigits = false;
    m_bShowZero = false;
    m_parts = {TimePart::Hours, TimePart::Minutes, TimePart::Seconds};
}

bool TimeLeftFormatter::Configure(std::wstring_view strTimeFormat, std::wstring_view strHoursText,
                                  std::wstring_view strMinutesText,
                                  std::wstring_view strSecondsText)
{
    m_strHoursUnit = UnitText(strHoursText);
    m_strMinutesUnit = UnitText(strMinutesText);
    m_strSecondsUnit = UnitText(strSecondsText);
    ResetToDefaults();

    ParameterSplitter splitter;
    if (!splitter.Split(strTimeFormat) || splitter.GetParamCount() != kTimeFormatPairCount) {
        return false;
    }
    for (std::size_t i = 0; i < splitter.GetParamCount(); ++i) {
        const ParameterSplitter::Param param = splitter.GetParamValue(i);
        if (core::EqualsIgnoreAsciiCase(param.strName, L"Appearance")) {
            m_bWords = core::EqualsIgnoreAsciiCase(param.strValue, L"Words");
        } else if (core::EqualsIgnoreAsciiCase(param.strName, L"DigitsFormat")) {
            m_bTwoDigits = core::EqualsIgnoreAsciiCase(param.strValue, L"NN");
        } else if (core::EqualsIgnoreAsciiCase(param.strName, L"HideZero")) {
            m_bShowZero = core::EqualsIgnoreAsciiCase(param.strValue, L"FALSE");
        } else if (core::EqualsIgnoreAsciiCase(param.strName, L"PresentDirection")) {
            m_parts.clear();
            for (wchar_t ch : param.strValue) {
                switch (core::ToLowerAscii(ch)) {
                case L'h':
                    m_parts.push_back(TimePart::Hours);
                    break;
                case L'm':
                    m_parts.push_back(TimePart::Minutes);
                    break;
                case L's':
                    m_parts.push_back(TimePart::Seconds);
                    break;
                default:
                    break;
                }
            }
        }
    }
    return true;
}

void TimeLeftFormatter::AppendPart(std::wstring& strResult, std::int32_t intValue,
                                   const std::wstring& strUnit) const
{
    // Something is written already exactly when the result is not empty.
    if (!strResult.empty()) {
        strResult += m_bWords ? L' ' : L':';
    }
    strResult += FormatInteger(intValue, m_bTwoDigits ? 2 : 0);
    if (m_bWords) {
        strResult += strUnit;
    }
}

std::wstring TimeLeftFormatter::Format(std::int64_t intSeconds) const
{
    // Truncating division keeps every part within (-24, 24) or (-60, 60),
    // also for negative input.
    const auto intHours = static_cast<std::int32_t>(intSeconds / 3600 - (intSeconds / 86400) * 24);
    const auto intMinutes = static_cast<std::int32_t>(intSeconds / 60 - (intSeconds / 3600) * 60);
    const auto intSecs = static_cast<std::int32_t>(intSeconds - (intSeconds / 60) * 60);

    std::wstring strResult;
    for (TimePart part : m_parts) {
        switch (part) {
        case TimePart::Hours:
            if (m_bShowZero || intHours != 0) {
                AppendPart(strResult, intHours, m_strHoursUnit);
            }
            break;
        case TimePart::Minutes:
            if (m_bShowZero || intMinutes != 0) {
                AppendPart(strResult, intMinutes, m_strMinutesUnit);
            }
            break;
        case TimePart::Seconds:
            AppendPart(strResult, intSecs, m_strSecondsUnit);
            break;
        }
    }
    return strResult;
}

std::wstring TimeLeftFormatter::FormatTimeLeft(double dblSeconds) const
{
    if (m_parts.empty()) {
        return {};
    }
    // Checked before the conversion: NaN, infinities and doubles beyond the
    // integer's range must never reach static_cast.
    if (!(dblSeconds >= 0.0 && dblSeconds < kInt64Limit)) {
        return std::wstring(kNeutralNumberText);
    }
    return Format(static_cast<std::int64_t>(dblSeconds));
}

}  // namespace pullbay::ui
