// Placeholder substitution and the data-amount, rate, duration and integer
// formatters, including inputs that a statistic can produce at its edges.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <locale>
#include <stdexcept>
#include <string>

#include "core/TextUnits.h"
#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"

namespace pullbay::ui {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::wstring Amount(std::uint64_t uintBytes)
{
    return FormatDataAmount(uintBytes, L"KB", L"MB");
}

std::wstring Rate(double dblBytesPerSecond)
{
    return FormatRate(dblBytesPerSecond, L"kB/s", L"MB/s");
}

std::wstring Duration(std::uint32_t uintMilliseconds)
{
    return FormatDuration(uintMilliseconds, L"seconds", L"minutes", L"hours");
}

TEST(TextFormattersTest, ReplaceAllSubstitutesEveryExactOccurrence)
{
    struct Row {
        const wchar_t* strText;
        std::wstring_view strPlaceholder;
        const wchar_t* strValue;
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {L"[Current] of [Total]", kPlaceholderCurrent, L"1.50 MB", L"1.50 MB of [Total]"},
        {L"[Url] and [Url]", kPlaceholderUrl, L"http://h/a", L"http://h/a and http://h/a"},
        {L"[Url][Url]", kPlaceholderUrl, L"x", L"xx"},
        // A value holding its own placeholder is not expanded again.
        {L"a [FileName] b", kPlaceholderFileName, L"[FileName][FileName]",
         L"a [FileName][FileName] b"},
        {L"x[FileName]y", kPlaceholderFileName, L"", L"xy"},
        // Case-sensitive: "[current]" and "[Count]" are no placeholders.
        {L"[current] of [Current]", kPlaceholderCurrent, L"7", L"[current] of 7"},
        {L"more than [count] files, [Count]", kPlaceholderCount, L"500",
         L"more than 500 files, [Count]"},
        {L"no placeholder [Other]", kPlaceholderRate, L"1", L"no placeholder [Other]"},
        {L"[Rate", kPlaceholderRate, L"1", L"[Rate"},
        {L"keep me", L"", L"x", L"keep me"},
        {L"\U0001F600[TimeLeft]\u00E4", kPlaceholderTimeLeft, L"5 s", L"\U0001F6005 s\u00E4"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strText));
        std::wstring strText = row.strText;
        ReplaceAll(strText, row.strPlaceholder, row.strValue);
        EXPECT_EQ(strText, row.strExpected);
    }
}

TEST(TextFormattersTest, LaterPlaceholdersInEarlierValuesAreReplacedToo)
{
    // The dialogs substitute one placeholder after another; a file name that
    // happens to hold a later placeholder gets it replaced at that step.
    std::wstring strLine = L"File [FileName] has been downloaded from [Url]";
    ReplaceAll(strLine, kPlaceholderFileName, L"/d/odd[Url].txt");
    ReplaceAll(strLine, kPlaceholderUrl, L"http://h/f");
    EXPECT_EQ(strLine, L"File /d/oddhttp://h/f.txt has been downloaded from http://h/f");

    std::wstring strCountdown = L"Time left: [Current] of [Total]";
    ReplaceAll(strCountdown, kPlaceholderCurrent, Duration(10000));
    ReplaceAll(strCountdown, kPlaceholderTotal, Duration(10000));
    EXPECT_EQ(strCountdown, L"Time left: 10 seconds of 10 seconds");
}

TEST(TextFormattersTest, DataAmounts)
{
    struct Row {
        std::uint64_t uintBytes;
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {0, L"1 KB"},
        {1023, L"1 KB"},
        {5000, L"4 KB"},
        {kMiB - 1, L"1023 KB"},
        {kMiB, L"1.00 MB"},
        {kMiB + kMiB / 2, L"1.50 MB"},
        // Rounded to the nearest hundredth: 0.0050003 up, 0.0049994 down.
        {kMiB + 5243, L"1.01 MB"},
        {kMiB + 5242, L"1.00 MB"},
        {5ull * 1024 * kMiB, L"5120.00 MB"},
        {std::numeric_limits<std::uint64_t>::max(), L"17592186044416.00 MB"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.uintBytes);
        EXPECT_EQ(Amount(row.uintBytes), row.strExpected);
    }
    EXPECT_EQ(FormatDataAmount(3 * kMiB, L"Ko", L"Mo"), L"3.00 Mo");
    EXPECT_EQ(FormatDataAmount(3000, L"Ko", L"Mo"), L"2 Ko");
}

TEST(TextFormattersTest, Rates)
{
    struct Row {
        double dblBytesPerSecond;
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {0.0, L"0 kB/s"},
        {std::numeric_limits<double>::denorm_min(), L"0 kB/s"},
        {1023.0, L"0 kB/s"},
        {1024.0, L"1 kB/s"},
        {512.0 * 1024, L"512 kB/s"},
        {1023.9 * 1024, L"1023 kB/s"},
        {1.0 * kMiB, L"1024 kB/s"},
        {1.0 * kMiB + 1, L"1 MB/s"},
        {2.9 * kMiB, L"2 MB/s"},
        {2147483647.0 * kMiB, L"2147483647 MB/s"},
        // Neutral: not finite, negative, or too many MB/s for 32 bits.
        {2147483648.0 * kMiB, L"-- kB/s"},
        {1e300, L"-- kB/s"},
        {kInfinity, L"-- kB/s"},
        {-kInfinity, L"-- kB/s"},
        {kNaN, L"-- kB/s"},
        {-2048.0, L"-- kB/s"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.dblBytesPerSecond);
        EXPECT_EQ(Rate(row.dblBytesPerSecond), row.strExpected);
    }
}

TEST(TextFormattersTest, Durations)
{
    struct Row {
        std::uint32_t uintMilliseconds;
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {10000, L"10 seconds"},
        {0, L"0 seconds"},
        {999, L"0 seconds"},
        {1999, L"1 seconds"},
        {120000, L"2 minutes"},
        {3725000, L"1 hours 2 minutes 5 seconds"},
        {3600000, L"1 hours"},
        {3601000, L"1 hours 1 seconds"},
        // Whole days are dropped.
        {86400000, L"0 seconds"},
        {90000000, L"1 hours"},
        {std::numeric_limits<std::uint32_t>::max(), L"17 hours 2 minutes 47 seconds"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.uintMilliseconds);
        EXPECT_EQ(Duration(row.uintMilliseconds), row.strExpected);
    }
    EXPECT_EQ(FormatDuration(3725000, L"s", L"min", L"h"), L"1 h 2 min 5 s");
}

TEST(TextFormattersTest, Integers)
{
    struct Row {
        std::int64_t intValue;
        int intMinWidth;
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {500, 0, L"500"}, {5, 2, L"05"},
        {-5, 2, L"-5"},   {-5, 3, L"-05"},
        {5, -3, L"5"},    {std::numeric_limits<std::int64_t>::min(), 0, L"-9223372036854775808"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.intValue);
        EXPECT_EQ(FormatInteger(row.intValue, row.intMinWidth), row.strExpected);
    }
}

// A locale whose numbers look German: decimal comma, '.' grouping by three.
class GermanNumbers : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

std::string CurrentCLocale()
{
    const char* strName = std::setlocale(LC_ALL, nullptr);
    return strName != nullptr ? strName : "C";
}

// Installs a global locale for the scope (a named one switches the C
// library's locale as well) and restores the previous ones.
class GlobalLocaleScope {
public:
    explicit GlobalLocaleScope(const std::locale& locale)
        : m_strPreviousC(CurrentCLocale()), m_previous(std::locale::global(locale))
    {
    }
    ~GlobalLocaleScope()
    {
        std::locale::global(m_previous);
        std::setlocale(LC_ALL, m_strPreviousC.c_str());
    }
    GlobalLocaleScope(const GlobalLocaleScope&) = delete;
    GlobalLocaleScope& operator=(const GlobalLocaleScope&) = delete;

private:
    std::string m_strPreviousC;
    std::locale m_previous;
};

void ExpectCLocaleNumbers()
{
    EXPECT_EQ(Amount(kMiB + kMiB / 2), L"1.50 MB");
    EXPECT_EQ(Amount(1234567ull * kMiB), L"1234567.00 MB");
    EXPECT_EQ(Amount(kMiB - 1), L"1023 KB");
    EXPECT_EQ(Rate(2147483647.0 * kMiB), L"2147483647 MB/s");
    EXPECT_EQ(Duration(3725000), L"1 hours 2 minutes 5 seconds");
    EXPECT_EQ(FormatInteger(1234567), L"1234567");
}

TEST(TextFormattersTest, NumbersIgnoreGermanPunctuationOfTheGlobalLocale)
{
    // Always available: a global C++ locale with German punctuation, which
    // streams and locale-aware formatting would follow.
    const GlobalLocaleScope scope(std::locale(std::locale::classic(), new GermanNumbers));
    ExpectCLocaleNumbers();
}

TEST(TextFormattersTest, NumbersIgnoreAnInstalledGermanLocale)
{
    for (const char* strName : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
        std::locale german;
        try {
            german = std::locale(strName);
        } catch (const std::runtime_error&) {
            continue;
        }
        // Naming the locale also switches the C library's locale.
        const GlobalLocaleScope scope(german);
        ExpectCLocaleNumbers();
        return;
    }
    GTEST_SKIP() << "no German locale installed on this machine";
}

}  // namespace
}  // namespace pullbay::ui
