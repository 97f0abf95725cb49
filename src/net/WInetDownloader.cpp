#include "net/WInetDownloader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <curl/curl.h>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "core/Win32Errors.h"
#include "net/BlockWriter.h"
#include "net/CurlErrorMapping.h"
#include "net/CurlSession.h"
#include "net/HttpExchange.h"
#include "net/IDownloadDirectEvents.h"
#include "net/IDownloadEvents.h"
#include "net/InternetErrors.h"
#include "net/UrlComponents.h"
#include "net/UrlEncoding.h"
#include "net/UrlFunctions.h"

namespace pullbay::net {

namespace {

bool IsFollowedRedirect(int intStatus)
{
    return intStatus == 301 || intStatus == 302 || intStatus == 303 || intStatus == 307 ||
           intStatus == 308;
}

// The absolute target of a Location header, or nullopt when it is not an
// http or https URL (such a redirect is not followed; its response is final).
std::optional<std::string> ResolveRedirect(const std::string& strBase,
                                           const std::string& strLocation)
{
    struct UrlDeleter {
        void operator()(CURLU* pUrl) const { curl_url_cleanup(pUrl); }
    };
    std::unique_ptr<CURLU, UrlDeleter> pUrl(curl_url());
    if (!pUrl) {
        return std::nullopt;
    }
    const std::string strEncoded = PercentEncodeForTransfer(core::FromUtf8(strLocation));
    if (curl_url_set(pUrl.get(), CURLUPART_URL, strBase.c_str(), 0) != CURLUE_OK ||
        curl_url_set(pUrl.get(), CURLUPART_URL, strEncoded.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
            CURLUE_OK) {
        return std::nullopt;
    }
    char* strScheme = nullptr;
    char* strTarget = nullptr;
    std::optional<std::string> result;
    if (curl_url_get(pUrl.get(), CURLUPART_SCHEME, &strScheme, 0) == CURLUE_OK &&
        (core::EqualsIgnoreAsciiCase(strScheme, "http") ||
         core::EqualsIgnoreAsciiCase(strScheme, "https")) &&
        curl_url_get(pUrl.get(), CURLUPART_URL, &strTarget, 0) == CURLUE_OK) {
        result = strTarget;
    }
    curl_free(strScheme);
    curl_free(strTarget);
    return result;
}

bool IsHttpsUrl(std::string_view strUrl)
{
    return core::EqualsIgnoreAsciiCase(strUrl.substr(0, 8), "https://");
}

// A body sent in a content coding other than the identity.
bool IsContentEncoded(const HttpResponseHead& head)
{
    const auto coding = head.Header("Content-Encoding");
    return coding && !coding->empty() && !core::EqualsIgnoreAsciiCase(*coding, "identity");
}

// A validator that If-Range accepts: a strong ETag, else Last-Modified.
std::string ResumeValidator(const HttpResponseHead& head)
{
    if (auto etag = head.Header("ETag"); etag && !etag->empty() && etag->rfind("W/", 0) != 0) {
        return *etag;
    }
    return head.Header("Last-Modified").value_or(std::string());
}

// Records the exception being handled for the thread: a callback's failure
// ends the transfer, and the record says what it was.
void RecordCallbackFailure()
{
    try {
        throw;
    } catch (const core::Exception& failure) {
        core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
    } catch (...) {
        core::RecordForeignFailure();
    }
}

void RecordDiskFull()
{
    core::FileSystemException failure(L"WInetDownloader::RequestDownload", PB_SOURCE_FILE, __LINE__,
                                      HResultFromWin32(core::kWin32DiskFull), L"Disk is full");
    core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
}

}  // namespace

// The read loop of one response: positions the body, writes it to the
// stream, feeds the raw listener, collects an error body as text and reports
// progress after every read.
class WInetDownloader::ResponseReader final : public IHttpExchangeHandler {
public:
    enum class Next { Finish, Follow, RestartWithoutRange, Refuse };

    ResponseReader(WInetDownloader& owner, AttemptState& state, const std::string& strUrl,
                   bool bSentRange)
        : m_owner(owner), m_state(state), m_strUrl(strUrl), m_bSentRange(bSentRange)
    {
        if (owner.m_pOutputStream != nullptr) {
            m_writer.emplace(*owner.m_pOutputStream, kWriteBlockBytes);
        }
    }

    BodyDisposition OnResponseHead(const HttpResponseHead& head) override
    {
        m_state.intHttpStatus = head.intStatus;
        if (IsFollowedRedirect(head.intStatus)) {
            if (auto location = head.Header("Location")) {
                if (auto target = ResolveRedirect(m_strUrl, *location)) {
                    // The URL asked for a protected transfer: a redirect
                    // must not quietly take the body over plain http.
                    if (IsHttpsUrl(m_strUrl) && !IsHttpsUrl(*target)) {
                        m_state.intErrorCode = kInternetHttpsToHttpOnRedirect;
                        m_next = Next::Refuse;
                        return BodyDisposition::Discard;
                    }
                    m_next = Next::Follow;
                    m_strNextUrl = *target;
                    return BodyDisposition::Discard;
                }
            }
        }

        // A decoded body is longer than the encoded length declared.
        const bool bDecoded = m_owner.m_bDecodeContentEncoding && IsContentEncoded(head);
        std::int64_t intDeclared = bDecoded ? 0 : head.ContentLength().value_or(0);
        bool bPartial = false;
        if (m_bSentRange && head.intStatus == 416) {
            m_next = Next::RestartWithoutRange;
            return BodyDisposition::Discard;
        }
        if (m_bSentRange && head.intStatus == 206) {
            const auto range = ParseContentRange(head.Header("Content-Range").value_or(""));
            // A tail continues the file only if it is of the same version:
            // a server that ignores If-Range and sends another version's
            // tail would splice two versions into one file.
            if (!range || range->intFirst != m_state.intResumePosition ||
                ResumeValidator(head) != m_owner.m_resumeHints.strValidator) {
                m_next = Next::RestartWithoutRange;
                return BodyDisposition::Discard;
            }
            // The tail continues the body: callers see a 200 of the whole length.
            bPartial = true;
            m_state.intHttpStatus = 200;
            intDeclared = range->intTotal > 0 ? range->intTotal : 0;
        }
        m_intDeclaredLength = intDeclared;

        if (m_state.intHttpStatus == 200) {
            ResumeHints& hints = m_owner.m_resumeHints;
            hints.strValidator = ResumeValidator(head);
            hints.bAcceptsRanges =
                !bDecoded && (bPartial || core::EqualsIgnoreAsciiCase(
                                              head.Header("Accept-Ranges").value_or(""), "bytes"));
            const auto contentType = head.Header("Content-Type");
            hints.bHadContentType = contentType.has_value();
            if (!m_state.bFirstResponseSeen) {
                m_state.bFirstResponseSeen = true;
                m_state.strETag = head.Header("ETag").value_or(std::string());
                m_state.strLastModified = head.Header("Last-Modified").value_or(std::string());
            }
            if (contentType) {
                std::wstring strType = core::FromUtf8(*contentType);
                m_state.strMimeType = strType;
                if (!Apply(Ask([&] {
                        return m_owner.m_pDownloadCallbackInfo->MimeTypeAvailable(strType);
                    }))) {
                    return BodyDisposition::Stop;
                }
            } else if (bPartial) {
                // Without a type every attempt starts at 0: ask again for the whole body.
                m_next = Next::RestartWithoutRange;
                return BodyDisposition::Discard;
            }
        }
        // A body that starts at byte 0 is written from byte 0: nothing but a
        // validated tail may continue the bytes of an earlier attempt (the
        // whole body arrives anyway, and without a validator nothing tells
        // that it is the same version).
        if (!bPartial) {
            m_state.intResumePosition = 0;
            if (!Rewind()) {
                m_bStreamFailed = true;
                return BodyDisposition::Discard;
            }
        }
        return BodyDisposition::Read;
    }

    ~ResponseReader() override
    {
        // Left with bytes only when the exchange could not run to its end
        // (it threw): they still reach the stream, quietly.
        if (m_writer && !m_bWriteFailed) {
            m_writer->Flush();
        }
    }
    ResponseReader(const ResponseReader&) = delete;
    ResponseReader& operator=(const ResponseReader&) = delete;

    bool OnResponseBody(const char* pData, std::size_t uintSize) override
    {
        while (uintSize > 0) {
            const std::size_t uintSlice = std::min(uintSize, kReadSliceBytes);
            if (m_state.intHttpStatus == 200) {
                if (!StoreSlice(pData, uintSlice)) {
                    return false;
                }
                m_intReceived += static_cast<std::int64_t>(uintSlice);
                NotifyListener(pData, uintSlice);
            } else {
                AppendErrorBytes(pData, uintSlice);
            }
            pData += uintSlice;
            uintSize -= uintSlice;
            if (!ReportProgress() || m_owner.m_bStop) {
                return false;
            }
            // One receive may hand over much at once (a decoded body many
            // times its encoded size): a stop ends it between slices.
            if (m_owner.StopRequested(m_state)) {
                if (m_state.intErrorCode == 0) {
                    m_state.intErrorCode = kInternetOperationCancelled;
                }
                m_owner.m_bStop = true;
                return false;
            }
        }
        return true;
    }

    // Writes out what was gathered: before anything judges the attempt.
    // False when the stream failed (now or before).
    bool FlushWrites()
    {
        if (m_bWriteFailed) {
            return false;
        }
        if (m_writer && !m_writer->Flush()) {
            NoteWriteFailure();
            return false;
        }
        return true;
    }

    // The last, empty read of a body that ended.
    bool FinishBody()
    {
        if (m_bStreamFailed || !FlushWrites()) {
            return false;
        }
        return ReportProgress();
    }

    Next GetNext() const { return m_next; }
    const std::string& GetNextUrl() const { return m_strNextUrl; }
    // Body bytes of this attempt that reached the output stream (with a
    // stream) or the caller: what the next attempt continues after. Bytes
    // that a failing write lost are not counted, so the resume position
    // never runs ahead of the file.
    std::int64_t GetReceived() const
    {
        return m_bWriteFailed ? static_cast<std::int64_t>(m_writer->Written()) : m_intReceived;
    }
    std::int64_t GetDeclaredLength() const { return m_intDeclaredLength; }
    bool IsFileSystemFailure() const { return m_bFileSystemFailure; }
    // A callback's verdict or exception ended the transfer.
    bool IsEndedByCallback() const { return m_bEndedByCallback; }
    std::wstring TakeErrorText() { return core::FromUtf8(m_strErrorBytes); }

private:
    // Position 0: the stream is cut back to empty, so a body that starts over
    // is never followed by bytes of an earlier attempt.
    bool Rewind()
    {
        // The stream is cut: nothing gathered before may follow the cut.
        if (m_writer) {
            m_writer->Discard();
        }
        core::IStream* pStream = m_owner.m_pOutputStream;
        if (pStream == nullptr) {
            return true;
        }
        HRESULT hr = pStream->Seek(0, core::StreamSeekOrigin::Begin, nullptr);
        if (Succeeded(hr)) {
            hr = pStream->SetSize(0);
        }
        if (Failed(hr)) {
            FailWrite(hr);
            return false;
        }
        return true;
    }

    // Hands one slice to the block writer.
    bool StoreSlice(const char* pData, std::size_t uintSize)
    {
        if (m_writer && !m_writer->Append(pData, uintSize)) {
            NoteWriteFailure();
            return false;
        }
        return true;
    }

    void NoteWriteFailure()
    {
        m_bWriteFailed = true;
        FailWrite(m_writer->Failure());
    }

    void FailWrite(HRESULT hr)
    {
        const std::uint32_t uintCode = Win32CodeFromHResult(hr);
        if (uintCode == core::kWin32DiskFull || uintCode == core::kWin32HandleDiskFull) {
            RecordDiskFull();
            m_bFileSystemFailure = true;
            m_state.intErrorCode = kErrorDiskFull;
        } else {
            // An aborted attempt; the stream's own code says why.
            m_state.intErrorCode =
                uintCode != 0 ? static_cast<std::int32_t>(uintCode) : kInternetInternalError;
        }
    }

    void NotifyListener(const char* pData, std::size_t uintSize)
    {
        if (m_owner.m_pDirectEvents == nullptr || m_owner.m_bStop) {
            return;
        }
        try {
            m_owner.m_pDirectEvents->DataReceived(pData, static_cast<unsigned>(uintSize));
        } catch (const core::Exception& failure) {
            core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
        } catch (...) {
            core::RecordForeignFailure();
        }
    }

    void AppendErrorBytes(const char* pData, std::size_t uintSize)
    {
        // Each chunk counts up to its first zero byte, as a C string would.
        const auto* pZero = static_cast<const char*>(std::memchr(pData, 0, uintSize));
        std::size_t uintText =
            pZero != nullptr ? static_cast<std::size_t>(pZero - pData) : uintSize;
        uintText = std::min(uintText, kMaxErrorTextBytes - m_strErrorBytes.size());
        m_strErrorBytes.append(pData, uintText);
    }

    // DownloadProgress; false when its verdict ends the attempt.
    bool ReportProgress()
    {
        return Apply(Ask([&] {
            return m_owner.m_pDownloadCallbackInfo->DownloadProgress(
                m_state.intResumePosition + m_intReceived, m_intDeclaredLength);
        }));
    }

    // A callback's verdict; one that throws ends the transfer, recorded.
    template <typename Callback>
    TransferVerdict Ask(Callback callback)
    {
        try {
            return callback();
        } catch (...) {
            RecordCallbackFailure();
            m_state.bCallbackFailed = true;
            return TransferVerdict::EndTransfer(0);
        }
    }

    // False when the verdict ends the attempt or the transfer.
    bool Apply(const TransferVerdict& verdict)
    {
        switch (verdict.kind) {
        case TransferVerdict::Kind::Continue:
            return true;
        case TransferVerdict::Kind::EndAttempt:
            return false;
        case TransferVerdict::Kind::FileSystemFailure:
            m_bFileSystemFailure = true;
            return false;
        case TransferVerdict::Kind::EndTransfer:
            m_bEndedByCallback = true;
            if (m_state.intStopCode == 0) {
                m_state.intStopCode = verdict.intStopCode;
            }
            return false;
        }
        return false;
    }

    WInetDownloader& m_owner;
    AttemptState& m_state;
    const std::string& m_strUrl;
    const bool m_bSentRange;
    Next m_next = Next::Finish;
    std::string m_strNextUrl;
    std::int64_t m_intDeclaredLength = 0;
    std::int64_t m_intReceived = 0;
    bool m_bWriteFailed = false;
    // Gathers the body for the output stream, when there is one.
    std::optional<BlockWriter> m_writer;
    bool m_bFileSystemFailure = false;
    bool m_bEndedByCallback = false;
    bool m_bStreamFailed = false;
    std::string m_strErrorBytes;
};

WInetDownloader::WInetDownloader() = default;
WInetDownloader::~WInetDownloader() = default;

void WInetDownloader::SetTimeOut(int intTimeOut)
{
    if (intTimeOut < 0) {
        PB_THROW(core::ArgumentException, L"intTimeOut");
    }
    m_intTimeOut = intTimeOut;
}

std::int32_t WInetDownloader::StopCode() const
{
    return m_stopRequested ? m_stopRequested() : 0;
}

bool WInetDownloader::StopRequested(AttemptState& state) const
{
    const std::int32_t intCode = StopCode();
    if (intCode != 0 && state.intStopCode == 0) {
        state.intStopCode = intCode;
    }
    return intCode != 0;
}

bool WInetDownloader::PauseBeforeReconnect(AttemptState& state)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_uintReconnectTimeOut);
    for (;;) {
        if (StopRequested(state)) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            deadline - now, HttpExchange::kStopPollInterval));
    }
}

TransferOutcome WInetDownloader::Download(const wchar_t* strUrl)
{
    PB_ASSERT_OWNER_THREAD(m_downloadThread);
    if (m_pDownloadCallbackInfo == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"m_pDownloadCallbackInfo");
    }
    if (strUrl == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"strUrl");
    }
    m_bStop = false;
    m_resumeHints = ResumeHints{};
    m_strCookieOrigin = GetOrigin(m_strCookiePage);
    if (m_strCookieOrigin.empty()) {
        m_strCookieOrigin = GetOrigin(strUrl);
    }
    const std::shared_ptr<CurlSession> pSession = CurlSession::Open();

    std::uint32_t uintAttempts = 0;
    AttemptState state;
    AttemptResult result = AttemptResult::Failure;
    for (;;) {
        state.intHttpStatus = 0;
        state.intErrorCode = 0;
        state.strErrorText.clear();

        result = RequestDownload(pSession, strUrl, state);
        ++uintAttempts;

        if (result == AttemptResult::Success || result == AttemptResult::EndedByCallback) {
            break;
        }
        if (result == AttemptResult::FileSystemFailure) {
            state.intErrorCode = kErrorFileSystem;
            m_bStop = true;
            break;
        }
        if (result == AttemptResult::FinalFailure) {
            break;
        }
        if (!m_bStop && StopRequested(state)) {
            m_bStop = true;
        }
        if (m_uintReconnectTimeOut > 0 && uintAttempts <= m_uintReconnectAttemptsCount) {
            if (m_bStop) {
                break;
            }
            try {
                m_pDownloadCallbackInfo->WaitingForReconnect();
            } catch (...) {
                RecordCallbackFailure();
                state.bCallbackFailed = true;
                break;
            }
            if (!PauseBeforeReconnect(state)) {
                // The failure that led to the pause is the one reported.
                m_bStop = true;
            }
        }
        if (m_bStop || uintAttempts > m_uintReconnectAttemptsCount) {
            break;
        }
    }

    TransferOutcome outcome;
    outcome.bSucceeded = !m_bStop && result == AttemptResult::Success &&
                         state.intHttpStatus == 200 && !state.bCallbackFailed;
    outcome.intHttpStatus = state.intHttpStatus;
    if (!outcome.bSucceeded) {
        outcome.intErrorCode = state.intErrorCode;
        outcome.strResponseText = std::move(state.strErrorText);
    }
    outcome.intStopCode = state.intStopCode;
    outcome.bCallbackFailed = state.bCallbackFailed;
    outcome.intBytesWritten = state.intResumePosition;
    outcome.strMimeType = std::move(state.strMimeType);
    outcome.strETag = std::move(state.strETag);
    outcome.strLastModified = std::move(state.strLastModified);
    return outcome;
}

WInetDownloader::AttemptResult WInetDownloader::RequestDownload(
    const std::shared_ptr<CurlSession>& pSession, const wchar_t* strUrl, AttemptState& state)
{
    if (!pSession) {
        PB_THROW(core::ArgumentNullPointerException, L"hInternet");
    }
    if (m_pDownloadCallbackInfo == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"m_pDownloadCallbackInfo");
    }

    UrlComponents components;
    bool bParsed = false;
    try {
        bParsed = ParseUrl(strUrl, components);
    } catch (const boost::bad_lexical_cast&) {
        // A port that does not fit 16 bits.
        bParsed = false;
    }
    if (!bParsed) {
        state.intErrorCode = kInternetInvalidUrl;
        return AttemptResult::Failure;
    }

    std::string strRequestUrl = PercentEncodeForTransfer(strUrl);
    bool bUseRange = state.intResumePosition > 0 && m_resumeHints.bAcceptsRanges &&
                     m_resumeHints.bHadContentType && !m_resumeHints.strValidator.empty();

    for (int intHop = 0;; ++intHop) {
        ResponseReader reader(*this, state, strRequestUrl, bUseRange);
        HttpExchange exchange(*pSession, reader);
        HttpExchangeRequest request;
        request.strUrl = strRequestUrl;
        if (bUseRange) {
            request.intRangeFrom = state.intResumePosition;
            request.strIfRange = m_resumeHints.strValidator;
        }
        if (!m_strCookieOrigin.empty() &&
            GetOrigin(core::FromUtf8(strRequestUrl)) == m_strCookieOrigin) {
            request.strCookie = core::ToUtf8(m_strCookieText);
        }
        request.bDecodeContentEncoding = m_bDecodeContentEncoding;
        request.intTimeOutMs = m_intTimeOut;
        request.stopRequested = [this, &state] { return StopRequested(state); };

        const HttpExchangeResult exchanged = exchange.Run(request);
        // Every byte the attempt counted is in the stream before the
        // attempt is judged (a failure here is the attempt's write failure).
        reader.FlushWrites();

        if (reader.IsEndedByCallback() || exchanged.end == HttpExchangeResult::End::HandlerFailed) {
            // The reader's own failure counts as a callback's: it ends the
            // transfer, recorded by the exchange.
            state.bCallbackFailed =
                state.bCallbackFailed || exchanged.end == HttpExchangeResult::End::HandlerFailed;
            state.intResumePosition += reader.GetReceived();
            return AttemptResult::EndedByCallback;
        }

        if (reader.GetNext() == ResponseReader::Next::Refuse) {
            return AttemptResult::FinalFailure;
        }
        if (reader.GetNext() != ResponseReader::Next::Finish) {
            if (intHop >= kMaxRedirects) {
                // A loop, or a chain no further attempt would shorten.
                state.intErrorCode = kHttpRedirectFailed;
                return AttemptResult::FinalFailure;
            }
            if (reader.GetNext() == ResponseReader::Next::Follow) {
                strRequestUrl = reader.GetNextUrl();
            } else {
                state.intResumePosition = 0;
                bUseRange = false;
            }
            continue;
        }

        bool bAborted = false;
        switch (exchanged.end) {
        case HttpExchangeResult::End::Completed:
            bAborted = !reader.FinishBody();
            break;
        case HttpExchangeResult::End::TransportFailure:
            if (exchanged.bHeadSeen && exchanged.code == CURLE_PARTIAL_FILE) {
                // The connection closed early: the body simply ended, and
                // the length check below judges it. A body without a
                // declared length (chunked) that breaks is still a failure.
                bAborted = !reader.FinishBody();
                if (reader.GetDeclaredLength() == 0) {
                    state.intErrorCode = kInternetConnectionReset;
                }
            } else if (state.intErrorCode == 0) {
                state.intErrorCode =
                    InternetErrorFromCurl(exchanged.code, exchanged.intSslVerifyResult);
                bAborted = true;
            } else {
                bAborted = true;
            }
            break;
        case HttpExchangeResult::End::HandlerStopped:
        case HttpExchangeResult::End::HandlerFailed:
            bAborted = true;
            break;
        case HttpExchangeResult::End::ReceiveTimeOut:
            state.intErrorCode = kInternetTimeout;
            bAborted = true;
            break;
        case HttpExchangeResult::End::StopRequested:
            state.intErrorCode = kInternetOperationCancelled;
            m_bStop = true;
            bAborted = true;
            break;
        }

        if (!exchanged.bHeadSeen) {
            // Connect, send or status failure: nothing of a body arrived.
            return AttemptResult::Failure;
        }
        state.strErrorText = reader.TakeErrorText();
        state.intResumePosition += reader.GetReceived();
        if (reader.IsFileSystemFailure()) {
            return AttemptResult::FileSystemFailure;
        }
        if (state.intHttpStatus != 200) {
            // A status failure is final: reported with its body, never retried.
            return AttemptResult::Success;
        }
        const std::int64_t intDeclared = reader.GetDeclaredLength();
        if (intDeclared != 0 && intDeclared != state.intResumePosition) {
            if (state.intErrorCode == 0) {
                state.intErrorCode = kInternetConnectionReset;
            }
            return AttemptResult::Failure;
        }
        if (state.intErrorCode != 0 || bAborted) {
            return AttemptResult::Failure;
        }
        return AttemptResult::Success;
    }
}

}  // namespace pullbay::net
