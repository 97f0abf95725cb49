// Several exchanges driven at once on one multi handle: they overlap, each
// gets its own body, a stop ends only its own exchange, and a completion
// may start the next exchange.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "RecordingDownloadEvents.h"
#include "net/CurlSession.h"
#include "net/HttpExchange.h"
#include "net/MultiDriver.h"
#include "net/WInetDownloader.h"
#include "support/MemoryStream.h"
#include "support/PatternBytes.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

using namespace std::chrono_literals;

// Keeps the body of one response.
class BodyHandler final : public net::IHttpExchangeHandler {
public:
    BodyDisposition OnResponseHead(const net::HttpResponseHead& head) override
    {
        intStatus = head.intStatus;
        return BodyDisposition::Read;
    }
    bool OnResponseBody(const char* pData, std::size_t uintSize) override
    {
        body.append(pData, uintSize);
        return true;
    }
    int intStatus = 0;
    std::string body;
};

struct EasyDeleter {
    void operator()(CURL* pEasy) const { curl_easy_cleanup(pEasy); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

// One exchange of the test with its own easy handle and result.
struct Slot {
    Easy easy{curl_easy_init()};
    BodyHandler handler;
    std::unique_ptr<net::HttpExchange> pExchange;
    std::optional<net::HttpExchangeResult> result;
};

class MultiDriverTest : public ::testing::Test {
protected:
    void Start(net::MultiDriver& driver, Slot& slot, const std::string& strPath,
               std::function<bool()> stop = {})
    {
        slot.pExchange = std::make_unique<net::HttpExchange>(slot.easy.get(), slot.handler);
        net::HttpExchangeRequest request;
        request.strUrl = server.BaseUrl() + strPath;
        request.intTimeOutMs = 10000;
        request.stopRequested = std::move(stop);
        slot.pExchange->Begin(request);
        driver.Attach(*slot.pExchange,
                      [&slot](net::HttpExchange&, net::HttpExchangeResult r) { slot.result = r; });
    }

    // Steps until every exchange is back, or 10 s pass.
    static bool DriveAll(net::MultiDriver& driver)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!driver.Empty()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            driver.Step(20ms);
        }
        return true;
    }

    TestHttpServer server;
    std::shared_ptr<net::CurlSession> pSession = net::CurlSession::Open();
};

TEST_F(MultiDriverTest, ExchangesRunAtOnceAndEachGetsItsOwnBody)
{
    // The gate answers only once all four requests are in: exchanges that
    // ran one after another would each wait out the gate and get 504.
    constexpr int kCount = 4;
    std::mutex mutex;
    std::condition_variable arrived;
    int intArrived = 0;
    server.Route("/gate", [&](const HttpRequest& request) {
        std::unique_lock lock(mutex);
        ++intArrived;
        arrived.notify_all();
        const bool bAll = arrived.wait_for(lock, 3s, [&] { return intArrived >= kCount; });
        const std::string& strTarget = request.strTarget;
        const std::string strIndex = strTarget.substr(strTarget.find('?') + 1);
        return bAll
                   ? HttpResponse::Text(200, PatternBytes(0, 50000 + strIndex.size(), 7) + strIndex)
                   : HttpResponse::Text(504, "alone");
    });
    net::MultiDriver driver(pSession->Multi());
    std::vector<Slot> slots(kCount);
    for (int i = 0; i < kCount; ++i) {
        Start(driver, slots[i], "/gate?" + std::string(static_cast<std::size_t>(i) + 1, 'i'));
    }
    EXPECT_EQ(driver.Count(), static_cast<std::size_t>(kCount));

    ASSERT_TRUE(DriveAll(driver));
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(i);
        const std::string strIndex(static_cast<std::size_t>(i) + 1, 'i');
        ASSERT_TRUE(slots[i].result.has_value());
        EXPECT_EQ(slots[i].result->end, net::HttpExchangeResult::End::Completed);
        EXPECT_EQ(slots[i].handler.intStatus, 200);
        EXPECT_EQ(slots[i].handler.body, PatternBytes(0, 50000 + strIndex.size(), 7) + strIndex);
    }
}

TEST_F(MultiDriverTest, AStopEndsOnlyItsOwnExchangeAndACompletionMayStartTheNext)
{
    HttpResponse silent;
    silent.neverRespond = true;
    server.Route("/silent", silent);
    server.Route("/a", HttpResponse::Text(200, "first"));
    server.Route("/b", HttpResponse::Text(200, "second"));

    net::MultiDriver driver(pSession->Multi());
    Slot stalled;
    bool bStop = false;
    Start(driver, stalled, "/silent", [&] { return bStop; });
    // The completion of /a starts /b on the same easy handle, as a next hop
    // or attempt would.
    Slot chained;
    chained.pExchange = std::make_unique<net::HttpExchange>(chained.easy.get(), chained.handler);
    net::HttpExchangeRequest request;
    request.strUrl = server.BaseUrl() + "/a";
    chained.pExchange->Begin(request);
    std::vector<std::string> bodies;
    driver.Attach(*chained.pExchange, [&](net::HttpExchange& exchange, net::HttpExchangeResult) {
        bodies.push_back(chained.handler.body);
        chained.handler.body.clear();
        if (bodies.size() == 1) {
            net::HttpExchangeRequest next;
            next.strUrl = server.BaseUrl() + "/b";
            exchange.Begin(next);
            driver.Attach(exchange, [&](net::HttpExchange&, net::HttpExchangeResult r) {
                bodies.push_back(chained.handler.body);
                chained.result = r;
                bStop = true;
            });
        }
    });

    ASSERT_TRUE(DriveAll(driver));
    EXPECT_EQ(bodies, (std::vector<std::string>{"first", "second"}));
    ASSERT_TRUE(chained.result.has_value());
    EXPECT_EQ(chained.result->end, net::HttpExchangeResult::End::Completed);
    ASSERT_TRUE(stalled.result.has_value());
    EXPECT_EQ(stalled.result->end, net::HttpExchangeResult::End::StopRequested);
    EXPECT_EQ(server.ConnectionCount(), 2) << "the chained exchange reused its connection";
}

TEST_F(MultiDriverTest, TransfersShareTheDriverAndEachKeepsItsOwnAttempts)
{
    // "/slow" is held until "/cut" has been asked for twice: the second
    // transfer's cut, pause and resumed attempt happen while the first
    // one's exchange is open.
    const std::string slowBody = PatternBytes(0, 80000, 3);
    const std::string cutBody = PatternBytes(0, 120000, 5);
    server.Route("/slow", [&](const HttpRequest&) {
        server.WaitForRequests(3, 5s);
        return HttpResponse::Text(200, slowBody, "application/octet-stream");
    });
    auto pCount = std::make_shared<std::atomic<int>>(0);
    server.Route("/cut", [cutBody, pCount](const HttpRequest&) {
        HttpResponse response;
        response.body = cutBody;
        response.honourRange = true;
        response.headers = {{"ETag", "\"c1\""}};
        if ((*pCount)++ == 0) {
            response.closeAfterBodyBytes = 50000;
        }
        return response;
    });

    net::MultiDriver driver(pSession->Multi());
    struct Transfer {
        Easy easy{curl_easy_init()};
        RecordingDownloadEvents events;
        MemoryStream stream;
        net::WInetDownloader downloader;
        std::optional<net::TransferOutcome> outcome;
    };
    std::vector<std::unique_ptr<Transfer>> transfers;
    for (const std::string strPath : {"/slow", "/cut"}) {
        auto pTransfer = std::make_unique<Transfer>();
        Transfer& transfer = *pTransfer;
        transfer.downloader.SetDownloadEvents(&transfer.events);
        transfer.downloader.SetOutputStream(&transfer.stream);
        transfer.downloader.SetReconnectTimeOut(30);
        const std::string strUrl = server.BaseUrl() + strPath;
        transfer.downloader.Start(
            std::wstring(strUrl.begin(), strUrl.end()).c_str(), pSession, transfer.easy.get(),
            driver,
            [&transfer](net::TransferOutcome ended) { transfer.outcome = std::move(ended); });
        transfers.push_back(std::move(pTransfer));
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!transfers[0]->outcome || !transfers[1]->outcome) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        auto wait = std::chrono::milliseconds(20);
        for (auto& pTransfer : transfers) {
            pTransfer->downloader.Poll(wait);
        }
        driver.Step(wait);
    }

    ASSERT_TRUE(transfers[0]->outcome->bSucceeded);
    EXPECT_EQ(transfers[0]->stream.Contents(), slowBody);
    EXPECT_EQ(transfers[0]->events.Count(DownloadCallback::Kind::Waiting), 0);
    ASSERT_TRUE(transfers[1]->outcome->bSucceeded);
    EXPECT_EQ(transfers[1]->stream.Contents(), cutBody);
    EXPECT_EQ(transfers[1]->events.Count(DownloadCallback::Kind::Waiting), 1);
    EXPECT_EQ(transfers[1]->outcome->intBytesWritten, static_cast<std::int64_t>(cutBody.size()));
    ASSERT_EQ(server.RequestCount("/cut"), 2u);
    const auto requests = server.Requests();
    std::vector<std::string> ranges;
    for (const auto& request : requests) {
        if (request.Path() == "/cut") {
            ranges.push_back(request.Header("Range").value_or(""));
        }
    }
    EXPECT_EQ(ranges, (std::vector<std::string>{"", "bytes=50000-"}));
    EXPECT_EQ(server.RequestCount("/slow"), 1u);
}

}  // namespace
}  // namespace pullbay::test
