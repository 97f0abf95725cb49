#include "net/ResponseReader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <curl/curl.h>

#include "core/CaughtFailure.h"
#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "core/Win32Errors.h"
#include "net/IDownloadDirectEvents.h"
#include "net/IDownloadEvents.h"
#include "net/InternetErrors.h"
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

void RecordDiskFull()
{
    core::FileSystemException failure(L"WInetDownloader::RequestDownload", PB_SOURCE_FILE, __LINE__,
                                      HResultFromWin32(core::kWin32DiskFull), L"Disk is full");
    core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
}

}  // namespace

WInetDownloader::ResponseReader::ResponseReader(WInetDownloader& owner, AttemptState& state,
                                                const std::string& strUrl, bool bSentRange)
    : m_owner(owner), m_state(state), m_strUrl(strUrl), m_bSentRange(bSentRange)
{
    if (owner.m_pOutputStream != nullptr) {
        m_writer.emplace(*owner.m_pOutputStream, kWriteBlockBytes);
    }
}

IHttpExchangeHandler::BodyDisposition WInetDownloader::ResponseReader::OnResponseHead(
    const HttpResponseHead& head)
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

    if (m_owner.HeedsRetryAfter(head.intStatus)) {
        // Judged when the hop ends. Its body is error text only, and the
        // bytes of earlier attempts stay for the next attempt to continue.
        m_state.strRetryAfter = head.Header("Retry-After");
        return BodyDisposition::Read;
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
            if (!Apply(Ask(
                    [&] { return m_owner.m_pDownloadCallbackInfo->MimeTypeAvailable(strType); }))) {
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

WInetDownloader::ResponseReader::~ResponseReader()
{
    // Left with bytes only when the exchange could not run to its end
    // (it threw): they still reach the stream, quietly.
    if (m_writer && !m_bWriteFailed) {
        m_writer->Flush();
    }
}

bool WInetDownloader::ResponseReader::OnResponseBody(const char* pData, std::size_t uintSize)
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

bool WInetDownloader::ResponseReader::FlushWrites()
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

bool WInetDownloader::ResponseReader::FinishBody()
{
    if (m_bStreamFailed || !FlushWrites()) {
        return false;
    }
    return ReportProgress();
}

std::int64_t WInetDownloader::ResponseReader::GetReceived() const
{
    return m_bWriteFailed ? static_cast<std::int64_t>(m_writer->Written()) : m_intReceived;
}

bool WInetDownloader::ResponseReader::Rewind()
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

bool WInetDownloader::ResponseReader::StoreSlice(const char* pData, std::size_t uintSize)
{
    if (m_writer && !m_writer->Append(pData, uintSize)) {
        NoteWriteFailure();
        return false;
    }
    return true;
}

void WInetDownloader::ResponseReader::NoteWriteFailure()
{
    m_bWriteFailed = true;
    FailWrite(m_writer->Failure());
}

void WInetDownloader::ResponseReader::FailWrite(HRESULT hr)
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

void WInetDownloader::ResponseReader::NotifyListener(const char* pData, std::size_t uintSize)
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

void WInetDownloader::ResponseReader::AppendErrorBytes(const char* pData, std::size_t uintSize)
{
    // Each chunk counts up to its first zero byte, as a C string would.
    const auto* pZero = static_cast<const char*>(std::memchr(pData, 0, uintSize));
    std::size_t uintText = pZero != nullptr ? static_cast<std::size_t>(pZero - pData) : uintSize;
    uintText = std::min(uintText, kMaxErrorTextBytes - m_strErrorBytes.size());
    m_strErrorBytes.append(pData, uintText);
}

bool WInetDownloader::ResponseReader::ReportProgress()
{
    return Apply(Ask([&] {
        return m_owner.m_pDownloadCallbackInfo->DownloadProgress(
            m_state.intResumePosition + m_intReceived, m_intDeclaredLength);
    }));
}

template <typename Callback>
TransferVerdict WInetDownloader::ResponseReader::Ask(Callback callback)
{
    try {
        return callback();
    } catch (...) {
        core::RecordCaughtFailure();
        m_state.bCallbackFailed = true;
        return TransferVerdict::EndTransfer(0);
    }
}

bool WInetDownloader::ResponseReader::Apply(const TransferVerdict& verdict)
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

}  // namespace pullbay::net
