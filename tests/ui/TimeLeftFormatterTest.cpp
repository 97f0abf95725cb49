// The time-left formatter as configured by TimeFormat option strings.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/TextUnits.h"
#include "ui/TimeLeftFormatter.h"

namespace pullbay::ui {
namespace {

constexpr const wchar_t* kDefaultTimeFormat =
    L"Appearance=Words; PresentDirection=HMS; DigitsFormat=N; HideZero=TRUE";
constexpr const wchar_t* kClock =
    L"Appearance=Digits; PresentDirection=HMS; DigitsFormat=NN; HideZero=FALSE";

TimeLeftFormatter Configured(const wchar_t* strTimeFormat, bool bExpectAccepted = true)
{
    TimeLeftFormatter formatter;
    EXPECT_EQ(formatter.Configure(strTimeFormat, L"hours", L"minutes", L"seconds"),
              bExpectAccepted);
    return formatter;
}

TEST(TimeLeftFormatterTest, FormatsByTimeFormat)
{
    struct Row {
        const wchar_t* strTimeFormat;
        bool bAccepted;
        std::int64_t intSeconds;
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {kDefaultTimeFormat, true, 3725, L"1 hours 2 minutes 5 seconds"},
        {kDefaultTimeFormat, true, 65, L"1 minutes 5 seconds"},
        {kDefaultTimeFormat, true, 3600, L"1 hours 0 seconds"},
        {kDefaultTimeFormat, true, 0, L"0 seconds"},
        {kDefaultTimeFormat, true, 90061, L"1 hours 1 minutes 1 seconds"},
        {kClock, true, 3725, L"01:02:05"},
        {kClock, true, 65, L"00:01:05"},
        {L"Appearance=Digits; PresentDirection=HMS; DigitsFormat=NN; HideZero=TRUE", true, 65,
         L"01:05"},
        // A hidden leading part leaves no separator behind.
        {L"Appearance=Digits; PresentDirection=HMS; DigitsFormat=N; HideZero=TRUE", true, 5, L"5"},
        {L"Appearance=Words; PresentDirection=SMH; DigitsFormat=N; HideZero=TRUE", true, 3725,
         L"5 seconds 2 minutes 1 hours"},
        {L"Appearance=Words; PresentDirection=HMS; DigitsFormat=N; HideZero=FALSE", true, 5,
         L"0 hours 0 minutes 5 seconds"},
        {L"Appearance=Words; PresentDirection=HMS; DigitsFormat=NN; HideZero=TRUE", true, 3725,
         L"01 hours 02 minutes 05 seconds"},
        // Three pairs: ignored as a whole.
        {L"Appearance=Digits; DigitsFormat=NN; HideZero=FALSE", false, 65, L"1 minutes 5 seconds"},
        // Five pairs: ignored as a whole.
        {L"Appearance=Digits; PresentDirection=S; DigitsFormat=NN; HideZero=FALSE; X=1", false, 65,
         L"1 minutes 5 seconds"},
        // Names and recognised values in any case.
        {L"appearance=digits; PRESENTDIRECTION=hms; digitsformat=nn; HideZero=false", true, 65,
         L"00:01:05"},
        {L"APPEARANCE=words; PresentDirection=sM; DigitsFormat=n; hidezero=true", true, 3725,
         L"5 seconds 2 minutes"},
        // Quoted values are read bare.
        {L"Appearance='Words'; PresentDirection=\"SM\"; DigitsFormat=N; HideZero=TRUE", true, 3725,
         L"5 seconds 2 minutes"},
        // Unrecognised values select the alternative.
        {L"Appearance=Digitz; PresentDirection=HMS; DigitsFormat=X; HideZero=no", true, 65, L"1:5"},
        // Other letters are skipped; kinds may repeat; none at all shows nothing.
        {L"Appearance=Words; PresentDirection=h-x-s; DigitsFormat=N; HideZero=FALSE", true, 3725,
         L"1 hours 5 seconds"},
        {L"Appearance=Words; PresentDirection=SS; DigitsFormat=N; HideZero=TRUE", true, 65,
         L"5 seconds 5 seconds"},
        {L"Appearance=Words; PresentDirection=xyz; DigitsFormat=N; HideZero=TRUE", true, 3725, L""},
        // A repeated name: the later one wins; an unknown name still counts.
        {L"Appearance=Digits; Appearance=Words; PresentDirection=MS; HideZero=TRUE", true, 65,
         L"1 minutes 5 seconds"},
        {L"Colour=Red; Appearance=Digits; PresentDirection=MS; HideZero=FALSE", true, 5, L"0:5"},
        // Negative input follows the truncating arithmetic.
        {kDefaultTimeFormat, true, -65, L"-1 minutes -5 seconds"},
        {kClock, true, -65, L"00:-1:-5"},
        {kDefaultTimeFormat, true, std::numeric_limits<std::int64_t>::max(),
         L"15 hours 30 minutes 7 seconds"},
        {kDefaultTimeFormat, true, std::numeric_limits<std::int64_t>::min(),
         L"-15 hours -30 minutes -8 seconds"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strTimeFormat) + " / " + std::to_string(row.intSeconds));
        const TimeLeftFormatter formatter = Configured(row.strTimeFormat, row.bAccepted);
        EXPECT_EQ(formatter.Format(row.intSeconds), row.strExpected);
    }
}

TEST(TimeLeftFormatterTest, UnitWordsComeFromTheConfiguration)
{
    TimeLeftFormatter formatter;
    EXPECT_EQ(formatter.Format(3725), L"1 hours 2 minutes 5 seconds");
    formatter.Configure(kDefaultTimeFormat, L"Stunden", L"Minuten", L"Sekunden");
    EXPECT_EQ(formatter.Format(3725), L"1 Stunden 2 Minuten 5 Sekunden");
    // A rejected format still takes the words of the moment.
    EXPECT_FALSE(formatter.Configure(L"Appearance=Digits", L"h", L"min", L"s"));
    EXPECT_EQ(formatter.Format(3725), L"1 h 2 min 5 s");
}

TEST(TimeLeftFormatterTest, ARejectedFormatRestoresTheDefaults)
{
    TimeLeftFormatter formatter;
    ASSERT_TRUE(formatter.Configure(kClock, L"hours", L"minutes", L"seconds"));
    ASSERT_EQ(formatter.Format(65), L"00:01:05");
    EXPECT_FALSE(formatter.Configure(L"Appearance=Digits; DigitsFormat=NN; HideZero=FALSE",
                                     L"hours", L"minutes", L"seconds"));
    EXPECT_EQ(formatter.Format(65), L"1 minutes 5 seconds");

    // A text that the regular expression engine gives up on is rejected
    // like any other unusable one.
    ASSERT_TRUE(formatter.Configure(kClock, L"hours", L"minutes", L"seconds"));
    EXPECT_FALSE(formatter.Configure(std::wstring(kClock) + L";" + std::wstring(280, L' ') + L"=",
                                     L"hours", L"minutes", L"seconds"));
    EXPECT_EQ(formatter.Format(65), L"1 minutes 5 seconds");
}

TEST(TimeLeftFormatterTest, TimeLeftFromTheStatisticsNeverFails)
{
    const TimeLeftFormatter formatter = Configured(kDefaultTimeFormat);
    struct Row {
        double dblSeconds;
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {65.9, L"1 minutes 5 seconds"},
        {0.0, L"0 seconds"},
        {0.999, L"0 seconds"},
        {9.2e18, L"11 hours 33 minutes 20 seconds"},
        {std::numeric_limits<double>::quiet_NaN(), L"--"},
        {std::numeric_limits<double>::infinity(), L"--"},
        {-std::numeric_limits<double>::infinity(), L"--"},
        {-1.0, L"--"},
        {9223372036854775808.0, L"--"},
        {1e300, L"--"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.dblSeconds);
        EXPECT_EQ(formatter.FormatTimeLeft(row.dblSeconds), row.strExpected);
    }
    const TimeLeftFormatter nothing =
        Configured(L"Appearance=Words; PresentDirection=-; DigitsFormat=N; HideZero=TRUE");
    EXPECT_EQ(nothing.FormatTimeLeft(std::numeric_limits<double>::quiet_NaN()), L"");
}

}  // namespace
}  // namespace pullbay::ui
