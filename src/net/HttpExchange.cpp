#include "net/HttpExchange.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <memory>

#include <strings.h>

#include "core/CaughtFailure.h"
#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "core/Version.h"

namespace pullbay::net {

namespace {

using Clock = std::chrono::steady_clock;

// libcurl takes 0 as its own default of 300 s; "no time-out" is expressed as
// the largest value instead.
constexpr long kNoConnectTimeOutMs = INT_MAX;

}  // namespace

void HttpExchange::AppendHeader(Slist& list, const std::string& strHeader)
{
    curl_slist* pNew = curl_slist_append(list.get(), strHeader.c_str());
    if (pNew == nullptr) {
        PB_THROW(core::MemoryException);
    }
    list.release();
    list.reset(pNew);
}

HttpExchange::HttpExchange(CURL* pEasy, IHttpExchangeHandler& handler)
    : m_pEasy(pEasy), m_handler(handler)
{
}

void HttpExchange::Begin(const HttpExchangeRequest& request)
{
    CURL* pEasy = m_pEasy;
    curl_easy_reset(pEasy);

    m_headers.reset();
    if (request.intRangeFrom >= 0) {
        char buffer[24];
        const auto converted = std::to_chars(buffer, buffer + sizeof buffer, request.intRangeFrom);
        AppendHeader(m_headers, "Range: bytes=" + std::string(buffer, converted.ptr) + "-");
        if (!request.strIfRange.empty()) {
            AppendHeader(m_headers, "If-Range: " + request.strIfRange);
        }
    }

    const long intConnectTimeOut =
        request.intTimeOutMs > 0 ? static_cast<long>(request.intTimeOutMs) : kNoConnectTimeOutMs;
    const char* strCaBundle = std::getenv("CURL_CA_BUNDLE");

    bool bOptionsSet =
        curl_easy_setopt(pEasy, CURLOPT_URL, request.strUrl.c_str()) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_CONNECTTIMEOUT_MS, intConnectTimeOut) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_USERAGENT, core::kUserAgent) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_HTTPHEADER, m_headers.get()) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_HEADERFUNCTION, &HttpExchange::HeaderCallback) ==
            CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_HEADERDATA, this) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_WRITEFUNCTION, &HttpExchange::WriteCallback) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_WRITEDATA, this) == CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_PREREQFUNCTION, &HttpExchange::PrereqCallback) ==
            CURLE_OK &&
        curl_easy_setopt(pEasy, CURLOPT_PREREQDATA, this) == CURLE_OK;
    // Not a failure when refused: libcurl refuses a new size while it still
    // holds the buffer of an earlier transfer (one that failed before its
    // end, such as a name that did not resolve), and that buffer then serves.
    curl_easy_setopt(pEasy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    if (bOptionsSet && request.bDecodeContentEncoding) {
        // "": every coding this libcurl can decode.
        bOptionsSet = curl_easy_setopt(pEasy, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK;
    }
    // Only TLS tells at the handshake whether a connection multiplexes; over
    // plain HTTP the wait would last until the first response arrived.
    if (bOptionsSet && request.bWaitForMultiplexing &&
        ::strncasecmp(request.strUrl.c_str(), "https:", 6) == 0) {
        bOptionsSet = curl_easy_setopt(pEasy, CURLOPT_PIPEWAIT, 1L) == CURLE_OK;
    }
    if (bOptionsSet && !request.strCookie.empty()) {
        bOptionsSet =
            curl_easy_setopt(pEasy, CURLOPT_COOKIE, request.strCookie.c_str()) == CURLE_OK;
    }
    if (bOptionsSet && strCaBundle != nullptr && *strCaBundle != '\0') {
        // libcurl ignores this variable itself; the system store stays in use
        // through the default CA path.
        bOptionsSet = curl_easy_setopt(pEasy, CURLOPT_CAINFO, strCaBundle) == CURLE_OK;
    }
    if (!bOptionsSet) {
        PB_THROW(core::UnexpectedException, L"InternetSetOption error");
    }

    m_head = HttpResponseHead{};
    m_bHeadComplete = false;
    m_bDiscardBody = false;
    m_bHandlerStopped = false;
    m_bHandlerFailed = false;
    m_bConnected = false;
    m_lastActivity = Clock::now();
    m_stopRequested = request.stopRequested;
    m_receiveTimeOut = std::chrono::milliseconds(request.intTimeOutMs);
}

std::optional<HttpExchangeResult::End> HttpExchange::Check(std::chrono::milliseconds& wait) const
{
    if (m_stopRequested && m_stopRequested()) {
        return HttpExchangeResult::End::StopRequested;
    }
    if (m_receiveTimeOut.count() > 0 && m_bConnected) {
        const auto idle = Clock::now() - m_lastActivity;
        if (idle >= m_receiveTimeOut) {
            return HttpExchangeResult::End::ReceiveTimeOut;
        }
        wait = std::min(
            wait, std::chrono::duration_cast<std::chrono::milliseconds>(m_receiveTimeOut - idle) +
                      std::chrono::milliseconds(1));
    }
    return std::nullopt;
}

HttpExchangeResult HttpExchange::Done(CURLcode code) const
{
    HttpExchangeResult result;
    result.code = ServerReplyCode(code);
    result.end = result.code == CURLE_OK ? HttpExchangeResult::End::Completed
                                         : HttpExchangeResult::End::TransportFailure;
    return result;
}

HttpExchangeResult HttpExchange::Finish(HttpExchangeResult result)
{
    if (m_bHandlerFailed) {
        result.end = HttpExchangeResult::End::HandlerFailed;
    } else if (m_bHandlerStopped) {
        result.end = HttpExchangeResult::End::HandlerStopped;
    } else if (result.end == HttpExchangeResult::End::Completed && !m_bHeadComplete) {
        // A response without a blank line after its head (cut short).
        result.end = HttpExchangeResult::End::TransportFailure;
        result.code = CURLE_GOT_NOTHING;
    }
    result.bHeadSeen = m_bHeadComplete;
    if (result.end == HttpExchangeResult::End::TransportFailure) {
        long intVerify = 0;
        if (curl_easy_getinfo(m_pEasy, CURLINFO_SSL_VERIFYRESULT, &intVerify) == CURLE_OK) {
            result.intSslVerifyResult = intVerify;
        }
    }
    curl_easy_setopt(m_pEasy, CURLOPT_HTTPHEADER, nullptr);
    m_headers.reset();
    return result;
}

CURLcode HttpExchange::ServerReplyCode(CURLcode code) const
{
    // libcurl names two answers that are no HTTP response by how it met
    // them: a reply without a status line (HTTP/0.9) as an unsupported
    // protocol, a head line or head beyond its limits as out of memory.
    // Once the request went out, both are the server's invalid response.
    if (m_bConnected && !m_bHeadComplete &&
        (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_OUT_OF_MEMORY)) {
        return CURLE_WEIRD_SERVER_REPLY;
    }
    return code;
}

std::size_t HttpExchange::HeaderCallback(char* pData, std::size_t uintSize, std::size_t uintCount,
                                         void* pUser)
{
    return static_cast<HttpExchange*>(pUser)->OnHeaderLine(pData, uintSize * uintCount);
}

std::size_t HttpExchange::WriteCallback(char* pData, std::size_t uintSize, std::size_t uintCount,
                                        void* pUser)
{
    return static_cast<HttpExchange*>(pUser)->OnBody(pData, uintSize * uintCount);
}

int HttpExchange::PrereqCallback(void* pUser, char*, char*, int, int)
{
    // The connection is up: from here on the receive time-out applies.
    auto* pExchange = static_cast<HttpExchange*>(pUser);
    pExchange->m_bConnected = true;
    pExchange->MarkActivity();
    return CURL_PREREQFUNC_OK;
}

void HttpExchange::MarkActivity()
{
    m_lastActivity = Clock::now();
}

std::size_t HttpExchange::OnHeaderLine(const char* pData, std::size_t uintSize)
{
    MarkActivity();
    const std::string_view line(pData, uintSize);
    if (const int intStatus = ParseStatusLine(line); intStatus != 0) {
        // A new response starts (after 1xx interim responses too).
        m_head = HttpResponseHead{};
        m_head.intStatus = intStatus;
        return uintSize;
    }
    if (line == "\r\n" || line == "\n") {
        if (m_head.intStatus >= 200 && !m_bHeadComplete) {
            CompleteHead();
            if (m_bHandlerFailed || m_bHandlerStopped) {
                return 0;  // any other count makes libcurl abort the transfer
            }
        }
        return uintSize;
    }
    if (m_head.intStatus != 0) {
        if (auto field = ParseHeaderLine(line)) {
            m_head.headers.push_back(std::move(*field));
        }
    }
    return uintSize;
}

void HttpExchange::CompleteHead()
{
    m_bHeadComplete = true;
    try {
        switch (m_handler.OnResponseHead(m_head)) {
        case IHttpExchangeHandler::BodyDisposition::Read:
            break;
        case IHttpExchangeHandler::BodyDisposition::Discard:
            m_bDiscardBody = true;
            break;
        case IHttpExchangeHandler::BodyDisposition::Stop:
            m_bHandlerStopped = true;
            break;
        }
    } catch (...) {
        NoteHandlerFailure();
    }
}

void HttpExchange::NoteHandlerFailure()
{
    m_bHandlerFailed = true;
    core::RecordCaughtFailure();
}

std::size_t HttpExchange::OnBody(const char* pData, std::size_t uintSize)
{
    MarkActivity();
    if (!m_bHeadComplete) {
        CompleteHead();
    }
    if (m_bHandlerFailed || m_bHandlerStopped) {
        return CURL_WRITEFUNC_ERROR;
    }
    if (m_bDiscardBody) {
        return uintSize;
    }
    try {
        if (!m_handler.OnResponseBody(pData, uintSize)) {
            m_bHandlerStopped = true;
            return CURL_WRITEFUNC_ERROR;
        }
    } catch (...) {
        NoteHandlerFailure();
        return CURL_WRITEFUNC_ERROR;
    }
    return uintSize;
}

}  // namespace pullbay::net
