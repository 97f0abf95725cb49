#include "host/cli/RunEventSink.h"

#include <charconv>
#include <climits>
#include <iostream>
#include <string_view>

#include "core/TextUnits.h"
#include "host/protocol/EventLineSink.h"
#include "host/protocol/JsonLineWriter.h"
#include "host/protocol/JsonText.h"
#include "host/session/TerminalText.h"
#include "net/InternetErrors.h"
#include "pullbay/Events.h"

namespace pullbay::host {

namespace {

// A rejected line is shown up to this many characters: a list line may be
// long, the message must stay readable.
constexpr std::size_t kShownLineChars = 160;
// How the file list's failure describes the transfer's error code.
constexpr std::wstring_view kInternalErrorPrefix = L"Internal error code: ";

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

std::string Shown(std::wstring_view strText)
{
    if (strText.size() <= kShownLineChars) {
        return TerminalText::Of(strText);
    }
    return TerminalText::Of(strText.substr(0, kShownLineChars)) + "... (" +
           std::to_string(strText.size()) + " characters)";
}

// Why a file ended without an Error event to say so.
// strListedSize: the size as the list gave it, when known; the event's
// size is only its low 32 bits.
std::string ResultReason(std::int32_t intResult, const std::wstring& strMimeType,
                         std::int32_t intSize, const std::optional<std::wstring>& strListedSize)
{
    switch (intResult) {
    case api::ItemWrongContentType:
        return "the server's Content-Type is not the declared " + TerminalText::Of(strMimeType);
    case api::ItemWrongFileSize:
        return "the size is not the declared " +
               (strListedSize ? TerminalText::Of(*strListedSize)
                              : std::to_string(static_cast<std::uint32_t>(intSize))) +
               " bytes";
    case api::ItemSkipped:
    case api::ItemSuccess:
        return std::string();
    default:
        return "download error";
    }
}

// Why a file that failed without a reason could not be written, when its
// path (the folder and the name as listed, its sub-folders included) is
// past what the system allows; empty otherwise. The control raises no Error
// for a destination folder it cannot make.
std::string PathLimitReason(const std::wstring& strFolder, const std::wstring& strName)
{
    if (strFolder.empty() || strName.empty()) {
        return std::string();
    }
    std::wstring strPath = strFolder;
    if (strPath.back() != L'/') {
        strPath += L'/';
    }
    strPath += strName;
    std::size_t uintStart = 0;
    while (uintStart < strPath.size()) {
        std::size_t uintEnd = strPath.find_first_of(L"/\\", uintStart);
        if (uintEnd == std::wstring::npos) {
            uintEnd = strPath.size();
        }
        if (core::ToUtf8(std::wstring_view(strPath).substr(uintStart, uintEnd - uintStart)).size() >
            NAME_MAX) {
            return "a folder or file name in its path is longer than the system allows (" +
                   std::to_string(NAME_MAX) + " bytes)";
        }
        uintStart = uintEnd + 1;
    }
    if (core::ToUtf8(strPath).size() >= PATH_MAX) {
        return "its path is longer than the system allows (" + std::to_string(PATH_MAX - 1) +
               " bytes)";
    }
    return std::string();
}

// The transfer's error code in the file list's failure description.
std::optional<std::int32_t> InternalErrorCode(std::wstring_view strDescription)
{
    if (strDescription.substr(0, kInternalErrorPrefix.size()) != kInternalErrorPrefix) {
        return std::nullopt;
    }
    const std::string strDigits = core::ToUtf8(strDescription.substr(kInternalErrorPrefix.size()));
    std::int32_t intCode = 0;
    const char* pEnd = strDigits.data() + strDigits.size();
    const auto [pStop, error] = std::from_chars(strDigits.data(), pEnd, intCode);
    if (strDigits.empty() || error != std::errc() || pStop != pEnd) {
        return std::nullopt;
    }
    return intCode;
}

std::string Count(int intCount, const char* pOne, const char* pMany)
{
    return std::to_string(intCount) + ' ' + (intCount == 1 ? pOne : pMany);
}

}  // namespace

RunEventSink::RunEventSink(bool bJsonEvents, bool bTerminal)
    : RunEventSink(bJsonEvents, bTerminal, std::cerr)
{
}

RunEventSink::RunEventSink(bool bJsonEvents, bool bTerminal, std::ostream& errOut)
    : m_bJsonEvents(bJsonEvents), m_bTerminal(bTerminal), m_errOut(errOut)
{
}

HRESULT RunEventSink::Invoke(com::DISPID dispid, const std::vector<com::Variant>& args)
{
    if (m_bJsonEvents) {
        JsonLineWriter::Write(JsonText::EventLine(EventLineSink::EventName(dispid), args));
    }
    switch (static_cast<api::EventId>(dispid)) {
    case api::EventId::DownloadItemComplete:
        OnItemComplete(args);
        break;
    case api::EventId::DownloadComplete:
        m_completion = IntArg(args, 0);
        break;
    case api::EventId::DownloadStep:
        OnStep(IntArg(args, 0));
        break;
    case api::EventId::Error:
        OnError(args);
        break;
    default:
        break;
    }
    return S_OK;
}

void RunEventSink::OnStep(std::int32_t intStep)
{
    switch (intStep) {
    case api::StepStarted:
        m_bInRun = true;
        break;
    case api::StepFileListStarted:
        m_bListStage = true;
        break;
    case api::StepFileListReady:
        m_bListStage = false;
        break;
    default:
        break;
    }
}

void RunEventSink::OnError(const std::vector<com::Variant>& args)
{
    // (code, description, httpCode, page, url, index)
    const std::int32_t intCode = IntArg(args, 0);
    std::wstring strDescription = TextArg(args, 1);
    const char* pLineStart = m_bTerminal ? "\r\x1b[K" : "";
    if (!m_bInRun) {
        // DownloadFileAdd refusing a file the host added.
        m_refusal = std::move(strDescription);
        return;
    }
    if (m_bListStage && intCode >= api::ErrorCode::kBadListLine &&
        intCode <= api::ErrorCode::kDuplicateItem) {
        ++m_intRejected;
        std::string strReason;
        if (intCode == api::ErrorCode::kBadListLine) {
            strReason = ": not of the form MIME|SIZE|URL|NAME";
            m_bListLooksUtf16 =
                m_bListLooksUtf16 || strDescription.find(L'\0') != std::wstring::npos;
        } else if (intCode == api::ErrorCode::kNoAbsoluteUrl) {
            strReason = ": no absolute http or https URL";
        }
        m_errOut << pLineStart << "pullbay: file list line rejected" << strReason << ": "
                 << Shown(strDescription) << std::endl;
        return;
    }
    if (m_bListStage && IntArg(args, 5) < 0) {
        m_listFailure =
            ListFailure{intCode, std::move(strDescription), IntArg(args, 2), TextArg(args, 4)};
        return;
    }
    if (intCode == api::ErrorCode::kProtectedMoveFailed) {
        // A refused move out of the low-integrity folder leaves every file
        // undelivered, though each one was reported downloaded.
        m_bMoveFailed = true;
        m_errOut << pLineStart << "pullbay: the files could not be moved to their destination: "
                 << Shown(strDescription) << std::endl;
        return;
    }
    m_strItemReason = std::move(strDescription);
}

void RunEventSink::OnItemComplete(const std::vector<com::Variant>& args)
{
    // (downloadResult, page, url, fileName, mimeType, fileSize)
    const std::int32_t intResult = IntArg(args, 0);
    const char* pState = intResult == api::ItemSuccess   ? "done"
                         : intResult == api::ItemSkipped ? "skipped"
                                                         : "failed";
    // The line is made whole first: standard error is unbuffered, and each
    // piece would be a write of its own.
    std::string strLine = m_bTerminal ? "\r\x1b[K" : "";
    strLine.append(pState).append(" ").append(TerminalText::Of(TextArg(args, 3)));
    strLine.append(" (").append(TerminalText::Of(TextArg(args, 2))).append(")");
    // The events carry a size's low 32 bits and the name a file was written
    // under; the confirmed list has the size and the name as listed.
    std::optional<ui::ConfirmationRow> row;
    if (intResult == api::ItemWrongFileSize ||
        (intResult == api::ItemFailed && m_strItemReason.empty())) {
        row = ConfirmedRow(m_results.size());
    }
    if (intResult == api::ItemFailed && m_strItemReason.empty() && m_folder) {
        m_strItemReason =
            core::FromUtf8(PathLimitReason(m_folder(), row ? row->strFileName : TextArg(args, 3)));
    }
    if (intResult != api::ItemSuccess) {
        const std::string strReason =
            !m_strItemReason.empty()
                ? TerminalText::Of(m_strItemReason)
                : ResultReason(intResult, TextArg(args, 4), IntArg(args, 5),
                               row ? std::optional<std::wstring>(row->strFileSizeText)
                                   : std::nullopt);
        if (!strReason.empty()) {
            strLine.append(": ").append(strReason);
        }
    }
    strLine += '\n';
    m_errOut << strLine << std::flush;
    m_strItemReason.clear();
    m_results.push_back(intResult);
}

void RunEventSink::ListConfirmed(ui::ConfirmationRows rows, std::vector<bool> checked)
{
    m_confirmedRows = std::move(rows);
    m_confirmedChecked = std::move(checked);
    m_uintRowCursor = 0;
    m_uintRunCursor = 0;
}

std::optional<ui::ConfirmationRow> RunEventSink::ConfirmedRow(std::size_t uintRunIndex)
{
    // The run's files are the rows left checked, in order: one walk over the
    // rows serves every file of the run.
    for (; m_uintRowCursor < m_confirmedRows.size(); ++m_uintRowCursor) {
        const bool bChecked = m_uintRowCursor < m_confirmedChecked.size()
                                  ? m_confirmedChecked[m_uintRowCursor]
                                  : m_confirmedRows.IsChecked(m_uintRowCursor);
        if (!bChecked) {
            continue;
        }
        if (m_uintRunCursor == uintRunIndex) {
            return m_confirmedRows[m_uintRowCursor];
        }
        if (m_uintRunCursor > uintRunIndex) {
            break;
        }
        ++m_uintRunCursor;
    }
    return std::nullopt;
}

std::optional<std::wstring> RunEventSink::TakeRefusal()
{
    std::optional<std::wstring> refusal = std::move(m_refusal);
    m_refusal.reset();
    return refusal;
}

int RunEventSink::ExitCode() const
{
    if (!m_completion || *m_completion != api::CompletionSuccess) {
        return 2;
    }
    if (m_bMoveFailed || m_intRejected > 0) {
        return 1;
    }
    for (const std::int32_t intResult : m_results) {
        if (intResult != api::ItemSuccess) {
            return 1;
        }
    }
    return 0;
}

std::string RunEventSink::EndReason(bool bFolderGiven, bool bListNamed, RefusedList refused) const
{
    if (!m_completion) {
        return "pullbay: the run ended before it began";
    }
    switch (*m_completion) {
    case api::CompletionSuccess:
        return std::string();
    case api::CompletionFileListFailed: {
        if (!m_listFailure) {
            return "pullbay: fetching the file list was cancelled";
        }
        const std::optional<std::int32_t> code = InternalErrorCode(m_listFailure->strDescription);
        const std::wstring strWhy =
            code ? net::TransferFailureText(*code, m_listFailure->intHttpStatus)
                 : m_listFailure->strDescription;
        return "pullbay: the file list could not be fetched from " +
               TerminalText::Of(m_listFailure->strUrl) + ": " + TerminalText::Of(strWhy);
    }
    case api::CompletionNoFiles:
        if (m_intRejected > 0) {
            return "pullbay: no file to download: every line of the file list was rejected (" +
                   Count(m_intRejected, "line", "lines") + ")" +
                   (m_bListLooksUtf16 ? "; the list looks like UTF-16 text, and a file list "
                                        "must be UTF-8"
                                      : "");
        }
        if (bListNamed) {
            return "pullbay: no file to download: the file list is empty";
        }
        if (refused == RefusedList::LocalFile) {
            return "pullbay: no file to download: the FileList param is not an http or https "
                   "URL (local files are not read as lists)";
        }
        if (refused == RefusedList::NotAccepted) {
            return "pullbay: no file to download: the FileList param is not a URL the control "
                   "accepts (http or https, without user info)";
        }
        return "pullbay: no file to download: add files with --add or name a list with "
               "--param FileList=URL";
    case api::CompletionConfirmationCancelled:
        return "pullbay: the download was cancelled in the confirmation dialog";
    case api::CompletionNothingSelected:
        return "pullbay: no file was left selected in the confirmation dialog";
    case api::CompletionFolderCancelled:
        return bFolderGiven ? "pullbay: no destination folder was chosen"
                            : "pullbay: no destination folder was chosen (--dest DIR gives one)";
    default:
        return "pullbay: the run ended early (DownloadComplete " + std::to_string(*m_completion) +
               ")";
    }
}

std::string RunEventSink::Summary(const std::wstring& strFolder) const
{
    int intDone = 0;
    int intSkipped = 0;
    for (const std::int32_t intResult : m_results) {
        intDone += intResult == api::ItemSuccess ? 1 : 0;
        intSkipped += intResult == api::ItemSkipped ? 1 : 0;
    }
    const int intFailed = static_cast<int>(m_results.size()) - intDone - intSkipped;
    std::string strText = "pullbay: " + Count(intDone, "file", "files") + " downloaded, " +
                          std::to_string(intFailed) + " failed, " + std::to_string(intSkipped) +
                          " skipped";
    if (m_intRejected > 0) {
        strText += ", " + Count(m_intRejected, "entry", "entries") + " rejected";
    }
    if (m_bMoveFailed) {
        strText += "; the files were not moved to their destination";
    } else if (!strFolder.empty()) {
        strText += "; the files are in " + TerminalText::Of(strFolder);
    }
    return strText;
}

}  // namespace pullbay::host
