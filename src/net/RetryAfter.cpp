#include "net/RetryAfter.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "core/TextUnits.h"

namespace pullbay::net {

namespace {

using namespace std::chrono;

constexpr std::array<std::string_view, 7> kShortDays = {"Mon", "Tue", "Wed", "Thu",
                                                        "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 7> kLongDays = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Reads the value from its start; each step consumes what it matched and
// fails (leaving the cursor anywhere) when the text does not match.
class Cursor {
public:
    explicit Cursor(std::string_view strText) : m_strText(strText) {}

    bool AtEnd() const { return m_strText.empty(); }

    bool Literal(std::string_view strExpected)
    {
        if (m_strText.substr(0, strExpected.size()) != strExpected) {
            return false;
        }
        m_strText.remove_prefix(strExpected.size());
        return true;
    }

    // Exactly uintCount digits.
    std::optional<int> Digits(std::size_t uintCount)
    {
        if (m_strText.size() < uintCount) {
            return std::nullopt;
        }
        int intValue = 0;
        for (std::size_t i = 0; i < uintCount; ++i) {
            const char ch = m_strText[i];
            if (ch < '0' || ch > '9') {
                return std::nullopt;
            }
            intValue = intValue * 10 + (ch - '0');
        }
        m_strText.remove_prefix(uintCount);
        return intValue;
    }

    // The index of the name of names that the text starts with (ASCII case
    // ignored).
    template <std::size_t N>
    std::optional<int> Name(const std::array<std::string_view, N>& names)
    {
        for (std::size_t i = 0; i < N; ++i) {
            if (m_strText.size() >= names[i].size() &&
                core::EqualsIgnoreAsciiCase(m_strText.substr(0, names[i].size()), names[i])) {
                m_strText.remove_prefix(names[i].size());
                return static_cast<int>(i);
            }
        }
        return std::nullopt;
    }

private:
    std::string_view m_strText;
};

struct DateFields {
    int intYear = 0;
    int intMonth = 0;  // 1 to 12
    int intDay = 0;
    int intHour = 0;
    int intMinute = 0;
    int intSecond = 0;
};

// "08:49:37".
bool ReadTime(Cursor& cursor, DateFields& fields)
{
    const auto hour = cursor.Digits(2);
    if (!hour || !cursor.Literal(":")) {
        return false;
    }
    const auto minute = cursor.Digits(2);
    if (!minute || !cursor.Literal(":")) {
        return false;
    }
    const auto second = cursor.Digits(2);
    if (!second) {
        return false;
    }
    fields.intHour = *hour;
    fields.intMinute = *minute;
    fields.intSecond = *second;
    return true;
}

bool ReadMonth(Cursor& cursor, DateFields& fields)
{
    const auto month = cursor.Name(kMonths);
    if (!month) {
        return false;
    }
    fields.intMonth = *month + 1;
    return true;
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
std::optional<DateFields> ReadImfFixdate(std::string_view strValue)
{
    Cursor cursor(strValue);
    DateFields fields;
    if (!cursor.Name(kShortDays) || !cursor.Literal(", ")) {
        return std::nullopt;
    }
    const auto day = cursor.Digits(2);
    if (!day || !cursor.Literal(" ") || !ReadMonth(cursor, fields) || !cursor.Literal(" ")) {
        return std::nullopt;
    }
    const auto year = cursor.Digits(4);
    if (!year || !cursor.Literal(" ") || !ReadTime(cursor, fields) || !cursor.Literal(" GMT") ||
        !cursor.AtEnd()) {
        return std::nullopt;
    }
    fields.intDay = *day;
    fields.intYear = *year;
    return fields;
}

// "Sunday, 06-Nov-94 08:49:37 GMT": a two-digit year more than 50 years
// ahead of now is of the century before.
std::optional<DateFields> ReadRfc850Date(std::string_view strValue, int intNowYear)
{
    Cursor cursor(strValue);
    DateFields fields;
    if (!cursor.Name(kLongDays) || !cursor.Literal(", ")) {
        return std::nullopt;
    }
    const auto day = cursor.Digits(2);
    if (!day || !cursor.Literal("-") || !ReadMonth(cursor, fields) || !cursor.Literal("-")) {
        return std::nullopt;
    }
    const auto year = cursor.Digits(2);
    if (!year || !cursor.Literal(" ") || !ReadTime(cursor, fields) || !cursor.Literal(" GMT") ||
        !cursor.AtEnd()) {
        return std::nullopt;
    }
    fields.intDay = *day;
    fields.intYear = intNowYear - intNowYear % 100 + *year;
    if (fields.intYear > intNowYear + 50) {
        fields.intYear -= 100;
    }
    return fields;
}

// "Sun Nov  6 08:49:37 1994"
std::optional<DateFields> ReadAsctimeDate(std::string_view strValue)
{
    Cursor cursor(strValue);
    DateFields fields;
    if (!cursor.Name(kShortDays) || !cursor.Literal(" ") || !ReadMonth(cursor, fields) ||
        !cursor.Literal(" ")) {
        return std::nullopt;
    }
    std::optional<int> day;
    if (cursor.Literal(" ")) {
        day = cursor.Digits(1);
    } else {
        day = cursor.Digits(2);
    }
    if (!day || !cursor.Literal(" ") || !ReadTime(cursor, fields) || !cursor.Literal(" ")) {
        return std::nullopt;
    }
    const auto year = cursor.Digits(4);
    if (!year || !cursor.AtEnd()) {
        return std::nullopt;
    }
    fields.intDay = *day;
    fields.intYear = *year;
    return fields;
}

// Seconds since the epoch; nullopt for a day or time that does not exist
// (60 seconds stands for a leap second).
std::optional<std::int64_t> EpochSeconds(const DateFields& fields)
{
    const year_month_day date{year{fields.intYear}, month{static_cast<unsigned>(fields.intMonth)},
                              day{static_cast<unsigned>(fields.intDay)}};
    if (!date.ok() || fields.intHour > 23 || fields.intMinute > 59 || fields.intSecond > 60) {
        return std::nullopt;
    }
    const std::int64_t intDays = sys_days(date).time_since_epoch().count();
    return intDays * 86400 + fields.intHour * 3600 + fields.intMinute * 60 + fields.intSecond;
}

std::optional<std::int64_t> DeltaSeconds(std::string_view strValue)
{
    if (strValue.empty()) {
        return std::nullopt;
    }
    std::int64_t intSeconds = 0;
    for (const char ch : strValue) {
        if (ch < '0' || ch > '9') {
            return std::nullopt;
        }
        // Saturates: a number of any length is read without overflow.
        intSeconds = std::min(intSeconds * 10 + (ch - '0'), kMaxRetryAfterSeconds);
    }
    return intSeconds;
}

}  // namespace

std::optional<std::int64_t> ParseRetryAfter(std::string_view strValue,
                                            std::chrono::system_clock::time_point now)
{
    if (const auto seconds = DeltaSeconds(strValue)) {
        return seconds;
    }
    const std::int64_t intNow = floor<seconds>(now).time_since_epoch().count();
    const int intNowYear = static_cast<int>(year_month_day(floor<days>(now)).year());
    std::optional<DateFields> fields = ReadImfFixdate(strValue);
    if (!fields) {
        fields = ReadRfc850Date(strValue, intNowYear);
    }
    if (!fields) {
        fields = ReadAsctimeDate(strValue);
    }
    if (!fields) {
        return std::nullopt;
    }
    const auto intDate = EpochSeconds(*fields);
    if (!intDate) {
        return std::nullopt;
    }
    // The whole seconds from now's second to the date: the wait rounded up.
    return std::clamp<std::int64_t>(*intDate - intNow, 0, kMaxRetryAfterSeconds);
}

}  // namespace pullbay::net
