#pragma once
// The control's events as JSON lines (on standard output unless the host
// gives another output), in the order the control fires them; InitComplete
// also tells the host that requests may now be served. GUI thread only.
#include <functional>
#include <string_view>

#include "platform/com/IDispatchSink.h"

namespace pullbay::host {

class EventLineSink : public com::IDispatchSink {
public:
    using Output = std::function<void(std::string_view)>;

    explicit EventLineSink(std::function<void()> onInitComplete, Output output = {});

    HRESULT Invoke(com::DISPID dispid, const std::vector<com::Variant>& args) override;

    // The event's name for a DISPID of the event interface ("" when unknown).
    static const wchar_t* EventName(com::DISPID dispid);

private:
    std::function<void()> m_onInitComplete;
    Output m_output;
};

}  // namespace pullbay::host
