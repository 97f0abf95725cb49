#pragma once
// The substitution rule of the text templates and the formatters of the
// values put into them: integers, data amounts, transfer rates and the
// countdown duration. Pure functions of their arguments: any thread may call
// them. Numbers are written with std::to_chars, so the process locale never
// changes a digit or the decimal point ("1.50 MB" everywhere).
#include <cstdint>
#include <string>
#include <string_view>

namespace pullbay::ui {

// What a formatter writes in place of a number that it cannot show: a rate
// or a time that is not finite, negative or too large for its integer type.
inline constexpr std::wstring_view kNeutralNumberText = L"--";

// Replaces every occurrence of strPlaceholder in strText (exact,
// case-sensitive) by strValue. The search goes on after each inserted value,
// so a value holding its own placeholder is not expanded again. An empty
// placeholder matches nothing.
void ReplaceAll(std::wstring& strText, std::wstring_view strPlaceholder,
                std::wstring_view strValue);

// Signed decimal, left-padded with '0' after the sign to intMinWidth
// characters (sign included, as printf's "%0*d").
std::wstring FormatInteger(std::int64_t intValue, int intMinWidth = 0);

// From 1 MiB: MiB with two decimals and the megabytes word ("1.50 MB");
// below: whole KiB, at least 1, and the kilobytes word ("4 KB").
std::wstring FormatDataAmount(std::uint64_t uintBytes, std::wstring_view strKilobytesText,
                              std::wstring_view strMegabytesText);

// Above 1024 KiB/s: whole MiB/s ("2 MB/s"); otherwise whole KiB/s
// ("1024 kB/s"), truncated toward zero. A rate that is not finite, negative,
// or whose whole number does not fit 32 bits shows the neutral number with
// the kilobyte rate word.
std::wstring FormatRate(double dblBytesPerSecond, std::wstring_view strKilobyteRateText,
                        std::wstring_view strMegabyteRateText);

// The fixed countdown format: hours (of the day), minutes and seconds, each
// with its word, zero hours and minutes left out, zero seconds only alone
// ("2 minutes", "0 seconds", "1 hours 2 minutes 5 seconds").
std::wstring FormatDuration(std::uint32_t uintMilliseconds, std::wstring_view strSecondsText,
                            std::wstring_view strMinutesText, std::wstring_view strHoursText);

}  // namespace pullbay::ui
