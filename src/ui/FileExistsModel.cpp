#include "ui/FileExistsModel.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"

namespace pullbay::ui {

namespace {

std::int64_t SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

FileExistsModel::FileExistsModel(FileExistsSettings settings, std::wstring strQuestion,
                                 MillisecondClock clock)
    : m_settings(std::move(settings)),
      m_strQuestion(std::move(strQuestion)),
      m_clock(clock ? std::move(clock) : MillisecondClock(&SteadyMilliseconds)),
      m_intLastPoll(m_clock()),
      m_intRemaining(m_settings.intTimeOut),
      m_action(m_settings.defaultAction)
{
    if (m_settings.intTimeOut == 0) {
        RunOut();
    } else if (HasCountdown()) {
        RefreshTimeLeftText();
    }
}

void FileExistsModel::SetApplyToAllChecked(bool bChecked)
{
    if (!m_bFinished) {
        m_bApplyToAllChecked = bChecked;
    }
}

void FileExistsModel::Choose(FileExistsAnswer answer)
{
    if (m_bFinished) {
        return;
    }
    m_bApplyToAll = m_bApplyToAllChecked;
    m_action = answer;
    m_bFinished = true;
}

void FileExistsModel::Tick(std::int64_t intElapsedMilliseconds)
{
    if (m_bFinished || !HasCountdown() || intElapsedMilliseconds <= 0) {
        return;
    }
    // More than the rest of the countdown changes nothing; capping keeps the
    // sum from overflowing on an absurd clock jump.
    const std::int64_t intCap = std::int64_t{m_intRemaining} + kTickMilliseconds;
    m_intPendingMilliseconds += std::min(intElapsedMilliseconds, intCap);
    while (!m_bFinished && m_intPendingMilliseconds >= kTickMilliseconds) {
        m_intPendingMilliseconds -= kTickMilliseconds;
        Step();
    }
}

void FileExistsModel::Poll()
{
    const std::int64_t intNow = m_clock();
    const std::int64_t intElapsed = intNow - m_intLastPoll;
    m_intLastPoll = intNow;
    Tick(intElapsed);
}

void FileExistsModel::Step()
{
    m_intRemaining = std::max(m_intRemaining - kTickMilliseconds, 0);
    if (m_intRemaining != 0) {
        RefreshTimeLeftText();
    } else {
        RunOut();
    }
}

void FileExistsModel::RunOut()
{
    // The default action then holds for every later clash of the run, as
    // though Apply to All had been checked.
    m_action = m_settings.defaultAction;
    m_bApplyToAll = true;
    m_bTimedOut = true;
    m_bFinished = true;
}

void FileExistsModel::RefreshTimeLeftText()
{
    std::wstring strText = m_settings.strTimeLeftText;
    ReplaceAll(strText, kPlaceholderCurrent,
               FormatDuration(static_cast<std::uint32_t>(m_intRemaining), m_settings.strSecondsText,
                              m_settings.strMinutesText, m_settings.strHoursText));
    ReplaceAll(strText, kPlaceholderTotal,
               FormatDuration(static_cast<std::uint32_t>(m_settings.intTimeOut),
                              m_settings.strSecondsText, m_settings.strMinutesText,
                              m_settings.strHoursText));
    m_strTimeLeftText = std::move(strText);
}

}  // namespace pullbay::ui
