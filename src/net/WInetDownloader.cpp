#include "net/WInetDownloader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

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
#include "net/MultiDriver.h"
#include "net/ResponseReader.h"
#include "net/RetryAfter.h"
#include "net/ServerPauses.h"
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

void WInetDownloader::SetRetryAfter(std::uint32_t uintLimitSeconds,
                                    std::shared_ptr<ServerPauses> pPauses)
{
    m_uintRetryAfterLimit = uintLimitSeconds;
    m_pServerPauses = std::move(pPauses);
    if (uintLimitSeconds > 0 && !m_pServerPauses) {
        m_pServerPauses = std::make_shared<ServerPauses>();
    }
}

bool WInetDownloader::HeedsRetryAfter(int intHttpStatus) const
{
    return m_uintRetryAfterLimit > 0 && (intHttpStatus == 429 || intHttpStatus == 503);
}

std::optional<std::chrono::steady_clock::time_point> WInetDownloader::ServerPausedUntil(
    const std::string& strRequestUrl) const
{
    if (m_uintRetryAfterLimit == 0 || !m_pServerPauses) {
        return std::nullopt;
    }
    const std::wstring strOrigin = GetOrigin(core::FromUtf8(strRequestUrl));
    if (strOrigin.empty()) {
        return std::nullopt;
    }
    return m_pServerPauses->PausedUntil(strOrigin, std::chrono::steady_clock::now());
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

TransferOutcome WInetDownloader::Download(const wchar_t* strUrl)
{
    PB_ASSERT_OWNER_THREAD(m_downloadThread);
    const std::shared_ptr<CurlSession> pSession = CurlSession::Open();
    MultiDriver driver(pSession->Multi());
    std::optional<TransferOutcome> outcome;
    Start(strUrl, pSession, pSession->Easy(), driver,
          [&outcome](TransferOutcome ended) { outcome = std::move(ended); });
    while (!outcome) {
        auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(HttpExchange::kStopPollInterval);
        Poll(wait);
        if (outcome) {
            break;
        }
        driver.Step(wait);
    }
    return std::move(*outcome);
}

void WInetDownloader::Start(const wchar_t* strUrl, std::shared_ptr<CurlSession> pSession,
                            CURL* pEasy, MultiDriver& driver,
                            std::function<void(TransferOutcome)> onDone)
{
    PB_ASSERT_OWNER_THREAD(m_downloadThread);
    if (m_pDownloadCallbackInfo == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"m_pDownloadCallbackInfo");
    }
    if (strUrl == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"strUrl");
    }
    if (!pSession || pEasy == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"hInternet");
    }
    m_pSession = std::move(pSession);
    m_pEasy = pEasy;
    m_pDriver = &driver;
    m_onDone = std::move(onDone);
    m_strUrl = strUrl;
    m_bStop = false;
    m_resumeHints = ResumeHints{};
    m_strCookieOrigin = GetOrigin(m_strCookiePage);
    if (m_strCookieOrigin.empty()) {
        m_strCookieOrigin = GetOrigin(m_strUrl);
    }
    m_state = AttemptState{};
    m_uintAttempts = 0;
    m_pauseDeadline.reset();
    m_strAttemptUrl.clear();
    BeginAttempt();
}

void WInetDownloader::Poll(std::chrono::milliseconds& wait)
{
    if (!m_pauseDeadline) {
        return;
    }
    if (StopRequested(m_state)) {
        m_bStop = true;
        m_pauseDeadline.reset();
        if (m_pauseEnd == PauseEnd::Request) {
            // No request was sent: the stop ends the attempt.
            if (m_state.intErrorCode == 0) {
                m_state.intErrorCode = kInternetOperationCancelled;
            }
            EndAttempt(AttemptResult::Failure);
        } else {
            // The failure that led to the pause is the one reported.
            AfterPause();
        }
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= *m_pauseDeadline) {
        m_pauseDeadline.reset();
        if (m_pauseEnd == PauseEnd::Request) {
            // Asks again: the server may have been paused for longer since.
            BeginHop();
        } else {
            AfterPause();
        }
        return;
    }
    wait = std::min(wait,
                    std::chrono::duration_cast<std::chrono::milliseconds>(*m_pauseDeadline - now) +
                        std::chrono::milliseconds(1));
}

void WInetDownloader::BeginAttempt()
{
    m_state.intHttpStatus = 0;
    m_state.intErrorCode = 0;
    m_state.strErrorText.clear();

    UrlComponents components;
    bool bParsed = false;
    try {
        bParsed = ParseUrl(m_strUrl.c_str(), components);
    } catch (const boost::bad_lexical_cast&) {
        // A port that does not fit 16 bits.
        bParsed = false;
    }
    if (!bParsed) {
        m_state.intErrorCode = kInternetInvalidUrl;
        EndAttempt(AttemptResult::Failure);
        return;
    }
    m_strRequestUrl = PercentEncodeForTransfer(m_strUrl.c_str());
    m_strAttemptUrl = m_strRequestUrl;
    m_state.strRetryAfter.reset();
    m_state.retryAfter.reset();
    m_bUseRange = m_state.intResumePosition > 0 && m_resumeHints.bAcceptsRanges &&
                  m_resumeHints.bHadContentType && !m_resumeHints.strValidator.empty();
    m_intHop = 0;
    BeginHop();
}

void WInetDownloader::BeginHop()
{
    m_pExchange.reset();
    if (const auto paused = ServerPausedUntil(m_strRequestUrl)) {
        // The server asked, through this transfer or another, to be left
        // alone until then: no request goes to it before.
        if (!EnterPause(*paused, PauseEnd::Request)) {
            EndAttempt(AttemptResult::EndedByCallback);
        }
        return;
    }
    m_pReader = std::make_unique<ResponseReader>(*this, m_state, m_strRequestUrl, m_bUseRange);
    m_pExchange = std::make_unique<HttpExchange>(m_pEasy, *m_pReader);
    HttpExchangeRequest request;
    request.strUrl = m_strRequestUrl;
    if (m_bUseRange) {
        request.intRangeFrom = m_state.intResumePosition;
        request.strIfRange = m_resumeHints.strValidator;
    }
    if (!m_strCookieOrigin.empty() &&
        GetOrigin(core::FromUtf8(m_strRequestUrl)) == m_strCookieOrigin) {
        request.strCookie = core::ToUtf8(m_strCookieText);
    }
    request.bDecodeContentEncoding = m_bDecodeContentEncoding;
    request.intTimeOutMs = m_intTimeOut;
    request.bWaitForMultiplexing = m_bWaitForMultiplexing;
    request.stopRequested = [this] { return StopRequested(m_state); };
    try {
        m_pExchange->Begin(request);
        m_pDriver->Attach(*m_pExchange, [this](HttpExchange&, HttpExchangeResult exchanged) {
            if (const auto result = JudgeHop(exchanged)) {
                EndAttempt(*result);
            } else {
                ++m_intHop;
                BeginHop();
            }
        });
    } catch (...) {
        // Recorded by the throw site (or here, when foreign). The transfer
        // ends like one whose callback failed, never out of a driver's
        // step, where the other transfers' completions would be lost.
        if (!core::ExceptionManager::GetException(core::CurrentThreadId())) {
            core::RecordForeignFailure();
        }
        m_pExchange.reset();
        m_state.bCallbackFailed = true;
        EndAttempt(AttemptResult::EndedByCallback);
    }
}

std::optional<WInetDownloader::AttemptResult> WInetDownloader::JudgeHop(
    const HttpExchangeResult& exchanged)
{
    ResponseReader& reader = *m_pReader;
    AttemptState& state = m_state;
    // Every byte the attempt counted is in the stream before the attempt is
    // judged (a failure here is the attempt's write failure).
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
        if (m_intHop >= kMaxRedirects) {
            // A loop, or a chain no further attempt would shorten.
            state.intErrorCode = kHttpRedirectFailed;
            return AttemptResult::FinalFailure;
        }
        if (reader.GetNext() == ResponseReader::Next::Follow) {
            m_strRequestUrl = std::string(reader.GetNextUrl());
        } else {
            state.intResumePosition = 0;
            m_bUseRange = false;
        }
        return std::nullopt;
    }

    bool bAborted = false;
    switch (exchanged.end) {
    case HttpExchangeResult::End::Completed:
        bAborted = !reader.FinishBody();
        break;
    case HttpExchangeResult::End::TransportFailure:
        if (exchanged.bHeadSeen && exchanged.code == CURLE_PARTIAL_FILE) {
            // The connection closed early: the body simply ended, and the
            // length check below judges it. A body without a declared
            // length (chunked) that breaks is still a failure.
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
    if (HeedsRetryAfter(state.intHttpStatus)) {
        return JudgeRetryAfter();
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

WInetDownloader::AttemptResult WInetDownloader::JudgeRetryAfter()
{
    AttemptState& state = m_state;
    RetryAfterAnswer answer;
    answer.uintLimitSeconds = m_uintRetryAfterLimit;
    const std::optional<std::int64_t> intSeconds =
        state.strRetryAfter
            ? ParseRetryAfter(*state.strRetryAfter, std::chrono::system_clock::now())
            : std::nullopt;
    if (!intSeconds) {
        // A final status failure, as without a limit.
        state.retryAfter = answer;
        return AttemptResult::Success;
    }
    answer.intSeconds = *intSeconds;
    if (*intSeconds > static_cast<std::int64_t>(m_uintRetryAfterLimit)) {
        answer.kind = RetryAfterAnswer::Kind::BeyondLimit;
        state.retryAfter = answer;
        return AttemptResult::Success;
    }
    const std::wstring strOrigin = GetOrigin(core::FromUtf8(m_strRequestUrl));
    if (!strOrigin.empty()) {
        m_pServerPauses->PauseUntil(strOrigin, std::chrono::steady_clock::now() +
                                                   std::chrono::seconds(*intSeconds));
    }
    // Reported only when no further attempt follows; the next attempt
    // forgets it.
    answer.kind = RetryAfterAnswer::Kind::NoAttemptLeft;
    state.retryAfter = answer;
    return AttemptResult::Failure;
}

bool WInetDownloader::EnterPause(std::chrono::steady_clock::time_point deadline, PauseEnd end)
{
    try {
        m_pDownloadCallbackInfo->WaitingForReconnect();
    } catch (...) {
        core::RecordCaughtFailure();
        m_state.bCallbackFailed = true;
        return false;
    }
    // Poll ends the pause, at its time or at a stop.
    m_pauseDeadline = deadline;
    m_pauseEnd = end;
    return true;
}

void WInetDownloader::EndAttempt(AttemptResult result)
{
    // The hop's reader and exchange go before anything else is told.
    m_pExchange.reset();
    m_pReader.reset();
    ++m_uintAttempts;
    m_lastResult = result;

    if (result == AttemptResult::Success || result == AttemptResult::EndedByCallback ||
        result == AttemptResult::FinalFailure) {
        Finish();
        return;
    }
    if (result == AttemptResult::FileSystemFailure) {
        m_state.intErrorCode = kErrorFileSystem;
        m_bStop = true;
        Finish();
        return;
    }
    if (!m_bStop && StopRequested(m_state)) {
        m_bStop = true;
    }
    // The pause before a further attempt: its own, and as long as the
    // server of the attempt's first request asked for.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (m_uintAttempts <= m_uintReconnectAttemptsCount) {
        if (m_uintReconnectTimeOut > 0) {
            deadline = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(m_uintReconnectTimeOut);
        }
        if (const auto paused = ServerPausedUntil(m_strAttemptUrl)) {
            deadline = deadline ? std::max(*deadline, *paused) : *paused;
        }
    }
    if (deadline) {
        if (m_bStop || !EnterPause(*deadline, PauseEnd::NextAttempt)) {
            Finish();
        }
        return;
    }
    AfterPause();
}

void WInetDownloader::AfterPause()
{
    if (m_bStop || m_uintAttempts > m_uintReconnectAttemptsCount) {
        Finish();
    } else {
        BeginAttempt();
    }
}

void WInetDownloader::Finish()
{
    AttemptState& state = m_state;
    TransferOutcome outcome;
    outcome.bSucceeded = !m_bStop && m_lastResult == AttemptResult::Success &&
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
    if (!outcome.bSucceeded) {
        outcome.retryAfter = state.retryAfter;
    }
    m_pDriver = nullptr;
    m_pSession.reset();
    // The last thing done: the callee may start this object again.
    auto onDone = std::move(m_onDone);
    m_onDone = nullptr;
    onDone(std::move(outcome));
}

}  // namespace pullbay::net
