#pragma once
// The time left of a download as the TimeFormat option string asks for it:
// words or digits, one or two digits, zero parts shown or hidden, and the
// order of the hour, minute and second parts. One instance per progress
// dialog, configured once on the GUI thread; the const Format members may
// then be called from any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pullbay::ui {

class TimeLeftFormatter {
public:
    enum class TimePart { Hours, Minutes, Seconds };

    // Words, plain numbers, zero hours and minutes hidden, hours-minutes-
    // seconds, and the default unit words.
    TimeLeftFormatter();

    // Reads strTimeFormat ("Appearance=Words; PresentDirection=HMS;
    // DigitsFormat=N; HideZero=TRUE"; names and recognised values in any
    // case) and takes the unit words. Unless the text splits into exactly
    // four pairs, every setting but the unit words stays at its default and
    // the result is false.
    bool Configure(std::wstring_view strTimeFormat, std::wstring_view strHoursText,
                   std::wstring_view strMinutesText, std::wstring_view strSecondsText);

    // intSeconds as hours (whole days dropped), minutes and seconds in the
    // configured parts; empty when no part is configured.
    std::wstring Format(std::int64_t intSeconds) const;

    // A time left in seconds as the statistics report it, truncated toward
    // zero. Not finite, negative or beyond 64 bits: the neutral number.
    std::wstring FormatTimeLeft(double dblSeconds) const;

private:
    void ResetToDefaults();
    void AppendPart(std::wstring& strResult, std::int32_t intValue,
                    const std::wstring& strUnit) const;

    bool m_bWords = true;
    bool m_bTwoDigits = false;
    bool m_bShowZero = false;
    std::vector<TimePart> m_parts;
    std::wstring m_strHoursUnit;
    std::wstring m_strMinutesUnit;
    std::wstring m_strSecondsUnit;
};

}  // namespace pullbay::ui
