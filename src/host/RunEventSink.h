#pragma once
// Receives the control's events during "run": writes each event as a JSON
// line (with --events), a progress line per finished file on standard
// error, and keeps the files' results for the run's outcome.
// GUI thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/IDispatchSink.h"

namespace pullbay::host {

class RunEventSink : public com::IDispatchSink {
public:
    // bTerminal: standard error shows a live bar that each line replaces.
    explicit RunEventSink(bool bJsonEvents, bool bTerminal = false);

    HRESULT Invoke(com::DISPID dispid, const std::vector<com::Variant>& args) override;

    // The DownloadComplete result, once it came.
    std::optional<std::int32_t> Completion() const { return m_completion; }
    // 0 all files downloaded, 1 completed with files not downloaded (or not
    // moved to the destination), 2 ended early.
    int ExitCode() const;
    // The event's name for a DISPID of the event interface ("" when unknown).
    static const wchar_t* EventName(com::DISPID dispid);

private:
    bool m_bJsonEvents;
    bool m_bTerminal;
    std::vector<std::int32_t> m_results;
    std::optional<std::int32_t> m_completion;
    bool m_bMoveFailed = false;
};

}  // namespace pullbay::host
