#include "host/RunEventSink.h"

#include <iostream>

#include "control/EventTypes.h"
#include "core/TextUnits.h"
#include "host/JsonLineWriter.h"
#include "host/JsonText.h"

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

RunEventSink::RunEventSink(bool bJsonEvents, std::wstring strDestination, bool bTerminal)
    : m_bJsonEvents(bJsonEvents), m_bTerminal(bTerminal), m_strDestination(std::move(strDestination))
{
}

const wchar_t* RunEventSink::EventName(com::DISPID dispid)
{
    switch (static_cast<control::EventId>(dispid)) {
    case control::EventId::DownloadComplete:
        return L"DownloadComplete";
    case control::EventId::DownloadItemComplete:
        return L"DownloadItemComplete";
    case control::EventId::DownloadStep:
        return L"DownloadStep";
    case control::EventId::InitComplete:
        return L"InitComplete";
    case control::EventId::Progress:
        return L"Progress";
    case control::EventId::Error:
        return L"Error";
    case control::EventId::DownloadFileCountChange:
        return L"DownloadFileCountChange";
    }
    return L"";
}

HRESULT RunEventSink::Invoke(com::DISPID dispid, const std::vector<com::Variant>& args)
{
    if (m_bJsonEvents) {
        JsonLineWriter::Write(JsonText::EventLine(EventName(dispid), args));
    }
    switch (static_cast<control::EventId>(dispid)) {
    case control::EventId::DownloadItemComplete: {
        // (result, page, url, file name, MIME type, size)
        ui::DownloadLogRow row;
        row.intResult = IntArg(args, 0);
        row.strUrl = TextArg(args, 2);
        row.strFileName = TextArg(args, 3);
        row.strDestinationFolder = m_strDestination;
        row.strDestinationFileName = row.strFileName;
        row.strDeclaredMimeType = TextArg(args, 4);
        const std::int32_t intSize = IntArg(args, 5);
        row.uintDeclaredSize = intSize > 0 ? static_cast<std::uint64_t>(intSize) : 0;
        const char* pState = row.intResult == control::ItemSuccess   ? "done"
                             : row.intResult == control::ItemSkipped ? "skipped"
                                                                     : "failed";
        std::cerr << (m_bTerminal ? "\r\x1b[K" : "") << pState << ' ' << core::ToUtf8(row.strFileName) << " (" << core::ToUtf8(row.strUrl)
                  << ')' << std::endl;
        m_rows.push_back(std::move(row));
        break;
    }
    case control::EventId::DownloadComplete:
        m_completion = IntArg(args, 0);
        break;
    default:
        break;
    }
    return S_OK;
}

int RunEventSink::ExitCode() const
{
    if (!m_completion || *m_completion != control::CompletionSuccess) {
        return 2;
    }
    for (const ui::DownloadLogRow& row : m_rows) {
        if (row.intResult != control::ItemSuccess) {
            return 1;
        }
    }
    return 0;
}

std::vector<std::wstring> RunEventSink::LogLines(const ui::DownloadLogTexts& texts) const
{
    ui::DownloadLogModel model(m_rows, texts, false, m_strDestination);
    std::vector<std::wstring> lines;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        lines.push_back(model.GetItemString(static_cast<std::int64_t>(i)));
    }
    return lines;
}

}  // namespace pullbay::host
