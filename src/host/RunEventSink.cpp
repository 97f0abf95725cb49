#include "host/RunEventSink.h"

#include <iostream>

#include "core/TextUnits.h"
#include "host/JsonLineWriter.h"
#include "host/JsonText.h"
#include "pullbay/Events.h"

namespace pullbay::host {

namespace {

std::wstring TextArg(const std::vector<com::Variant>& args, std::size_t uintIndex)
{
    if (uintIndex < args.size() && args[uintIndex].Type() == com::VarType::BStr) {
        return args[uintIndex].String().Value();
    }
    return std::wstring();
}

std::int32_t IntArg(const std::vector<com::Variant>& args, std::size_t uintIndex)
{
    if (uintIndex < args.size() && args[uintIndex].Type() == com::VarType::I4) {
        return args[uintIndex].I4();
    }
    return 0;
}

}  // namespace

RunEventSink::RunEventSink(bool bJsonEvents, bool bTerminal)
    : m_bJsonEvents(bJsonEvents), m_bTerminal(bTerminal)
{
}

const wchar_t* RunEventSink::EventName(com::DISPID dispid)
{
    const api::EventDescription* pEvent = api::FindEvent(dispid);
    return pEvent != nullptr ? pEvent->strName : L"";
}

HRESULT RunEventSink::Invoke(com::DISPID dispid, const std::vector<com::Variant>& args)
{
    if (m_bJsonEvents) {
        JsonLineWriter::Write(JsonText::EventLine(EventName(dispid), args));
    }
    switch (static_cast<api::EventId>(dispid)) {
    case api::EventId::DownloadItemComplete: {
        // (downloadResult, page, url, fileName, mimeType, fileSize)
        const std::int32_t intResult = IntArg(args, 0);
        const char* pState = intResult == api::ItemSuccess   ? "done"
                             : intResult == api::ItemSkipped ? "skipped"
                                                             : "failed";
        std::cerr << (m_bTerminal ? "\r\x1b[K" : "") << pState << ' '
                  << core::ToUtf8(TextArg(args, 3)) << " (" << core::ToUtf8(TextArg(args, 2)) << ')'
                  << std::endl;
        m_results.push_back(intResult);
        break;
    }
    case api::EventId::DownloadComplete:
        m_completion = IntArg(args, 0);
        break;
    case api::EventId::Error:
        // (code, description, httpCode, page, url, index): a refused move
        // out of the low-integrity folder leaves every file undelivered,
        // though each one was reported downloaded.
        if (IntArg(args, 0) == api::ErrorCode::kProtectedMoveFailed) {
            m_bMoveFailed = true;
        }
        break;
    default:
        break;
    }
    return S_OK;
}

int RunEventSink::ExitCode() const
{
    if (!m_completion || *m_completion != api::CompletionSuccess) {
        return 2;
    }
    if (m_bMoveFailed) {
        return 1;
    }
    for (const std::int32_t intResult : m_results) {
        if (intResult != api::ItemSuccess) {
            return 1;
        }
    }
    return 0;
}

}  // namespace pullbay::host
