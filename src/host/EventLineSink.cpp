#include "host/EventLineSink.h"

#include "host/JsonLineWriter.h"
#include "host/JsonText.h"
#include "host/RunEventSink.h"
#include "pullbay/Events.h"

namespace pullbay::host {

EventLineSink::EventLineSink(std::function<void()> onInitComplete)
    : m_onInitComplete(std::move(onInitComplete))
{
}

HRESULT EventLineSink::Invoke(com::DISPID dispid, const std::vector<com::Variant>& args)
{
    JsonLineWriter::Write(JsonText::EventLine(RunEventSink::EventName(dispid), args));
    if (static_cast<api::EventId>(dispid) == api::EventId::InitComplete && m_onInitComplete) {
        m_onInitComplete();
    }
    return S_OK;
}

}  // namespace pullbay::host
