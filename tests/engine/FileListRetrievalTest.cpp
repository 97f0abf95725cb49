// Fetching a file list from the scripted loopback server: what reaches the
// sink for a list that trickles in, for failed retrievals, for a sink that
// fails, and around a cancel (of a stalled server, of a list still arriving,
// of a sink call under way, before the work ran).
#include <gtest/gtest.h>

#include <netdb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/TextUnits.h"
#include "engine/DownloadWork.h"
#include "engine/FileListRetrieval.h"
#include "support/GzipBytes.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

using engine::FileListBatch;
using engine::FileListRetrieval;
using namespace std::chrono_literals;

// Records every call as text; counts calls that begin after the test marked
// the retrieval cancelled. onBatch may block or throw.
class RecordingSink : public engine::IFileListSink {
public:
    std::function<void()> onBatch;

    void AddBatch(FileListBatch batch) override
    {
        std::wstring strCall = L"batch";
        for (const auto& entry : batch.entries) {
            strCall += L" " + (entry.IsItem() ? entry.pItem->GetUrl()
                                              : std::to_wstring(entry.intErrorCode));
        }
        Note(strCall);
        if (onBatch) {
            onBatch();
        }
    }
    void RetrievalFailed(std::int32_t intCode, std::wstring strDescription,
                         std::int32_t intHttpStatus, std::wstring strResponseText,
                         std::wstring strListUrl) override
    {
        Note(L"failed " + std::to_wstring(intCode) + L"|" + strDescription + L"|" +
             std::to_wstring(intHttpStatus) + L"|" + strResponseText + L"|" + strListUrl);
    }
    void Progress(std::int64_t intDone, std::int64_t /*intExpected*/) override
    {
        intLastProgress.store(intDone);
        if (bCancelled.load()) {
            ++intCallsAfterCancel;
        }
    }
    void Ended(std::int32_t intResult) override { Note(L"ended " + std::to_wstring(intResult)); }

    bool WaitForCalls(std::size_t uintCount)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 20s, [&] { return calls.size() >= uintCount; });
    }
    std::vector<std::wstring> Calls()
    {
        std::lock_guard lock(m_mutex);
        return calls;
    }

    std::atomic<bool> bCancelled{false};
    std::atomic<int> intCallsAfterCancel{0};
    std::atomic<std::int64_t> intLastProgress{-1};

private:
    void Note(std::wstring strCall)
    {
        std::lock_guard lock(m_mutex);
        calls.push_back(std::move(strCall));
        intCallsAfterCancel += bCancelled.load() ? 1 : 0;
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::wstring> calls;
};

std::shared_ptr<FileListRetrieval> MakeRetrieval(const std::string& strUrl,
                                                 const std::shared_ptr<RecordingSink>& pSink,
                                                 int intTimeOut = 5000,
                                                 const std::string& strPageAddress = "")
{
    return FileListRetrieval::Create(core::FromUtf8(strUrl), L"session=abc",
                                     core::FromUtf8(strPageAddress), intTimeOut, 0, 0, pSink);
}

// The number of list items in the batches of these calls.
std::size_t ItemCount(const std::vector<std::wstring>& calls)
{
    std::size_t uintItems = 0;
    for (const std::wstring& strCall : calls) {
        for (std::size_t at = strCall.find(L" http"); at != std::wstring::npos;
             at = strCall.find(L" http", at + 1)) {
            uintItems += strCall.rfind(L"batch", 0) == 0 ? 1 : 0;
        }
    }
    return uintItems;
}

// Runs the work item on a thread of its own, as the pool would.
std::thread RunWork(const std::shared_ptr<FileListRetrieval>& pRetrieval)
{
    return std::thread([pWork = pRetrieval->CreateWork()] {
        try {
            pWork->Execute(0);
        } catch (...) {
        }
    });
}

// Cancels, checks that the cancel returns within 100 ms and that the worker
// ends soon after without another sink call.
void CancelAndCheck(std::shared_ptr<FileListRetrieval> pRetrieval, RecordingSink& sink,
                    std::thread& worker, const std::function<void()>& afterCancel = {})
{
    const auto start = std::chrono::steady_clock::now();
    pRetrieval->Cancel();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
    sink.bCancelled.store(true);
    // The owner lets go at once; the work keeps what it needs.
    pRetrieval.reset();
    if (afterCancel) {
        afterCancel();
    }
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(sink.intCallsAfterCancel.load(), 0);
}

TEST(FileListRetrievalTest, ListInSmallDelayedChunksArrivesComplete)
{
    TestHttpServer server;
    const std::string strBase = server.BaseUrl() + "/lists/";
    std::string strList = "\xEF\xBB\xBF";
    std::wstring strExpected = L"batch";
    for (int intLine = 0; intLine < 40; ++intLine) {
        const std::string strName = "f\xC3\xA4" + std::to_string(intLine) + ".bin";
        strList += "application/octet|1|files/" + strName + "|" + strName + "\r\n";
        strExpected +=
            core::FromUtf8(" " + strBase + "files/f%C3%A4" + std::to_string(intLine) + ".bin");
    }
    strList += "not a line\r\napplication/octet|1|last.bin|last.bin";
    strExpected += core::FromUtf8(" 100 " + strBase + "last.bin");
    HttpResponse response = HttpResponse::Text(200, strList);
    response.chunkSize = 7;
    response.delayBetweenChunks = 1ms;
    server.Route("/lists/files.txt", response);

    auto pSink = std::make_shared<RecordingSink>();
    std::thread worker = RunWork(MakeRetrieval(strBase + "files.txt", pSink));
    worker.join();

    // Joined back into one batch, the batches are the list in order.
    std::wstring strJoined = L"batch";
    auto calls = pSink->Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.back(), L"ended 1");
    calls.pop_back();
    for (const auto& call : calls) {
        ASSERT_EQ(call.rfind(L"batch ", 0), 0u) << core::ToUtf8(call);
        strJoined += call.substr(5);
    }
    EXPECT_EQ(strJoined, strExpected);
    EXPECT_EQ(pSink->intLastProgress.load(), static_cast<std::int64_t>(strList.size()));
    EXPECT_EQ(server.Requests().at(0).Header("Cookie").value_or(""), "session=abc");
}

TEST(FileListRetrievalTest, FailedRetrievalIsReportedOnceThenEnds)
{
    struct Case {
        int intStatus;  // 0: nobody listens on the port any more
        std::wstring strReport;
    };
    const Case cases[] = {
        {404, L"failed 201|Internal error code: 0|404|no such list|"},
        {500, L"failed 200|Internal error code: 0|500|no such list|"},
        {0, L"failed 200|Internal error code: 12029|0||"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.intStatus);
        TestHttpServer server;
        server.Route("/list.txt", HttpResponse::Text(row.intStatus, "no such list"));
        const std::string strUrl = server.BaseUrl() + "/list.txt";
        if (row.intStatus == 0) {
            server.Stop();
        }
        auto pSink = std::make_shared<RecordingSink>();
        MakeRetrieval(strUrl, pSink)->Run();
        EXPECT_EQ(pSink->Calls(),
                  (std::vector<std::wstring>{row.strReport + core::FromUtf8(strUrl), L"ended 2"}));
    }
}

TEST(FileListRetrievalTest, UnresolvableHostIs202)
{
    const auto start = std::chrono::steady_clock::now();
    addrinfo* pResult = nullptr;
    const int intLookup = ::getaddrinfo("nonexistent.invalid", "80", nullptr, &pResult);
    if (pResult != nullptr) {
        ::freeaddrinfo(pResult);
    }
    if (intLookup == 0 || std::chrono::steady_clock::now() - start > 500ms) {
        GTEST_SKIP() << "the resolver here does not refuse the name quickly";
    }
    auto pSink = std::make_shared<RecordingSink>();
    MakeRetrieval("http://nonexistent.invalid/list.txt", pSink)->Run();
    EXPECT_EQ(pSink->Calls(),
              (std::vector<std::wstring>{
                  L"failed 202|Internal error code: 12007|0||http://nonexistent.invalid/list.txt",
                  L"ended 2"}));
}

// A list past the size limit ends with Error 200 naming the limit; the lines
// wholly within it stay, nothing after it is read, however the body came.
TEST(FileListRetrievalTest, ListPastTheSizeLimitEndsWith200AndKeepsTheLinesWithin)
{
    constexpr std::uint64_t kLimit = 4096;
    std::string strList;
    std::size_t uintWithin = 0;
    for (int intLine = 0; strList.size() < 64 * 1024; ++intLine) {
        strList +=
            "a/b|1|f" + std::to_string(intLine) + ".bin|f" + std::to_string(intLine) + ".bin\n";
        uintWithin += strList.size() <= kLimit ? 1 : 0;
    }
    for (const bool bChunked : {false, true}) {
        SCOPED_TRACE(bChunked ? "chunked" : "with a length");
        TestHttpServer server;
        HttpResponse response = HttpResponse::Text(200, strList);
        response.chunked = bChunked;
        response.sendContentLength = !bChunked;
        server.Route("/list.txt", response);
        const std::string strUrl = server.BaseUrl() + "/list.txt";
        auto pSink = std::make_shared<RecordingSink>();
        auto pRetrieval = MakeRetrieval(strUrl, pSink);
        pRetrieval->SetMaxListBytes(kLimit);

        pRetrieval->Run();

        const auto calls = pSink->Calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls[calls.size() - 2],
                  L"failed 200|The file list is larger than 4096 bytes|200||" +
                      core::FromUtf8(strUrl));
        EXPECT_EQ(calls.back(), L"ended 2");
        std::size_t uintItems = 0;
        for (std::size_t i = 0; i + 2 < calls.size(); ++i) {
            ASSERT_EQ(calls[i].rfind(L"batch", 0), 0u) << core::ToUtf8(calls[i]);
            for (std::size_t at = calls[i].find(L" http"); at != std::wstring::npos;
                 at = calls[i].find(L" http", at + 1)) {
                ++uintItems;
            }
        }
        EXPECT_EQ(uintItems, uintWithin);
        EXPECT_EQ(server.Requests().size(), 1u);
    }
}

TEST(FileListRetrievalTest, GzipEncodedListIsDecodedWithTheLimitOnTheDecodedBytes)
{
    std::string strList;
    for (int intLine = 0; intLine < 2000; ++intLine) {
        strList +=
            "a/b|1|f" + std::to_string(intLine) + ".bin|f" + std::to_string(intLine) + ".bin\n";
    }
    TestHttpServer server;
    HttpResponse response = HttpResponse::Text(200, GzipBytes(strList));
    response.headers.push_back({"Content-Encoding", "gzip"});
    server.Route("/list.txt", response);
    const std::string strUrl = server.BaseUrl() + "/list.txt";

    auto pSink = std::make_shared<RecordingSink>();
    MakeRetrieval(strUrl, pSink)->Run();
    auto calls = pSink->Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), L"ended 1");
    EXPECT_EQ(ItemCount(calls), 2000u);
    EXPECT_EQ(pSink->intLastProgress.load(), static_cast<std::int64_t>(strList.size()));

    // The encoded list is far below the limit; what it decodes to is not.
    ASSERT_LT(response.body.size(), 16u * 1024);
    pSink = std::make_shared<RecordingSink>();
    auto pRetrieval = MakeRetrieval(strUrl, pSink);
    pRetrieval->SetMaxListBytes(16 * 1024);
    pRetrieval->Run();
    calls = pSink->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2],
              L"failed 200|The file list is larger than 16384 bytes|200||" +
                  core::FromUtf8(strUrl));
    EXPECT_EQ(calls.back(), L"ended 2");
}

TEST(FileListRetrievalTest, CookieGoesOnlyToThePageOrigin)
{
    TestHttpServer server;
    TestHttpServer pages;
    server.Route("/list.txt", HttpResponse::Text(200, "a/b|1|f.bin|f.bin\n"));
    const std::string strUrl = server.BaseUrl() + "/list.txt";

    MakeRetrieval(strUrl, std::make_shared<RecordingSink>(), 5000,
                  pages.BaseUrl() + "/shop/page.html")
        ->Run();
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(server.Requests().back().Header("Cookie").has_value());

    MakeRetrieval(strUrl, std::make_shared<RecordingSink>(), 5000,
                  server.BaseUrl() + "/shop/page.html")
        ->Run();
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests().back().Header("Cookie").value_or(""), "session=abc");
}

TEST(FileListRetrievalTest, SinkFailingOnTheLastLineStillEndsTheRetrieval)
{
    TestHttpServer server;
    server.Route("/list.txt", HttpResponse::Text(200, "a/b|1|x.y|x.y\na/b|2|z.y|z.y"));
    auto pSink = std::make_shared<RecordingSink>();
    int intBatches = 0;
    // The second batch is the last line's, delivered at the transfer's end.
    pSink->onBatch = [&] {
        if (++intBatches == 2) {
            throw std::runtime_error("list refused");
        }
    };
    auto pRetrieval = MakeRetrieval(server.BaseUrl() + "/list.txt", pSink);
    EXPECT_THROW(pRetrieval->Run(), std::runtime_error);
    EXPECT_EQ(pSink->Calls().back(), L"ended 2");
    pRetrieval->Run();  // one-shot
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(FileListRetrievalTest, CancelOfStalledServerIsQuickAndFinal)
{
    TestHttpServer server;
    HttpResponse stall;
    stall.neverRespond = true;
    server.Route("/list.txt", stall);
    auto pSink = std::make_shared<RecordingSink>();
    // No time-out: only the cancel can end this transfer.
    auto pRetrieval = MakeRetrieval(server.BaseUrl() + "/list.txt", pSink, 0);
    std::thread worker = RunWork(pRetrieval);
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    CancelAndCheck(std::move(pRetrieval), *pSink, worker);
    EXPECT_TRUE(pSink->Calls().empty());
}

TEST(FileListRetrievalTest, CancelWhileListArrivesStopsEveryLaterCall)
{
    TestHttpServer server;
    HttpResponse slow = HttpResponse::Text(200, "a/b|1|x.y|x.y\na/b|2|z.y|z.y\n");
    slow.chunkSize = 14;
    slow.delayBetweenChunks = 10s;
    server.Route("/list.txt", slow);
    auto pSink = std::make_shared<RecordingSink>();
    auto pRetrieval = MakeRetrieval(server.BaseUrl() + "/list.txt", pSink, 0);
    std::thread worker = RunWork(pRetrieval);
    ASSERT_TRUE(pSink->WaitForCalls(1));
    // Once the first chunk's progress is out, the worker waits for the
    // server: no sink call is under way when the cancel comes.
    while (pSink->intLastProgress.load() < 14) {
        std::this_thread::sleep_for(1ms);
    }
    CancelAndCheck(pRetrieval, *pSink, worker);
    EXPECT_EQ(pSink->Calls().size(), 1u);
    EXPECT_TRUE(pRetrieval->IsCancelled());
}

TEST(FileListRetrievalTest, CancelDoesNotWaitForACallUnderWay)
{
    // A batch call that waits for the cancelling thread (as a call carried to
    // the GUI thread does) must not deadlock the cancel; nothing follows it.
    TestHttpServer server;
    server.Route("/list.txt", HttpResponse::Text(200, "a/b|1|x.y|x.y\n"));
    auto pSink = std::make_shared<RecordingSink>();
    std::mutex gateMutex;
    std::condition_variable gate;
    bool bReleased = false;
    pSink->onBatch = [&] {
        std::unique_lock lock(gateMutex);
        gate.wait(lock, [&] { return bReleased; });
    };
    auto pRetrieval = MakeRetrieval(server.BaseUrl() + "/list.txt", pSink);
    std::thread worker = RunWork(pRetrieval);
    ASSERT_TRUE(pSink->WaitForCalls(1));
    CancelAndCheck(std::move(pRetrieval), *pSink, worker, [&] {
        std::lock_guard lock(gateMutex);
        bReleased = true;
        gate.notify_all();
    });
    EXPECT_EQ(pSink->Calls().size(), 1u);
}

TEST(FileListRetrievalTest, CancelBeforeTheWorkRunsFetchesNothing)
{
    TestHttpServer server;
    auto pSink = std::make_shared<RecordingSink>();
    auto pRetrieval = MakeRetrieval(server.BaseUrl() + "/list.txt", pSink);
    auto pWork = pRetrieval->CreateWork();
    pRetrieval->Cancel();
    pRetrieval.reset();
    EXPECT_EQ(pWork->Execute(0), 0);
    EXPECT_TRUE(pSink->Calls().empty());
    EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace pullbay::test
