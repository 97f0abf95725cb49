#pragma once
// What the progress dialog shows at each 200 ms tick: the current file's URL,
// the data amount and rate/time-left line (or the waiting-for-retry notice),
// the two bar positions and the skip buttons. No window: the caller (a Qt
// view or the headless host) feeds it the engine's state and draws the
// getters. One thread (the GUI thread) owns an instance.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ui/TimeLeftFormatter.h"

namespace pullbay::ui {

class ProgressStatistic;

// The text properties read at every tick (templates and byte units).
struct ProgressTexts {
    std::wstring strDataAmountText = L"[Current] of [Total]";
    std::wstring strDownloadDetailsText = L"([Rate], [TimeLeft] left)";
    std::wstring strWaitingForRetryText = L"(Error! Waiting for retry...)";
    std::wstring strKilobytesText = L"KB";
    std::wstring strMegabytesText = L"MB";
    std::wstring strKilobyteRateText = L"kB/s";
    std::wstring strMegabyteRateText = L"MB/s";
    std::wstring strSkipCurrentButtonText = L"Skip Current";
    std::wstring strSkipAllButtonText = L"Skip All";
};

// The text properties read once, when the dialog is created.
struct ProgressTimeTexts {
    std::wstring strTimeFormat =
        L"Appearance=Words; PresentDirection=HMS; DigitsFormat=N; HideZero=TRUE";
    std::wstring strHoursText = L"hours";
    std::wstring strMinutesText = L"minutes";
    std::wstring strSecondsText = L"seconds";
};

// The engine's state as one tick sees it.
struct ProgressEngineState {
    bool bEngineAlive = false;
    // False once the list is finished (or skip all has run through it).
    bool bHasCurrentItem = false;
    std::wstring strCurrentUrl;
    bool bWaitingForRetry = false;
    std::uint64_t uintTransferred = 0;
    std::uint64_t uintTotal = 0;
    double dblRate = 0.0;
    double dblItemFraction = 0.0;
    double dblTotalFraction = 0.0;
    double dblTimeLeft = 0.0;

    // Copies the statistic's values; the flags and the URL stay as given.
    void ReadStatistic(const ProgressStatistic& statistic);
};

class ProgressModel {
public:
    using MillisecondClock = std::function<std::int64_t()>;

    static constexpr std::int64_t kTickMilliseconds = 200;
    static constexpr int kBarMaximum = 1000;
    static constexpr int kDialogResult = 1;

    // What a command asks of the engine.
    enum class EngineRequest { None, SkipCurrent, SkipAll };
    enum class Command { SkipCurrent, SkipAll, Ok, Cancel, Other };

    // An empty clock selects ProgressStatistic::SteadyClockMilliseconds. The
    // first tick is due one tick period after construction.
    ProgressModel(const ProgressTimeTexts& timeTexts, const ProgressTexts& texts,
                  MillisecondClock clock = {});

    void SetTexts(const ProgressTexts& texts) { m_texts = texts; }

    // True when a tick period has passed since the previous tick (or since
    // construction) and the dialog has not finished.
    bool IsTickDue() const;
    std::int64_t GetMillisecondsUntilNextTick() const;

    // Runs one tick with the engine's state; true when anything shown (or
    // the finished state) differs from before. The next tick is due one
    // period after this call.
    bool Tick(const ProgressEngineState& state);

    // Ticks only when due; false when nothing ran or nothing changed.
    bool Poll(const ProgressEngineState& state);

    // Skip Current and Skip All map to their engine requests while the dialog
    // runs; every other command (Enter, Escape) is consumed and does nothing.
    EngineRequest OnCommand(Command command) const;

    // Ended: the engine is gone or has no current file. The result is always
    // kDialogResult.
    bool IsFinished() const { return m_bFinished; }

    const std::wstring& GetUrl() const { return m_strUrl; }
    const std::wstring& GetDataAmountText() const { return m_strDataAmount; }
    // The rate and time left, or the waiting notice while waiting.
    const std::wstring& GetDetailsText() const { return m_strDetails; }
    // The detail line as shown: the data amount joined directly to the details.
    std::wstring GetProgressText() const { return m_strDataAmount + m_strDetails; }
    bool IsWaitingForRetry() const { return m_bWaiting; }
    int GetItemBarPosition() const { return m_intItemBar; }
    int GetTotalBarPosition() const { return m_intTotalBar; }

    const std::wstring& GetSkipCurrentButtonText() const
    {
        return m_texts.strSkipCurrentButtonText;
    }
    const std::wstring& GetSkipAllButtonText() const { return m_texts.strSkipAllButtonText; }
    bool AreSkipButtonsEnabled() const { return !m_bFinished; }

    // A fraction as a bar position 0..kBarMaximum, truncated toward zero; a
    // fraction that is not finite shows an empty bar, one beyond 0..1 is
    // clamped.
    static int ToBarPosition(double dblFraction);

private:
    std::int64_t Now() const;

    const MillisecondClock m_clock;
    TimeLeftFormatter m_timeLeftFormatter;
    ProgressTexts m_texts;
    std::int64_t m_intLastTick;

    bool m_bFinished = false;
    bool m_bWaiting = false;
    std::wstring m_strUrl;
    std::wstring m_strDataAmount;
    std::wstring m_strDetails;
    int m_intItemBar = 0;
    int m_intTotalBar = 0;
};

}  // namespace pullbay::ui
