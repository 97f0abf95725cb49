#include "host/protocol/EventLineSink.h"

#include "host/protocol/JsonLineWriter.h"
#include "host/protocol/JsonText.h"
#include "pullbay/Events.h"

namespace pullbay::host {

EventLineSink::EventLineSink(std::function<void()> onInitComplete, Output output)
    : m_onInitComplete(std::move(onInitComplete)),
      m_output(output ? std::move(output) : Output(&JsonLineWriter::Write))
{
}

const wchar_t* EventLineSink::EventName(com::DISPID dispid)
{
    const api::EventDescription* pEvent = api::FindEvent(dispid);
    return pEvent != nullptr ? pEvent->strName : L"";
}

HRESULT EventLineSink::Invoke(com::DISPID dispid, const std::vector<com::Variant>& args)
{
    m_output(JsonText::EventLine(EventName(dispid), args));
    if (static_cast<api::EventId>(dispid) == api::EventId::InitComplete && m_onInitComplete) {
        m_onInitComplete();
    }
    return S_OK;
}

}  // namespace pullbay::host
