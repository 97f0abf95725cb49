#pragma once
// Fetches one URL with an HTTP(S) GET and hands the body to its caller while
// it arrives: time-outs, further attempts that continue at the byte reached,
// the check that the body was complete. Download returns the outcome as a
// value (TransferOutcome); IDownloadEvents hears the progress and the type
// while the transfer runs, and answers whether it goes on. Bytes go to the
// output stream and/or the raw listener. No exception of a callback passes
// through libcurl or out of Download: a callback that throws ends the
// transfer as a callback failure.
//
// Threads: Download (or Start, and Poll) runs on one thread, the first to
// call it (debug builds abort on any other), the thread of the driver that
// Start is given; every callback runs there. Configure before the first
// transfer, on any thread that hands the object over to it in order
// (FileListRetrieval configures on the GUI thread, a worker downloads); never
// while a transfer runs. The stop condition is the only member read while
// Download runs that another thread may influence: it is polled (at least
// every 20 ms) while connecting, while waiting for data and during the pause
// before a further attempt or for a paused server, so a skip, a cancel or a
// shutdown ends a stalled transfer at once.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <curl/curl.h>

#include "core/IStream.h"
#include "core/ThreadAffinity.h"
#include "net/TransferOutcome.h"

namespace pullbay::net {

class CurlSession;
class HttpExchange;
struct HttpExchangeResult;
class IDownloadDirectEvents;
class IDownloadEvents;
class MultiDriver;
class ServerPauses;

class WInetDownloader {
public:
    static constexpr int kDefaultTimeOutMs = 2000;
    static constexpr std::uint32_t kDefaultReconnectAttemptsCount = 4;
    static constexpr std::uint32_t kDefaultReconnectTimeOutMs = 1000;
    // Read slice of the read loop: progress is reported after each.
    static constexpr std::size_t kReadSliceBytes = 4096;
    // Body bytes are gathered into blocks of this size for the output
    // stream (BlockWriter). Everything gathered is written out whenever an
    // attempt ends (completion, failure, a callback's exception), before the
    // attempt is judged, so the stream holds every byte the attempt counted
    // and the next attempt continues from there. (Larger blocks, or writing
    // them on a thread of their own, measured slower: the copy into the page
    // cache is fastest from a block that is still in this core's cache.)
    static constexpr std::size_t kWriteBlockBytes = 256 * 1024;
    // The body of an error response is kept as text up to this many bytes;
    // the rest is read and dropped, so a huge error page is never held whole.
    static constexpr std::size_t kMaxErrorTextBytes = 64 * 1024;
    // Redirect hops followed within one attempt.
    static constexpr int kMaxRedirects = 20;

    WInetDownloader();
    virtual ~WInetDownloader();
    WInetDownloader(const WInetDownloader&) = delete;
    WInetDownloader& operator=(const WInetDownloader&) = delete;

    // The whole transfer of one URL, synchronous, on the thread's session.
    // Throws only when it cannot begin (no event sink, no URL, no session).
    TransferOutcome Download(const wchar_t* strUrl);

    // The same transfer, driven with others: its exchanges run on the easy
    // handle pEasy (of the session's thread, used by nothing else until
    // the end) attached to driver. The owner steps the driver and calls
    // Poll between steps; onDone gets the outcome, from a Step or a Poll,
    // as the last thing the transfer does (it may start the object again).
    // The object, the easy handle and the driver outlive the transfer.
    // Throws as Download does; a throw inside a later step passes out of
    // that Step or Poll.
    void Start(const wchar_t* strUrl, std::shared_ptr<CurlSession> pSession, CURL* pEasy,
               MultiDriver& driver, std::function<void(TransferOutcome)> onDone);
    // Ends the pause before a further attempt, or the wait for a paused
    // server, when it is due or a stop came, and shortens wait to the
    // pause's end. Nothing outside a pause.
    void Poll(std::chrono::milliseconds& wait);

    // Milliseconds for connecting and for waiting for data; 0 = none.
    // Throws ArgumentException ("intTimeOut") for a negative value.
    void SetTimeOut(int intTimeOut);
    void SetOutputStream(core::IStream* pStream) { m_pOutputStream = pStream; }
    void SetDownloadEvents(IDownloadEvents* pEvents) { m_pDownloadCallbackInfo = pEvents; }
    void SetReconnectAttemptsCount(std::uint32_t uintCount)
    {
        m_uintReconnectAttemptsCount = uintCount;
    }
    void SetReconnectTimeOut(std::uint32_t uintTimeOut) { m_uintReconnectTimeOut = uintTimeOut; }
    void SetDirectEvents(IDownloadDirectEvents* pEvents) { m_pDirectEvents = pEvents; }
    // A non-empty text is sent as the Cookie header of the requests whose
    // origin (scheme, host, port: GetOrigin) is the page's, never to another
    // origin, a redirect's target included.
    void SetCookieText(std::wstring strCookieText) { m_strCookieText = std::move(strCookieText); }
    // The address of the page the cookie text belongs to. Empty, or not an
    // http(s) URL: the URL that Download is given stands for the page.
    void SetCookieOrigin(std::wstring strPageUrl) { m_strCookiePage = std::move(strPageUrl); }
    // Asks for and decodes a Content-Encoding (gzip, deflate...): the body
    // handed on is the decoded one. Its declared length then counts the
    // encoded bytes, so it is neither checked nor reported as the total, and
    // a further attempt starts at 0 (a range would count encoded bytes too).
    // Off by default: a file is stored as the server sent it.
    void SetDecodeContentEncoding(bool bDecode) { m_bDecodeContentEncoding = bDecode; }
    // With other transfers to the same server on the driver: a request waits
    // for a connection being made there to tell whether it multiplexes
    // (HTTP/2) instead of opening one of its own. Off by default.
    void SetWaitForMultiplexing(bool bWait) { m_bWaitForMultiplexing = bWait; }
    // Polled while the transfer waits; a value other than 0 ends the attempt
    // at once with no further attempt (error 12017 unless another error
    // came first), and the outcome carries it as its stop code.
    void SetStopCondition(std::function<std::int32_t()> stopRequested)
    {
        m_stopRequested = std::move(stopRequested);
    }
    // Retry-After. With a limit (seconds, above 0), a 429 or 503 answer whose
    // Retry-After (seconds or an HTTP date) asks for a wait within it pauses
    // the origin that answered in pPauses and ends the attempt as a failed
    // one, which a further attempt follows (the outcome's retryAfter says
    // so when none is left); one that asks for more, or for no wait it
    // gives, fails the transfer at once as a status failure that retryAfter
    // explains. Before every request (each attempt's first and each
    // redirect's) the transfer waits while pPauses holds the request's
    // origin paused, whoever paused it; the pause before a further attempt
    // lasts until the later of its own end and the server's. Both waits
    // report WaitingForReconnect and end at once at a stop. A null pPauses
    // gives the transfer pauses of its own. 0 (the default): a 429 or 503 is
    // a status failure like any other, and no pause is kept or heeded.
    void SetRetryAfter(std::uint32_t uintLimitSeconds, std::shared_ptr<ServerPauses> pPauses);

    int GetTimeOut() const { return m_intTimeOut; }
    std::uint32_t GetReconnectAttemptsCount() const { return m_uintReconnectAttemptsCount; }
    std::uint32_t GetReconnectTimeOut() const { return m_uintReconnectTimeOut; }

private:
    // Internal results of one attempt.
    enum class AttemptResult : std::int32_t {
        Success = 0,
        Failure = static_cast<std::int32_t>(0x80004005u),
        FileSystemFailure = -4112,
        // No further attempt can change it (a redirect loop, a refused
        // redirect): the attempts end at once.
        FinalFailure = -4113,
        // A callback ended the transfer (its verdict, or its exception).
        EndedByCallback = -4114,
    };

    // What an attempt knows and leaves behind for the next one.
    struct AttemptState {
        std::int64_t intResumePosition = 0;
        int intHttpStatus = 0;
        std::int32_t intErrorCode = 0;
        std::wstring strErrorText;
        // Set once a stop or a callback ended the transfer.
        std::int32_t intStopCode = 0;
        bool bCallbackFailed = false;
        // What the outcome reports of the 200 responses.
        std::optional<std::wstring> strMimeType;
        bool bFirstResponseSeen = false;
        std::string strETag;
        std::string strLastModified;
        // The Retry-After of a 429 or 503 answer under the limit, and what
        // the outcome reports of it.
        std::optional<std::string> strRetryAfter;
        std::optional<RetryAfterAnswer> retryAfter;
    };

    // What ends a pause.
    enum class PauseEnd {
        // The pause before a further attempt.
        NextAttempt,
        // The wait for a paused server before a request.
        Request,
    };

    // Validator and range support seen on the last 200 response, so a
    // further attempt can ask for the rest only, and only of the same
    // version of the resource.
    struct ResumeHints {
        bool bAcceptsRanges = false;
        bool bHadContentType = true;
        std::string strValidator;
    };

    class ResponseReader;

    // The steps of a transfer: an attempt is a chain of hops (redirects,
    // a restart without a range); each hop is one exchange, judged when it
    // ends; an attempt that fails may be followed, after a pause, by another.
    void BeginAttempt();
    void BeginHop();
    // The attempt's result once the hop ends it; nullopt: the next hop is
    // set up.
    std::optional<AttemptResult> JudgeHop(const HttpExchangeResult& exchanged);
    void EndAttempt(AttemptResult result);
    void AfterPause();
    void Finish();
    // A 429 or 503 under the Retry-After limit: judged by JudgeRetryAfter.
    bool HeedsRetryAfter(int intHttpStatus) const;
    AttemptResult JudgeRetryAfter();
    // When the origin of a request's URL is paused by its server; nullopt
    // without a limit or a pause.
    std::optional<std::chrono::steady_clock::time_point> ServerPausedUntil(
        const std::string& strRequestUrl) const;
    // Reports WaitingForReconnect and pauses until deadline; false when the
    // callback threw (recorded, the transfer is to end).
    bool EnterPause(std::chrono::steady_clock::time_point deadline, PauseEnd end);
    // The stop condition's code, 0 while the transfer may go on.
    std::int32_t StopCode() const;
    bool StopRequested(AttemptState& state) const;

    bool m_bStop = false;
    core::IStream* m_pOutputStream = nullptr;
    int m_intTimeOut = kDefaultTimeOutMs;
    IDownloadEvents* m_pDownloadCallbackInfo = nullptr;
    std::uint32_t m_uintReconnectAttemptsCount = kDefaultReconnectAttemptsCount;
    std::uint32_t m_uintReconnectTimeOut = kDefaultReconnectTimeOutMs;
    IDownloadDirectEvents* m_pDirectEvents = nullptr;
    std::wstring m_strCookieText;
    std::wstring m_strCookiePage;
    // The origin the cookie text goes to in this Download (GetOrigin form).
    std::wstring m_strCookieOrigin;
    bool m_bDecodeContentEncoding = false;
    bool m_bWaitForMultiplexing = false;
    std::function<std::int32_t()> m_stopRequested;
    std::uint32_t m_uintRetryAfterLimit = 0;
    std::shared_ptr<ServerPauses> m_pServerPauses;
    ResumeHints m_resumeHints;
    // The transfer in progress (between Start and its onDone).
    std::shared_ptr<CurlSession> m_pSession;
    CURL* m_pEasy = nullptr;
    MultiDriver* m_pDriver = nullptr;
    std::function<void(TransferOutcome)> m_onDone;
    std::wstring m_strUrl;
    AttemptState m_state;
    std::uint32_t m_uintAttempts = 0;
    AttemptResult m_lastResult = AttemptResult::Failure;
    std::string m_strRequestUrl;
    // The first request's URL of the current attempt, which the next one
    // asks for again.
    std::string m_strAttemptUrl;
    bool m_bUseRange = false;
    int m_intHop = 0;
    std::unique_ptr<ResponseReader> m_pReader;
    std::unique_ptr<HttpExchange> m_pExchange;
    std::optional<std::chrono::steady_clock::time_point> m_pauseDeadline;
    PauseEnd m_pauseEnd = PauseEnd::NextAttempt;
    const core::ThreadAffinity m_downloadThread{core::ThreadAffinity::kBindOnFirstUse};
};

}  // namespace pullbay::net
