#include "engine/FileListRetrieval.h"

#include <charconv>
#include <utility>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "engine/DownloadWork.h"

namespace pullbay::engine {

namespace {

std::wstring InternalErrorText(int intErrorCode)
{
    // Locale-free: the process locale may group digits.
    char buffer[16];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, intErrorCode);
    std::wstring strText = L"Internal error code: ";
    strText.append(buffer, converted.ptr);
    return strText;
}

}  // namespace

std::shared_ptr<FileListRetrieval> FileListRetrieval::Create(
    std::wstring strListUrl, std::wstring strCookieText, std::wstring strPageAddress,
    int intTimeOut, std::uint32_t uintReconnectAttempts, std::uint32_t uintReconnectWaitMs,
    std::shared_ptr<IFileListSink> pSink)
{
    if (!pSink) {
        PB_THROW(core::ArgumentNullPointerException, L"pSink");
    }
    std::shared_ptr<FileListRetrieval> pRetrieval(
        new FileListRetrieval(std::move(strListUrl), std::move(pSink)));
    net::WInetDownloader& transfer = pRetrieval->m_transfer;
    transfer.SetTimeOut(intTimeOut);
    transfer.SetReconnectAttemptsCount(uintReconnectAttempts);
    transfer.SetReconnectTimeOut(uintReconnectWaitMs);
    transfer.SetCookieText(std::move(strCookieText));
    transfer.SetCookieOrigin(std::move(strPageAddress));
    // A server may compress a text; the size limit counts the decoded bytes.
    transfer.SetDecodeContentEncoding(true);
    transfer.SetDownloadEvents(pRetrieval.get());
    transfer.SetDirectEvents(pRetrieval.get());
    // The transfer is a member: the stop condition never outlives this.
    FileListRetrieval* pSelf = pRetrieval.get();
    transfer.SetStopCondition(
        [pSelf] { return pSelf->IsCancelled() || pSelf->m_bTooLarge.load(); });
    return pRetrieval;
}

FileListRetrieval::FileListRetrieval(std::wstring strListUrl, std::shared_ptr<IFileListSink> pSink)
    : m_strListUrl(std::move(strListUrl)), m_parser(m_strListUrl), m_pSink(std::move(pSink))
{
}

FileListRetrieval::~FileListRetrieval() = default;

std::shared_ptr<DownloadWork> FileListRetrieval::CreateWork()
{
    return std::make_shared<DownloadWork>(shared_from_this());
}

void FileListRetrieval::Run()
{
    if (m_bStarted.exchange(true) || IsCancelled()) {
        return;
    }
    try {
        const net::TransferOutcome outcome = m_transfer.Download(m_strListUrl.c_str());
        if (outcome.bCallbackFailed) {
            // Recorded for the thread where it happened; the owner only
            // needs the end.
            End(IFileListSink::kResultFailed);
        } else if (outcome.bSucceeded) {
            Complete();
        } else {
            Fail(outcome);
        }
    } catch (...) {
        // The owner waits for Ended; an exception must not leave it waiting.
        End(IFileListSink::kResultFailed);
        throw;
    }
}

void FileListRetrieval::Cancel()
{
    std::shared_ptr<IFileListSink> pReleased;
    {
        std::lock_guard lock(m_mutex);
        m_bCancelled.store(true);
        pReleased = std::move(m_pSink);
    }
    // The sink may go here, outside the lock: its destructor may do anything.
}

std::shared_ptr<IFileListSink> FileListRetrieval::SinkForCall() const
{
    std::lock_guard lock(m_mutex);
    return m_pSink;
}

std::shared_ptr<IFileListSink> FileListRetrieval::SinkForEnd()
{
    std::lock_guard lock(m_mutex);
    return std::move(m_pSink);
}

void FileListRetrieval::Deliver(FileListBatch batch)
{
    if (batch.Empty()) {
        return;
    }
    if (const auto pSink = SinkForCall()) {
        pSink->AddBatch(std::move(batch));
    }
}

void FileListRetrieval::End(std::int32_t intResult)
{
    if (const auto pSink = SinkForEnd()) {
        pSink->Ended(intResult);
    }
}

net::TransferVerdict FileListRetrieval::DownloadProgress(std::int64_t intPosition,
                                                         std::int64_t intDeclaredLength)
{
    // Progress only drives a bar: a failing sink must not end the transfer.
    try {
        if (const auto pSink = SinkForCall()) {
            pSink->Progress(intPosition, intDeclaredLength);
        }
    } catch (const core::Exception& failure) {
        core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
    } catch (...) {
        core::RecordForeignFailure();
    }
    return net::TransferVerdict::Continue();
}

void FileListRetrieval::FailTooLarge()
{
    if (const auto pSink = SinkForCall()) {
        pSink->RetrievalFailed(kErrorTransferFailed,
                               L"The file list is larger than " + std::to_wstring(m_uintMaxBytes) +
                                   L" bytes",
                               kHttpOk, L"", m_strListUrl);
    }
    End(IFileListSink::kResultFailed);
}

void FileListRetrieval::Complete()
{
    if (m_bTooLarge.load()) {
        // The body ended before the transfer saw the stop.
        FailTooLarge();
        return;
    }
    if (!IsCancelled()) {
        Deliver(m_parser.Finish());
    }
    End(IFileListSink::kResultComplete);
}

void FileListRetrieval::Fail(const net::TransferOutcome& outcome)
{
    if (m_bTooLarge.load()) {
        FailTooLarge();
        return;
    }
    std::int32_t intCode = kErrorTransferFailed;
    if (outcome.intHttpStatus == kHttpNotFound) {
        intCode = kErrorNotFound;
    } else if (outcome.intErrorCode == kNameNotResolved) {
        intCode = kErrorHostNotResolved;
    }
    if (const auto pSink = SinkForCall()) {
        pSink->RetrievalFailed(intCode, InternalErrorText(outcome.intErrorCode),
                               outcome.intHttpStatus, outcome.strResponseText, m_strListUrl);
    }
    // Lines already delivered stay in the list.
    End(IFileListSink::kResultFailed);
}

net::TransferVerdict FileListRetrieval::MimeTypeAvailable(const std::wstring& /*strMimeType*/)
{
    // A list may come with any content type.
    return net::TransferVerdict::Continue();
}

void FileListRetrieval::WaitingForReconnect()
{
}

void FileListRetrieval::DataReceived(const char* pData, unsigned uintSize)
{
    if (IsCancelled() || m_bTooLarge.load()) {
        return;
    }
    // Lines within the limit are read; the transfer stops at its next poll.
    const std::uint64_t uintAllowed = m_uintMaxBytes - m_uintReceived;
    if (uintSize > uintAllowed) {
        m_bTooLarge.store(true);
        uintSize = static_cast<unsigned>(uintAllowed);
    }
    m_uintReceived += uintSize;
    Deliver(m_parser.Consume(pData, uintSize));
}

}  // namespace pullbay::engine
