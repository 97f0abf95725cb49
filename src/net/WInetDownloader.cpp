#include "net/WInetDownloader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <curl/curl.h>

#include "core/CaughtFailure.h"
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
#include "net/ResponseReader.h"
#include "net/UrlComponents.h"
#include "net/UrlEncoding.h"
#include "net/UrlFunctions.h"

namespace pullbay::net {

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
                core::RecordCaughtFailure();
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
