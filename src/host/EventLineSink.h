#pragma once
// The control's events as JSON lines on standard output, in the order the
// control fires them; InitComplete also tells the host that requests may now
// be served. GUI thread only.
#include <functional>

#include "platform/com/IDispatchSink.h"

namespace pullbay::host {

class EventLineSink : public com::IDispatchSink {
public:
    explicit EventLineSink(std::function<void()> onInitComplete);

    HRESULT Invoke(com::DISPID dispid, const std::vector<com::Variant>& args) override;

private:
    std::function<void()> m_onInitComplete;
};

}  // namespace pullbay::host
