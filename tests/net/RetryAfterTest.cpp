// Retry-After: reading the header's value, the pauses of a run's servers,
// and the transfer that heeds them against the scripted loopback server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "RecordingDownloadEvents.h"
#include "net/InternetErrors.h"
#include "net/RetryAfter.h"
#include "net/ServerPauses.h"
#include "net/WInetDownloader.h"
#include "support/MemoryStream.h"
#include "support/PatternBytes.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

using Kind = DownloadCallback::Kind;
using namespace std::chrono_literals;
using std::chrono::steady_clock;

// 2025-06-01 12:00:00 UTC, a Sunday.
const std::chrono::system_clock::time_point kNow =
    std::chrono::sys_days{std::chrono::year{2025} / 6 / 1} + 12h;

TEST(RetryAfterTest, ReadsSecondsAndTheThreeDateFormsRelativeToNow)
{
    struct Row {
        const char* strValue;
        std::optional<std::int64_t> expected;
    };
    const Row rows[] = {
        {"120", 120},
        {"0", 0},
        {"007", 7},
        // Past the ceiling, however long, without overflow.
        {"99999999999999999999999999999999999999", net::kMaxRetryAfterSeconds},
        {"Sun, 01 Jun 2025 12:01:30 GMT", 90},
        {"sun, 01 jun 2025 12:01:30 GMT", 90},
        {"Sunday, 01-Jun-25 12:00:10 GMT", 10},
        {"Sun Jun  1 12:00:05 2025", 5},
        {"Sun Jun 01 12:00:05 2025", 5},
        // A date that has passed asks for no wait.
        {"Sat, 31 May 2025 12:00:00 GMT", 0},
        {"Sun, 06 Nov 1994 08:49:37 GMT", 0},
        // Two-digit years: up to 50 years ahead, else the century before.
        {"Thursday, 01-Jun-75 12:00:00 GMT", 1577836800},
        {"Monday, 01-Jun-76 12:00:00 GMT", 0},
        {"Fri, 31 Dec 9999 23:59:59 GMT", net::kMaxRetryAfterSeconds},
        // Neither seconds nor a date.
        {"", std::nullopt},
        {"-5", std::nullopt},
        {"+5", std::nullopt},
        {"1.5", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"soon", std::nullopt},
        {"Sun, 30 Feb 2025 12:00:00 GMT", std::nullopt},
        {"Sun, 01 Jun 2025 24:00:00 GMT", std::nullopt},
        {"Sun, 01 Jun 2025 12:00:10 UTC", std::nullopt},
        {"Sun, 01 Jun 2025 12:00:10 GMT and more", std::nullopt},
        {"Sun, 1 Jun 2025 12:00:10 GMT", std::nullopt},
        {"Sun, 01 Jun 25 12:00:10 GMT", std::nullopt},
        {"Someday, 01-Jun-25 12:00:10 GMT", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.strValue);
        EXPECT_EQ(net::ParseRetryAfter(row.strValue, kNow), row.expected);
    }
    // Within a second the wait is rounded up.
    EXPECT_EQ(net::ParseRetryAfter("Sun, 01 Jun 2025 12:01:30 GMT", kNow + 500ms), 90);
}

TEST(RetryAfterTest, ServerPausesKeepTheLaterEndPerOrigin)
{
    net::ServerPauses pauses;
    const auto now = steady_clock::now();
    const std::wstring strA = L"http://a.example:80";
    const std::wstring strB = L"https://a.example:443";
    EXPECT_EQ(pauses.PausedUntil(strA, now), std::nullopt);

    pauses.PauseUntil(strA, now + 10s);
    pauses.PauseUntil(strA, now + 5s);
    EXPECT_EQ(pauses.PausedUntil(strA, now), now + 10s);
    EXPECT_EQ(pauses.PausedUntil(strB, now), std::nullopt);
    EXPECT_EQ(pauses.PausedUntil(strA, now + 10s), std::nullopt);

    pauses.PauseUntil(strA, now + 20s);
    EXPECT_EQ(pauses.PausedUntil(strA, now + 10s), now + 20s);
}

// When each request arrived, by path, in order.
class ArrivalLog {
public:
    void Note(const std::string& strPath)
    {
        std::lock_guard lock(m_mutex);
        m_arrivals.push_back({strPath, steady_clock::now()});
    }
    std::vector<steady_clock::time_point> Of(const std::string& strPath) const
    {
        std::lock_guard lock(m_mutex);
        std::vector<steady_clock::time_point> times;
        for (const auto& [strArrived, at] : m_arrivals) {
            if (strArrived == strPath) {
                times.push_back(at);
            }
        }
        return times;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, steady_clock::time_point>> m_arrivals;
};

// Answers the requests of a path from answers, in order; the last answer
// repeats.
HttpHandler InTurn(ArrivalLog& log, std::vector<HttpResponse> answers)
{
    auto pNext = std::make_shared<std::atomic<std::size_t>>(0);
    return [&log, answers, pNext](const HttpRequest& request) {
        log.Note(request.Path());
        const std::size_t uintIndex = std::min((*pNext)++, answers.size() - 1);
        return answers[uintIndex];
    };
}

HttpResponse Busy(int intStatus, std::optional<std::string> strRetryAfter)
{
    HttpResponse response = HttpResponse::Text(intStatus, "busy, come back later");
    if (strRetryAfter) {
        response.headers = {{"Retry-After", *strRetryAfter}};
    }
    return response;
}

class RetryAfterTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        downloader.SetDownloadEvents(&events);
        downloader.SetOutputStream(&stream);
        downloader.SetReconnectTimeOut(5);
        downloader.SetRetryAfter(5, pPauses);
    }

    net::TransferOutcome Fetch(const std::string& strPath)
    {
        return downloader.Download(Widen(server.BaseUrl() + strPath).c_str());
    }

    TestHttpServer server;
    ArrivalLog log;
    RecordingDownloadEvents events;
    MemoryStream stream;
    std::shared_ptr<net::ServerPauses> pPauses = std::make_shared<net::ServerPauses>();
    RecordingDownloader downloader;
};

TEST_F(RetryAfterTransferTest, AWaitWithinTheLimitPausesTheServerAndTheNextAttemptContinues)
{
    // The body breaks after 600 bytes, the server then asks for a second's
    // pause, and the next attempt asks for the rest only.
    const std::string body = PatternBytes(0, 1000, 3);
    HttpResponse whole;
    whole.body = body;
    whole.honourRange = true;
    whole.headers = {{"ETag", "\"v1\""}};
    HttpResponse cut = whole;
    cut.closeAfterBodyBytes = 600;
    server.Route("/f", InTurn(log, {cut, Busy(503, "1"), whole}));

    const net::TransferOutcome outcome = Fetch("/f");

    EXPECT_TRUE(outcome.bSucceeded);
    EXPECT_FALSE(outcome.retryAfter.has_value());
    EXPECT_EQ(stream.Contents(), body);
    const auto arrivals = log.Of("/f");
    ASSERT_EQ(arrivals.size(), 3u);
    // No request reached the server inside the pause it asked for.
    EXPECT_GE(arrivals[2] - arrivals[1], 1s);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].Header("Range"), "bytes=600-");
    EXPECT_EQ(events.Count(Kind::Waiting), 2);
}

TEST_F(RetryAfterTransferTest, ATransferWaitsForAServerThatAnotherPausedButNotForOthers)
{
    // The first transfer has no attempt left after the 503.
    server.Route("/first", InTurn(log, {Busy(429, "1")}));
    server.Route("/second", InTurn(log, {HttpResponse::Text(200, "second")}));
    TestHttpServer other;
    other.Route("/third", InTurn(log, {HttpResponse::Text(200, "third")}));
    downloader.SetReconnectAttemptsCount(0);

    const net::TransferOutcome first = Fetch("/first");
    ASSERT_FALSE(first.bSucceeded);
    ASSERT_TRUE(first.retryAfter.has_value());
    EXPECT_EQ(first.retryAfter->kind, net::RetryAfterAnswer::Kind::NoAttemptLeft);
    EXPECT_EQ(net::TransferFailureText(first),
              L"The server answered the request with HTTP status 429 (Too Many Requests) and "
              L"asked to wait 1 second, but no further attempt was left.");

    downloader.Download(Widen(other.BaseUrl() + "/third").c_str());
    const net::TransferOutcome second = Fetch("/second");

    EXPECT_TRUE(second.bSucceeded);
    ASSERT_EQ(log.Of("/first").size(), 1u);
    ASSERT_EQ(log.Of("/second").size(), 1u);
    ASSERT_EQ(log.Of("/third").size(), 1u);
    EXPECT_GE(log.Of("/second")[0] - log.Of("/first")[0], 1s);
    EXPECT_LT(log.Of("/third")[0] - log.Of("/first")[0], 900ms);
}

TEST_F(RetryAfterTransferTest, AWaitBeyondTheLimitOrNoneFailsAtOnceSayingWhy)
{
    struct Row {
        int intStatus;
        std::optional<std::string> strRetryAfter;
        std::wstring strText;
    };
    const Row rows[] = {
        {503, "120",
         L"The server answered the request with HTTP status 503 (Service Unavailable) and asked "
         L"to wait 120 seconds, more than the limit of 5 seconds."},
        {429, std::nullopt,
         L"The server answered the request with HTTP status 429 (Too Many Requests) without "
         L"saying how long to wait."},
        {503, "in a while",
         L"The server answered the request with HTTP status 503 (Service Unavailable) without "
         L"saying how long to wait."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.strRetryAfter.value_or("(none)"));
        const std::string strPath = "/busy" + std::to_string(&row - rows);
        server.Route(strPath, InTurn(log, {Busy(row.intStatus, row.strRetryAfter)}));

        const net::TransferOutcome outcome = Fetch(strPath);

        EXPECT_FALSE(outcome.bSucceeded);
        EXPECT_EQ(outcome.intHttpStatus, row.intStatus);
        EXPECT_EQ(outcome.intErrorCode, net::kErrorHttpStatus);
        EXPECT_EQ(outcome.strResponseText, L"busy, come back later");
        EXPECT_EQ(net::TransferFailureText(outcome), row.strText);
        EXPECT_EQ(log.Of(strPath).size(), 1u);
    }
    EXPECT_EQ(events.Count(Kind::Waiting), 0);
    // Nothing was paused: a request goes out at once.
    server.Route("/ok", HttpResponse::Text(200, "ok"));
    const auto start = steady_clock::now();
    EXPECT_TRUE(Fetch("/ok").bSucceeded);
    EXPECT_LT(steady_clock::now() - start, 900ms);
}

TEST_F(RetryAfterTransferTest, WithoutALimitA503FailsAtOnceAsAnyStatus)
{
    server.Route("/busy", InTurn(log, {Busy(503, "1"), HttpResponse::Text(200, "late")}));
    downloader.SetRetryAfter(0, pPauses);

    const net::TransferOutcome outcome = Fetch("/busy");

    EXPECT_FALSE(outcome.bSucceeded);
    EXPECT_EQ(outcome.intHttpStatus, 503);
    EXPECT_FALSE(outcome.retryAfter.has_value());
    EXPECT_EQ(net::TransferFailureText(outcome),
              L"The server answered the request with HTTP status 503 (Service Unavailable).");
    EXPECT_EQ(log.Of("/busy").size(), 1u);
    EXPECT_EQ(events.Count(Kind::Waiting), 0);
    EXPECT_FALSE(pPauses->PausedUntil(Widen(server.BaseUrl()), steady_clock::now()).has_value());
}

TEST_F(RetryAfterTransferTest, AStopEndsTheServersPauseAtOnce)
{
    server.Route("/busy", InTurn(log, {Busy(503, "30"), HttpResponse::Text(200, "late")}));
    downloader.SetRetryAfter(60, pPauses);
    std::atomic<bool> bStop{false};
    std::atomic<std::int64_t> intStopAt{0};
    downloader.SetStopCondition([&] { return bStop.load() ? 7 : 0; });
    events.onWaiting = [&] {
        intStopAt = steady_clock::now().time_since_epoch().count();
        bStop = true;
    };

    const net::TransferOutcome outcome = Fetch("/busy");

    const auto ended = steady_clock::now().time_since_epoch().count();
    EXPECT_LT(std::chrono::nanoseconds(ended - intStopAt.load()), 100ms);
    EXPECT_FALSE(outcome.bSucceeded);
    EXPECT_EQ(outcome.intStopCode, 7);
    EXPECT_EQ(log.Of("/busy").size(), 1u);

    // So does one before the first request of a transfer to the paused server.
    bStop = false;
    const auto start = steady_clock::now();
    const net::TransferOutcome waited = Fetch("/busy");
    EXPECT_LT(steady_clock::now() - start, 1s);
    EXPECT_EQ(waited.intStopCode, 7);
    EXPECT_EQ(waited.intErrorCode, net::kInternetOperationCancelled);
    EXPECT_EQ(log.Of("/busy").size(), 1u);
}

}  // namespace
}  // namespace pullbay::test
