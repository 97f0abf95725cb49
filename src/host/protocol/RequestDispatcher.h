#pragma once
// One request of the automation protocol against the control's dispatch
// interface: {"get"|"put"|"call": member, "index", "value", "args"} becomes
// GetIDsOfNames + Invoke with the JSON values converted to the automation
// types the member declares; the reply line carries the id, the HRESULT, the
// value when the member returned one and the rich error text when the
// control set one. GUI thread, like every call into the control.
#include <QJsonObject>

#include <string>
#include <string_view>

#include "platform/com/ComInterfaces.h"
#include "platform/com/IUnknown.h"

namespace pullbay::host {

class RequestDispatcher {
public:
    explicit RequestDispatcher(com::ComPtr<com::IDispatch> pControl);

    // Whether the object is a request this class handles.
    static bool IsRequest(const QJsonObject& request);
    // The id as JSON (a string or a number), null when missing or of another
    // type. A number is kept as strMessage (the request's text) writes it:
    // as a double it would lose digits past 2^53.
    static std::string IdJson(const QJsonObject& request, std::string_view strMessage);
    // An error reply with E_INVALIDARG.
    static std::string InvalidRequestReply(const std::string& strIdJson,
                                           const std::string& strError);

    // The reply line, with strIdJson (IdJson) as its id. Calls that run a
    // download return when it has ended.
    std::string Handle(const QJsonObject& request, const std::string& strIdJson);
    // Invokes a method without arguments (SkipAll at the end of input).
    HRESULT CallMethod(std::wstring_view strName);

private:
    com::ComPtr<com::IDispatch> m_pControl;
};

}  // namespace pullbay::host
