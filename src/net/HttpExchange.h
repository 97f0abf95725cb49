#pragma once
// One HTTP GET on an easy handle: request out, response head and body handed
// to a handler as they arrive. Redirects are not followed here (the caller
// decides per hop). Driven by a MultiDriver through libcurl's multi
// interface, with other exchanges or alone, so that a receive time-out ("no
// data for this long") and the owner's stop condition are honoured within
// milliseconds. Runs on the driver's thread.
//
// C++ exceptions never unwind through libcurl, and none is kept for later: a
// handler should not throw; one that does is caught in the callback, the
// failure is recorded for the thread, and the exchange ends as
// HandlerFailed.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <curl/curl.h>

#include "net/HttpResponseHead.h"

namespace pullbay::net {

class IHttpExchangeHandler {
public:
    // Stop ends the exchange at once, before any body byte.
    enum class BodyDisposition { Read, Discard, Stop };

    virtual ~IHttpExchangeHandler() = default;
    // The final head (1xx heads are skipped), before any body byte; also for
    // an empty body. Discard drains the body without handing it over.
    virtual BodyDisposition OnResponseHead(const HttpResponseHead& head) = 0;
    // Body bytes of a Read response; false ends the exchange at once.
    virtual bool OnResponseBody(const char* pData, std::size_t uintSize) = 0;
};

struct HttpExchangeRequest {
    std::string strUrl;                   // absolute, percent-encoded
    long long intRangeFrom = -1;          // >= 0: "Range: bytes=N-"
    std::string strIfRange;               // validator for If-Range, with a range only
    std::string strCookie;                // sent as the Cookie header when not empty
    bool bDecodeContentEncoding = false;  // ask for and decode a content coding
    int intTimeOutMs = 0;                 // connect and receive time-out; 0 = none
    // Over HTTPS, waits for a connection being made to the server to tell
    // whether it can carry this exchange too (HTTP/2) rather than open
    // another one.
    bool bWaitForMultiplexing = false;
    std::function<bool()> stopRequested;  // polled while the exchange waits
};

struct HttpExchangeResult {
    enum class End {
        Completed,         // the body ended as the server framed it
        TransportFailure,  // libcurl reported an error (see code)
        HandlerStopped,    // the handler returned false or Stop
        HandlerFailed,     // the handler threw (recorded for the thread)
        ReceiveTimeOut,    // no data for the time-out
        StopRequested,     // the stop condition became true
    };
    End end = End::Completed;
    CURLcode code = CURLE_OK;
    long intSslVerifyResult = 0;
    bool bHeadSeen = false;
};

class HttpExchange {
public:
    // How often the stop condition is polled at the least.
    static constexpr std::chrono::milliseconds kStopPollInterval{20};
    // libcurl's receive buffer: one receive takes what the socket holds, up
    // to this much (its default of 16 KiB costs a receive and a poll per
    // 16 KiB of a large body).
    static constexpr long kReceiveBufferBytes = 512L * 1024L;

    // On an easy handle of the driving thread, one exchange at a time on it.
    HttpExchange(CURL* pEasy, IHttpExchangeHandler& handler);
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // The steps of an exchange, for the loop that drives it with others on
    // one multi handle (MultiDriver): Begin sets the easy handle up (it
    // throws when libcurl refuses an option); the loop attaches it, and
    // between polls asks Check, which ends the exchange on a stop or a
    // receive time-out and may shorten the wait; Done turns libcurl's code
    // for a finished transfer into a result; Finish, after the loop has
    // detached the handle, gives the exchange's result.
    void Begin(const HttpExchangeRequest& request);
    std::optional<HttpExchangeResult::End> Check(std::chrono::milliseconds& wait) const;
    HttpExchangeResult Done(CURLcode code) const;
    HttpExchangeResult Finish(HttpExchangeResult result);
    CURL* Easy() const { return m_pEasy; }

private:
    struct SlistDeleter {
        void operator()(curl_slist* pList) const { curl_slist_free_all(pList); }
    };
    using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

    static void AppendHeader(Slist& list, const std::string& strHeader);
    static std::size_t HeaderCallback(char* pData, std::size_t uintSize, std::size_t uintCount,
                                      void* pUser);
    static std::size_t WriteCallback(char* pData, std::size_t uintSize, std::size_t uintCount,
                                     void* pUser);
    static int PrereqCallback(void* pUser, char* strConnIp, char* strLocalIp, int intConnPort,
                              int intLocalPort);

    // The code of a finished transfer, with libcurl's names for a reply
    // that is no HTTP response made an invalid response.
    CURLcode ServerReplyCode(CURLcode code) const;
    std::size_t OnHeaderLine(const char* pData, std::size_t uintSize);
    std::size_t OnBody(const char* pData, std::size_t uintSize);
    void CompleteHead();
    // A handler's exception, caught in a callback: recorded, and the
    // exchange ends.
    void NoteHandlerFailure();
    void MarkActivity();

    CURL* const m_pEasy;
    IHttpExchangeHandler& m_handler;
    // The request's header list, held while the easy handle points at it.
    Slist m_headers;
    std::function<bool()> m_stopRequested;
    std::chrono::milliseconds m_receiveTimeOut{0};
    HttpResponseHead m_head;
    bool m_bHeadComplete = false;
    bool m_bDiscardBody = false;
    bool m_bHandlerStopped = false;
    bool m_bHandlerFailed = false;
    bool m_bConnected = false;
    std::chrono::steady_clock::time_point m_lastActivity;
};

}  // namespace pullbay::net
