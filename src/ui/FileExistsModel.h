#pragma once
// The logic of the file-exists dialog without a window: the question, the
// three answers with apply-to-all, and the countdown that takes the default
// action when it runs out. GUI thread only (or the headless host's thread);
// not synchronised. Time comes from an injectable clock or explicit Tick calls.
#include <cstdint>
#include <functional>
#include <string>

namespace pullbay::ui {

// The answer values, equal to those of the control's file-exists action.
enum class FileExistsAnswer : std::int32_t {
    Overwrite = 0,
    Skip = 1,
    Rename = 2,
};

// The settings the dialog reads, copied from the control's properties.
struct FileExistsSettings {
    std::wstring strCaption;
    std::wstring strOverwriteButtonText;
    std::wstring strSkipButtonText;
    std::wstring strRenameButtonText;
    std::wstring strApplyToAllText;
    std::wstring strTimeLeftText;
    std::wstring strSecondsText;
    std::wstring strMinutesText;
    std::wstring strHoursText;
    // Milliseconds; -1 (any negative) waits without a countdown, 0 answers
    // at once as a run-out does.
    std::int32_t intTimeOut = -1;
    FileExistsAnswer defaultAction = FileExistsAnswer::Overwrite;
};

class FileExistsModel {
public:
    // Milliseconds of a monotonic clock; only differences are used.
    using MillisecondClock = std::function<std::int64_t()>;

    static constexpr std::int32_t kTickMilliseconds = 1000;

    // strQuestion is the composed message. An empty clock selects the
    // steady clock; the countdown starts at construction.
    FileExistsModel(FileExistsSettings settings, std::wstring strQuestion,
                    MillisecondClock clock = {});

    const FileExistsSettings& Settings() const { return m_settings; }
    const std::wstring& Question() const { return m_strQuestion; }

    bool HasCountdown() const { return m_settings.intTimeOut > 0; }
    std::int32_t RemainingMilliseconds() const { return m_intRemaining; }
    // The countdown line as last set: empty without a countdown, not
    // refreshed by the tick that runs out.
    const std::wstring& TimeLeftText() const { return m_strTimeLeftText; }

    // The Apply to All check box; read when a button is pressed.
    void SetApplyToAllChecked(bool bChecked);

    // One of the three buttons. Ignored once the dialog has ended.
    void Choose(FileExistsAnswer answer);

    // Adds elapsed time; every whole kTickMilliseconds fires one countdown
    // tick. Non-positive values and calls without a countdown do nothing.
    void Tick(std::int64_t intElapsedMilliseconds);
    // Ticks for the time the clock has advanced since the last poll.
    void Poll();

    bool IsFinished() const { return m_bFinished; }
    bool IsTimedOut() const { return m_bTimedOut; }
    // The answer and its scope; meaningful once finished.
    FileExistsAnswer Action() const { return m_action; }
    bool ApplyToAll() const { return m_bApplyToAll; }

private:
    void Step();
    void RunOut();
    void RefreshTimeLeftText();

    FileExistsSettings m_settings;
    std::wstring m_strQuestion;
    MillisecondClock m_clock;
    std::int64_t m_intLastPoll = 0;
    std::int64_t m_intPendingMilliseconds = 0;
    std::int32_t m_intRemaining = 0;
    std::wstring m_strTimeLeftText;
    bool m_bApplyToAllChecked = false;
    FileExistsAnswer m_action;
    bool m_bApplyToAll = false;
    bool m_bFinished = false;
    bool m_bTimedOut = false;
};

}  // namespace pullbay::ui
