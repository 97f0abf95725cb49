// A request line of "serve", as a client script may write it, through the
// same steps as the program: the JSON parse, the request check and the
// dispatch to the control's members with the values converted to their
// automation types. Besides not crashing, every reply is one line holding
// one JSON object with the request's id and an HRESULT. Download and
// DownloadFileList are left out (they would fetch and run); the list is
// cleared after each input so it cannot grow without bound. One control
// for the whole run, in an offscreen Qt application made once.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "OffscreenApplication.h"
#include "host/protocol/RequestDispatcher.h"
#include "module/PullbayObject.h"
#include "platform/com/ComInterfaces.h"

namespace {

using pullbay::Failed;
using pullbay::HRESULT;
using pullbay::S_OK;
using pullbay::Succeeded;
using pullbay::com::ComPtr;
using pullbay::com::IDispatch;
using pullbay::host::RequestDispatcher;

ComPtr<IDispatch>& Control()
{
    static ComPtr<IDispatch>* pControl = [] {
        void* pv = nullptr;
        PB_FUZZ_CHECK(
            Succeeded(pullbay::module::PullbayObject::Create(pullbay::com::IID_IDispatch, &pv)));
        return new ComPtr<IDispatch>(ComPtr<IDispatch>::Attach(static_cast<IDispatch*>(pv)));
    }();
    return *pControl;
}

void CheckReply(const std::string& strReply)
{
    PB_FUZZ_CHECK(strReply.find('\n') == std::string::npos);
    const QJsonDocument reply = QJsonDocument::fromJson(QByteArray::fromStdString(strReply));
    PB_FUZZ_CHECK(reply.isObject());
    PB_FUZZ_CHECK(reply.object().contains("id") && reply.object().value("hr").isDouble());
}

// The members that start network work or a run.
bool StartsWork(const QJsonObject& request)
{
    if (!request.value("call").isString()) {
        return false;
    }
    pullbay::com::DISPID dispid = 0;
    if (Failed(Control()->GetIDsOfNames(request.value("call").toString().toStdWString(), dispid))) {
        return false;
    }
    for (const wchar_t* pName : {L"Download", L"DownloadFileList"}) {
        pullbay::com::DISPID dispidWork = 0;
        if (Succeeded(Control()->GetIDsOfNames(pName, dispidWork)) && dispidWork == dispid) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*pArgc*/, char*** /*pArgv*/)
{
    pullbay::fuzz::StartOffscreenApplication("fuzz_serve_request");
    Control();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uintSize)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(reinterpret_cast<const char*>(pData), static_cast<qsizetype>(uintSize)), &error);
    if (!document.isObject()) {
        CheckReply(RequestDispatcher::InvalidRequestReply(
            "null", "not JSON: " + error.errorString().toStdString()));
        return 0;
    }
    const QJsonObject request = document.object();
    const std::string strId = RequestDispatcher::IdJson(
        request, std::string_view(reinterpret_cast<const char*>(pData), uintSize));
    if (request.contains("answer")) {
        return 0;  // an answer to a dialog: none is open here
    }
    if (!RequestDispatcher::IsRequest(request)) {
        CheckReply(RequestDispatcher::InvalidRequestReply(strId, "not a request"));
        return 0;
    }
    if (StartsWork(request)) {
        return 0;
    }
    RequestDispatcher dispatcher(Control());
    CheckReply(dispatcher.Handle(request, strId));
    dispatcher.CallMethod(L"ClearFileList");
    return 0;
}
