#pragma once
// The tests' one receiver of the control's events: it keeps every event with
// its arguments in order, and a line per event of a run's frame ("step 3",
// "complete 0", "count", "item 0", "error 304 5"; progress is counted, not
// lined) with the Error events' descriptions apart. A hook sees each event
// as it arrives; the answer is the HRESULT Invoke returns. GUI thread only,
// as the control raises its events there.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/IDispatchSink.h"
#include "pullbay/Events.h"

namespace pullbay::test {

class RecordingEventSink : public com::IDispatchSink {
public:
    struct Event {
        com::DISPID dispid;
        std::vector<com::Variant> args;
    };

    explicit RecordingEventSink(HRESULT hrAnswer = S_OK) : m_hrAnswer(hrAnswer) {}

    HRESULT Invoke(com::DISPID dispid, const std::vector<com::Variant>& args) override
    {
        events.push_back({dispid, args});
        switch (static_cast<api::EventId>(dispid)) {
        case api::EventId::DownloadStep:
            lines.push_back("step " + std::to_string(args[0].I4()));
            break;
        case api::EventId::DownloadComplete:
            lines.push_back("complete " + std::to_string(args[0].I4()));
            break;
        case api::EventId::DownloadFileCountChange:
            lines.push_back("count");
            break;
        case api::EventId::DownloadItemComplete:
            lines.push_back("item " + std::to_string(args[0].I4()));
            break;
        case api::EventId::Error:
            lines.push_back("error " + std::to_string(args[0].I4()) + " " +
                            std::to_string(args[5].I4()));
            errorTexts.push_back(args[1].String().Value());
            break;
        case api::EventId::Progress:
            ++intProgress;
            break;
        default:
            break;
        }
        if (onEvent) {
            onEvent(static_cast<api::EventId>(dispid), args);
        }
        return m_hrAnswer;
    }

    int Count(api::EventId id) const
    {
        int intCount = 0;
        for (const auto& event : events) {
            intCount += event.dispid == static_cast<com::DISPID>(id) ? 1 : 0;
        }
        return intCount;
    }
    // The lines that start with strPrefix.
    int Count(const std::string& strPrefix) const
    {
        int intCount = 0;
        for (const auto& line : lines) {
            intCount += line.rfind(strPrefix, 0) == 0 ? 1 : 0;
        }
        return intCount;
    }
    // The lines without item and error entries: the run's frame.
    std::vector<std::string> Frame() const
    {
        std::vector<std::string> frame;
        for (const auto& line : lines) {
            if (line.rfind("item", 0) != 0 && line.rfind("error", 0) != 0) {
                frame.push_back(line);
            }
        }
        return frame;
    }
    // The lines from the first that starts with strFirst on, without item
    // and count entries.
    std::vector<std::string> After(const std::string& strFirst) const
    {
        std::vector<std::string> tail;
        bool bFound = false;
        for (const auto& line : lines) {
            bFound = bFound || line.rfind(strFirst, 0) == 0;
            if (bFound && line.rfind("item", 0) != 0 && line != "count") {
                tail.push_back(line);
            }
        }
        return tail;
    }
    // The results of the DownloadComplete events, in order.
    std::vector<std::int32_t> Completions() const
    {
        std::vector<std::int32_t> results;
        for (const auto& event : events) {
            if (event.dispid == static_cast<com::DISPID>(api::EventId::DownloadComplete)) {
                results.push_back(event.args[0].I4());
            }
        }
        return results;
    }

    std::vector<Event> events;
    std::vector<std::string> lines;
    std::vector<std::wstring> errorTexts;
    int intProgress = 0;
    std::function<void(api::EventId, const std::vector<com::Variant>&)> onEvent;

private:
    HRESULT m_hrAnswer;
};

}  // namespace pullbay::test
