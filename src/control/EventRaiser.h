#pragma once
// Raises the control's events to the connected sinks, always on the GUI
// thread: an event raised on a worker is packed with copies of its arguments
// and carried over by the GUI-thread context provider. Events raised before
// Initialize (before the control's window exists) are dropped.
//
// Threads: the raising operations may be called on any thread once the
// control is initialised; Initialize, SilenceEvents, OpenEvents,
// FireInitComplete and the connection point belong to the GUI thread. Queued events hold only a
// weak token of the raiser, so an event still queued when the control goes is dropped.
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/NullableString.h"
#include "platform/com/Variant.h"
#include "pullbay/Events.h"
#include "tools/GuiThreadContextProvider.h"
#include "tools/WorkHolderBase.h"

namespace pullbay::control {

// Percent of a fraction, truncated toward zero: 0.999 gives 99. Fractions
// that are not finite or lie outside 0..1 give 0 or 100, so a bad statistic
// never turns into an out-of-range conversion.
inline std::uint32_t PercentFromFraction(double dblFraction)
{
    if (!std::isfinite(dblFraction) || dblFraction <= 0.0) {
        return 0;
    }
    if (dblFraction >= 1.0) {
        return 100;
    }
    return static_cast<std::uint32_t>(dblFraction * 100.0);
}

template <typename Control>
class EventRaiser {
public:
    EventRaiser() = default;
    EventRaiser(const EventRaiser&) = delete;
    EventRaiser& operator=(const EventRaiser&) = delete;
    virtual ~EventRaiser() = default;

    void Initialize(std::shared_ptr<tools::GuiThreadContextProvider> pProvider)
    {
        if (!pProvider) {
            core::RecordAndThrow(core::ArgumentNullPointerException(
                L"EventRaiser<class Pullbay>::Initialize", PB_SOURCE_FILE, __LINE__));
        }
        m_pProvider = std::move(pProvider);
    }

    // From now on nothing reaches the sinks, events already queued included
    // (the control's window has gone); OpenEvents lets them through again.
    void SilenceEvents() { m_pOpen->store(false); }
    void OpenEvents() { m_pOpen->store(true); }

    // The sinks of the event interface (GUI thread).
    com::ConnectionPoint& EventConnectionPoint() { return m_connectionPoint; }

    void DownloadComplete(api::DownloadCompletionType result)
    {
        Raise(api::EventId::DownloadComplete, false, {com::Variant::FromI4(result)});
    }

    void DownloadStep(api::DownloadStepType step)
    {
        Raise(api::EventId::DownloadStep, true, {com::Variant::FromI4(step)});
    }

    void DownloadFileCountChange() { Raise(api::EventId::DownloadFileCountChange, true, {}); }

    void Progress(std::uint32_t uintPercentTotal, std::uint32_t uintPercentCurrent,
                  std::int32_t intIndex)
    {
        Raise(api::EventId::Progress, false,
              {com::Variant::FromUI4(uintPercentTotal), com::Variant::FromUI4(uintPercentCurrent),
               com::Variant::FromI4(intIndex)});
    }

    // An event with its arguments, for RaiseInOrder.
    struct PendingEvent {
        api::EventId id;
        std::vector<com::Variant> args;
    };

    static PendingEvent DownloadItemCompleteEvent(api::DownloadItemCompleteType result,
                                                  const std::wstring& strPage,
                                                  const std::wstring& strUrl,
                                                  const std::wstring& strFileName,
                                                  const std::wstring& strMimeType,
                                                  std::uint32_t uintFileSize)
    {
        // The size travels as VT_I4 as the event's type description says.
        return {api::EventId::DownloadItemComplete,
                {com::Variant::FromI4(result), Text(strPage), Text(strUrl), Text(strFileName),
                 Text(strMimeType), com::Variant::FromI4(static_cast<std::int32_t>(uintFileSize))}};
    }

    static PendingEvent ErrorEvent(std::int32_t intCode, const std::wstring& strDescription,
                                   std::int32_t intHttpCode, const std::wstring& strPage,
                                   const std::wstring& strUrl, std::int32_t intIndex)
    {
        return {api::EventId::Error,
                {com::Variant::FromI4(intCode), Text(strDescription),
                 com::Variant::FromI4(intHttpCode), Text(strPage), Text(strUrl),
                 com::Variant::FromI4(intIndex)}};
    }

    void DownloadItemComplete(api::DownloadItemCompleteType result, const std::wstring& strPage,
                              const std::wstring& strUrl, const std::wstring& strFileName,
                              const std::wstring& strMimeType, std::uint32_t uintFileSize)
    {
        RaiseInOrder({DownloadItemCompleteEvent(result, strPage, strUrl, strFileName, strMimeType,
                                                uintFileSize)});
    }

    void Error(std::int32_t intCode, const std::wstring& strDescription, std::int32_t intHttpCode,
               const std::wstring& strPage, const std::wstring& strUrl, std::int32_t intIndex)
    {
        RaiseInOrder({ErrorEvent(intCode, strDescription, intHttpCode, strPage, strUrl, intIndex)});
    }

    // Fires the events in their order in one hand-off to the GUI thread; the
    // raising thread waits until the sinks ran. Events stop at once when the
    // control's window goes in the middle.
    void RaiseInOrder(std::vector<PendingEvent> events)
    {
        for ([[maybe_unused]] const PendingEvent& event : events) {
            assert(api::FindEvent(static_cast<std::int32_t>(event.id)) != nullptr &&
                   api::FindEvent(static_cast<std::int32_t>(event.id))->parameters.size() ==
                       event.args.size());
        }
        if (!m_pProvider || !m_pOpen->load() || events.empty()) {
            return;
        }
        std::weak_ptr<com::ConnectionPoint> pSinks = m_pSinksToken;
        auto pHolder = tools::MakeWorkHolder<1, long(const std::vector<PendingEvent>&)>(
            [pSinks, pOpen = m_pOpen](const std::vector<PendingEvent>& pending) -> long {
                long intResult = S_FALSE;
                for (const PendingEvent& event : pending) {
                    auto pConnectionPoint = pSinks.lock();
                    if (!pConnectionPoint || !pOpen->load()) {
                        return S_FALSE;
                    }
                    intResult =
                        pConnectionPoint->Fire(static_cast<com::DISPID>(event.id), event.args);
                }
                return intResult;
            },
            std::move(events));
        m_pProvider->CallFromGuiThread(pHolder, true);
    }

    // Fired directly on the GUI thread, not marshalled. S_FALSE (1) when no
    // sink took it (none connected, or the last one answered S_FALSE).
    HRESULT FireInitComplete()
    {
        return m_connectionPoint.Fire(static_cast<com::DISPID>(api::EventId::InitComplete), {});
    }

private:
    static com::Variant Text(const std::wstring& strText)
    {
        return com::Variant::FromString(com::NullableString(strText));
    }

    // Packs the event with copies of its arguments and hands it to the
    // GUI thread; bWait: the raising thread waits until the sinks ran.
    void Raise(api::EventId id, bool bWait, std::vector<com::Variant> arguments)
    {
        assert(api::FindEvent(static_cast<std::int32_t>(id)) != nullptr &&
               api::FindEvent(static_cast<std::int32_t>(id))->parameters.size() ==
                   arguments.size());
        if (!m_pProvider || !m_pOpen->load()) {
            return;
        }
        std::weak_ptr<com::ConnectionPoint> pSinks = m_pSinksToken;
        auto pHolder = tools::MakeWorkHolder<2, long(api::EventId, std::vector<com::Variant>)>(
            [pSinks, pOpen = m_pOpen](api::EventId event, std::vector<com::Variant> args) -> long {
                auto pConnectionPoint = pSinks.lock();
                if (pConnectionPoint && pOpen->load()) {
                    return pConnectionPoint->Fire(static_cast<com::DISPID>(event), args);
                }
                return S_FALSE;
            },
            id, std::move(arguments));
        m_pProvider->CallFromGuiThread(pHolder, bWait);
    }

    com::ConnectionPoint m_connectionPoint;
    // Aliases the connection point with the raiser's lifetime: queued
    // holders lock it on the GUI thread and find nothing once it is gone.
    std::shared_ptr<com::ConnectionPoint> m_pSinksToken{std::make_shared<int>(0),
                                                        &m_connectionPoint};
    std::shared_ptr<tools::GuiThreadContextProvider> m_pProvider;
    // Shared with queued events, which look at it when they reach the GUI
    // thread.
    const std::shared_ptr<std::atomic<bool>> m_pOpen = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace pullbay::control
