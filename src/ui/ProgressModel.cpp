#include "ui/ProgressModel.h"

#include <cmath>

#include "ui/ProgressStatistic.h"
#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"

namespace pullbay::ui {

void ProgressEngineState::ReadStatistic(const ProgressStatistic& statistic)
{
    uintTransferred = statistic.GetTransferred();
    uintTotal = statistic.GetTotal();
    dblRate = statistic.GetRate();
    dblItemFraction = statistic.GetItemFraction();
    dblTotalFraction = statistic.GetTotalFraction();
    dblTimeLeft = statistic.GetTimeLeft();
}

ProgressModel::ProgressModel(const ProgressTimeTexts& timeTexts, const ProgressTexts& texts,
                             MillisecondClock clock)
    : m_clock(clock ? std::move(clock)
                    : MillisecondClock(&ProgressStatistic::SteadyClockMilliseconds)),
      m_texts(texts),
      m_intLastTick(m_clock())
{
    // An unreadable time format keeps the formatter's defaults; the unit
    // words are taken either way.
    m_timeLeftFormatter.Configure(timeTexts.strTimeFormat, timeTexts.strHoursText,
                                  timeTexts.strMinutesText, timeTexts.strSecondsText);
}

std::int64_t ProgressModel::Now() const
{
    return m_clock();
}

std::int64_t ProgressModel::GetMillisecondsUntilNextTick() const
{
    // Unsigned difference: a clock that jumps backwards or far ahead must not
    // overflow; a backwards jump counts as a full period gone.
    const auto uintElapsed =
        static_cast<std::uint64_t>(Now()) - static_cast<std::uint64_t>(m_intLastTick);
    if (uintElapsed >= static_cast<std::uint64_t>(kTickMilliseconds)) {
        return 0;
    }
    return kTickMilliseconds - static_cast<std::int64_t>(uintElapsed);
}

bool ProgressModel::IsTickDue() const
{
    return !m_bFinished && GetMillisecondsUntilNextTick() == 0;
}

int ProgressModel::ToBarPosition(double dblFraction)
{
    if (!std::isfinite(dblFraction) || dblFraction <= 0.0) {
        return 0;
    }
    if (dblFraction >= 1.0) {
        return kBarMaximum;
    }
    return static_cast<int>(dblFraction * kBarMaximum);
}

bool ProgressModel::Tick(const ProgressEngineState& state)
{
    m_intLastTick = Now();
    if (m_bFinished) {
        return false;
    }
    if (!state.bEngineAlive || !state.bHasCurrentItem) {
        // The last texts stay on screen while the dialog closes, except that
        // a gone engine has no progress text.
        m_bFinished = true;
        if (!state.bEngineAlive) {
            m_strDataAmount.clear();
            m_strDetails.clear();
            m_bWaiting = false;
        }
        return true;
    }

    std::wstring strDataAmount = m_texts.strDataAmountText;
    ReplaceAll(strDataAmount, kPlaceholderCurrent,
               FormatDataAmount(state.uintTransferred, m_texts.strKilobytesText,
                                m_texts.strMegabytesText));
    ReplaceAll(
        strDataAmount, kPlaceholderTotal,
        FormatDataAmount(state.uintTotal, m_texts.strKilobytesText, m_texts.strMegabytesText));

    std::wstring strDetails;
    if (state.bWaitingForRetry) {
        strDetails = m_texts.strWaitingForRetryText;
    } else {
        strDetails = m_texts.strDownloadDetailsText;
        ReplaceAll(
            strDetails, kPlaceholderRate,
            FormatRate(state.dblRate, m_texts.strKilobyteRateText, m_texts.strMegabyteRateText));
        ReplaceAll(strDetails, kPlaceholderTimeLeft,
                   m_timeLeftFormatter.FormatTimeLeft(state.dblTimeLeft));
    }

    const int intItemBar = ToBarPosition(state.dblItemFraction);
    const int intTotalBar = ToBarPosition(state.dblTotalFraction);

    const bool bChanged = strDataAmount != m_strDataAmount || strDetails != m_strDetails ||
                          state.strCurrentUrl != m_strUrl || intItemBar != m_intItemBar ||
                          intTotalBar != m_intTotalBar || state.bWaitingForRetry != m_bWaiting;
    if (bChanged) {
        m_strDataAmount = std::move(strDataAmount);
        m_strDetails = std::move(strDetails);
        m_strUrl = state.strCurrentUrl;
        m_intItemBar = intItemBar;
        m_intTotalBar = intTotalBar;
        m_bWaiting = state.bWaitingForRetry;
    }
    return bChanged;
}

bool ProgressModel::Poll(const ProgressEngineState& state)
{
    return IsTickDue() && Tick(state);
}

ProgressModel::EngineRequest ProgressModel::OnCommand(Command command) const
{
    if (m_bFinished) {
        return EngineRequest::None;
    }
    switch (command) {
    case Command::SkipCurrent:
        return EngineRequest::SkipCurrent;
    case Command::SkipAll:
        return EngineRequest::SkipAll;
    default:
        return EngineRequest::None;
    }
}

}  // namespace pullbay::ui
