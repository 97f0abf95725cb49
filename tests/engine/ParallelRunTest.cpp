// Several files in flight: what the owner hears stays in list order while
// the transfers end in any order, skips reach the right files, each server
// gets at most its share of connections, and over HTTP/2 one connection
// carries the files at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/TextUnits.h"
#include "engine/DownloaderTestFixture.h"
#include "support/EnvironmentScope.h"
#include "support/NginxServer.h"
#include "support/PatternBytes.h"
#include "support/TlsIdentity.h"
#include "support/WaitFor.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A gate a server handler waits at until the test opens it.
class Gate {
public:
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_bOpen; });
    }
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_bOpen = true;
        m_opened.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_bOpen = false;
};

// Requests a handler is answering at once, and the most seen.
class ConcurrencyProbe {
public:
    void Enter()
    {
        const int intNow = ++m_intActive;
        int intSeen = m_intMost.load();
        while (intNow > intSeen && !m_intMost.compare_exchange_weak(intSeen, intNow)) {
        }
    }
    void Leave() { --m_intActive; }
    int Most() const { return m_intMost.load(); }

private:
    std::atomic<int> m_intActive{0};
    std::atomic<int> m_intMost{0};
};

class ParallelRunTest : public FileListDownloaderTest {
protected:
    ParallelRunTest() { uintParallel = 6; }
};

TEST_F(ParallelRunTest, FilesThatFinishFirstWaitWholeAndAreReportedInListOrder)
{
    Gate gate;
    const std::string first = PatternBytes(0, 5000, 1);
    server.Route("/held", [&](const HttpRequest&) {
        gate.Wait();
        return HttpResponse::Text(200, first);
    });
    engine::FileListDownloader::Items items{Item("/held", L"0.bin", 5000)};
    for (int i = 1; i <= 4; ++i) {
        const std::string path = "/f" + std::to_string(i);
        server.Route(path, HttpResponse::Text(200, PatternBytes(0, 1000, i)));
        items.push_back(Item(path, std::to_wstring(i) + L".bin", 1000));
    }
    auto pEngine = Engine(items);
    std::jthread worker([&] { pEngine->Process(); });
    struct OpenAtEnd {
        Gate& gate;
        ~OpenAtEnd() { gate.Open(); }
    } openAtEnd{gate};

    // The four later files arrive whole while the first is held...
    ASSERT_TRUE(WaitFor([&] { return pEngine->GetProgressStatistic()->GetTransferred() == 4000; }))
        << pEngine->GetProgressStatistic()->GetTransferred() << " requests "
        << server.Requests().size();
    // ...and wait in their temporary files: nothing is committed or
    // reported before the first file.
    EXPECT_TRUE(events.completed.empty());
    for (int i = 1; i <= 4; ++i) {
        EXPECT_FALSE(fs::exists(destination / (std::to_string(i) + ".bin"))) << i;
    }
    EXPECT_EQ(pEngine->GetCurrentIndex(), 0) << "the current file is the lowest unfinished";
    gate.Open();
    worker.join();

    ASSERT_EQ(events.completed.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(events.completed[i]->GetResult(), api::ItemSuccess) << i;
        EXPECT_EQ(events.completed[i]->GetFileName(), std::to_wstring(i) + L".bin");
    }
    EXPECT_EQ(ReadFile(destination / "0.bin"), first);
    EXPECT_EQ(ReadFile(destination / "4.bin"), PatternBytes(0, 1000, 4));
    for (std::size_t i = 1; i < events.progress.size(); ++i) {
        EXPECT_GE(events.progress[i].intIndex, events.progress[i - 1].intIndex)
            << "the progress index went down";
    }
    EXPECT_EQ(pEngine->GetProgressStatistic()->GetTransferred(), 9000u);
}

TEST_F(ParallelRunTest, SkipAllCommitsFilesAlreadyWholeAndStartsNoOther)
{
    uintParallel = 2;
    HttpResponse slow;
    slow.body = PatternBytes(0, 200000);
    slow.chunkSize = 1000;
    slow.delayBetweenChunks = 20ms;
    server.Route("/slow", slow);
    server.Route("/quick", HttpResponse::Text(200, "quick"));

    // 0 and 2 are slow, 1 finishes at once but waits for 0; the last two
    // never get a connection (two per server).
    auto pEngine = Engine({Item("/slow", L"0.bin", 200000), Item("/quick", L"1.txt", 5),
                           Item("/slow", L"2.bin", 200000), Item("/late", L"3.txt", 1),
                           Item("/late", L"4.txt", 1)});
    std::thread worker([&] { pEngine->Process(); });
    ASSERT_TRUE(WaitFor([&] { return server.RequestCount("/slow") == 2; }));
    ASSERT_TRUE(events.WaitForProgressOf(0));
    pEngine->SkipAll();
    worker.join();

    ASSERT_EQ(events.completed.size(), 5u);
    const std::int32_t expected[] = {api::ItemSkipped, api::ItemSuccess, api::ItemSkipped,
                                     api::ItemSkipped, api::ItemSkipped};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(events.completed[i]->GetResult(), expected[i]) << i;
    }
    EXPECT_EQ(ReadFile(destination / "1.txt"), "quick");
    EXPECT_FALSE(fs::exists(destination / "0.bin"));
    EXPECT_FALSE(fs::exists(destination / "2.bin"));
    EXPECT_EQ(server.RequestCount("/late"), 0u);
    // The skipped files' temporary files are gone.
    for (const auto& pItem : events.completed) {
        if (pItem->GetResult() == api::ItemSkipped && !pItem->GetTemporaryFilePath().empty()) {
            EXPECT_FALSE(fs::exists(pItem->GetTemporaryFilePath()));
        }
    }
    ASSERT_EQ(events.errors.size(), 4u);
    const std::int32_t skippedIndexes[] = {0, 2, 3, 4};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(events.errors[i].intCode, api::ErrorCode::kFileSkipped);
        EXPECT_EQ(events.errors[i].intIndex, skippedIndexes[i]);
    }
}

TEST_F(ParallelRunTest, SkipCurrentSkipsTheFileShownNotTheOthersInFlight)
{
    HttpResponse slow;
    slow.body = PatternBytes(0, 60000);
    slow.chunkSize = 1000;
    slow.delayBetweenChunks = 5ms;
    server.Route("/slow", slow);

    auto pEngine = Engine({Item("/slow", L"0.bin", 60000), Item("/slow", L"1.bin", 60000),
                           Item("/slow", L"2.bin", 60000)});
    std::thread worker([&] { pEngine->Process(); });
    ASSERT_TRUE(WaitFor([&] { return server.RequestCount("/slow") == 3; }));
    ASSERT_TRUE(events.WaitForProgressOf(0));
    pEngine->SkipCurrent();
    worker.join();

    ASSERT_EQ(events.completed.size(), 3u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSkipped);
    EXPECT_EQ(events.completed[1]->GetResult(), api::ItemSuccess);
    EXPECT_EQ(events.completed[2]->GetResult(), api::ItemSuccess);
    EXPECT_EQ(ReadFile(destination / "2.bin"), slow.body);
}

TEST_F(ParallelRunTest, EachServerGetsAtMostItsConnectionsWhileBothAreServed)
{
    uintParallel = 3;
    TestHttpServer other;
    ConcurrencyProbe probeA;
    ConcurrencyProbe probeB;
    ConcurrencyProbe both;
    const std::string body = PatternBytes(0, 2000, 5);
    // Each answer takes a while, so that the requests a run allows overlap.
    const auto serve = [&](ConcurrencyProbe& probe) {
        probe.Enter();
        both.Enter();
        std::this_thread::sleep_for(40ms);
        both.Leave();
        probe.Leave();
        return HttpResponse::Text(200, body);
    };
    server.Route("/a", [&](const HttpRequest&) { return serve(probeA); });
    other.Route("/b", [&](const HttpRequest&) { return serve(probeB); });
    engine::FileListDownloader::Items items;
    for (int i = 0; i < 12; ++i) {
        items.push_back(Item("/a", L"a" + std::to_wstring(i), 2000));
        items.push_back(model::FileItem::Create(L"*/*", 2000, L"b" + std::to_wstring(i),
                                                Widen(other.BaseUrl() + "/b")));
    }
    auto pEngine = Engine(items);
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 24u);
    for (const auto& pItem : events.completed) {
        EXPECT_EQ(pItem->GetResult(), api::ItemSuccess) << core::ToUtf8(pItem->GetFileName());
    }
    EXPECT_EQ(probeA.Most(), 3);
    EXPECT_EQ(probeB.Most(), 3);
    EXPECT_LE(server.ConnectionCount(), 3);
    EXPECT_LE(other.ConnectionCount(), 3);
    // Both servers were served at the same time: the second server's files
    // do not wait for the first's.
    EXPECT_GT(both.Most(), 3);
}

// A 503 with Retry-After pauses its server only: no request reaches it
// inside the pause while the other server's files go on; then the file is
// fetched on its next attempt.
TEST_F(ParallelRunTest, RetryAfterPausesOneServerWhileAnotherGoesOn)
{
    settings.SetRetryAfterLimit(5);
    TestHttpServer other;
    using Clock = std::chrono::steady_clock;
    std::mutex mutex;
    std::vector<Clock::time_point> pausedServerRequests;
    std::vector<Clock::time_point> otherServerRequests;
    std::optional<Clock::time_point> busySent;
    const std::string body = PatternBytes(0, 1000, 9);
    server.Route("/a", [&](const HttpRequest&) {
        std::lock_guard lock(mutex);
        pausedServerRequests.push_back(Clock::now());
        if (!busySent) {
            busySent = Clock::now();
            HttpResponse busy = HttpResponse::Text(503, "busy");
            busy.headers = {{"Retry-After", "1"}};
            return busy;
        }
        return HttpResponse::Text(200, body);
    });
    other.Route("/b", [&](const HttpRequest&) {
        {
            std::lock_guard lock(mutex);
            otherServerRequests.push_back(Clock::now());
        }
        std::this_thread::sleep_for(60ms);
        return HttpResponse::Text(200, body);
    });
    engine::FileListDownloader::Items items{Item("/a", L"a0", 1000)};
    for (int i = 0; i < 18; ++i) {
        items.push_back(model::FileItem::Create(L"*/*", 1000, L"b" + std::to_wstring(i),
                                                Widen(other.BaseUrl() + "/b")));
    }
    items.push_back(Item("/a", L"a1", 1000));
    auto pEngine = Engine(items);
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), items.size());
    for (const auto& pItem : events.completed) {
        EXPECT_EQ(pItem->GetResult(), api::ItemSuccess) << core::ToUtf8(pItem->GetFileName());
    }
    ASSERT_EQ(pausedServerRequests.size(), 3u) << "the 503, then a0 and a1";
    ASSERT_TRUE(busySent);
    // a1 may have been asked for before the 503 went out; after it, nothing
    // until the second has passed (a little less: the server's clock and
    // ours start the pause a few instants apart).
    const Clock::time_point pauseEnd = *busySent + 1s;
    for (const Clock::time_point at : pausedServerRequests) {
        EXPECT_FALSE(at > *busySent + 20ms && at < pauseEnd - 50ms)
            << "a request inside the pause, "
            << std::chrono::duration_cast<std::chrono::milliseconds>(at - *busySent).count()
            << " ms after the 503";
    }
    EXPECT_GE(pausedServerRequests.back(), pauseEnd - 50ms) << "the file was tried again";
    const auto duringPause = std::count_if(
        otherServerRequests.begin(), otherServerRequests.end(),
        [&](Clock::time_point at) { return at > *busySent + 50ms && at < pauseEnd - 50ms; });
    EXPECT_GT(duringPause, 0) << "the other server's files waited for the pause";
}

TEST_F(ParallelRunTest, SkipAllEndsARetryAfterPauseAtOnce)
{
    settings.SetRetryAfterLimit(60);
    HttpResponse busy = HttpResponse::Text(503, "busy");
    busy.headers = {{"Retry-After", "30"}};
    server.Route("/a", busy);
    auto pEngine = Engine({Item("/a", L"a0", 10), Item("/a", L"a1", 10)});
    std::thread worker([&] { pEngine->Process(); });
    // Both files were asked for at once, and both were told to wait.
    ASSERT_TRUE(server.WaitForRequests(2, 10s));
    ASSERT_TRUE(WaitFor([&] { return pEngine->IsWaitingForReconnect(); }));
    const auto skipped = std::chrono::steady_clock::now();
    pEngine->SkipAll();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - skipped, 2s);
    EXPECT_EQ(server.RequestCount("/a"), 2u);
    ASSERT_EQ(events.completed.size(), 2u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSkipped);
    EXPECT_EQ(events.completed[1]->GetResult(), api::ItemSkipped);
}

// nginx with HTTP/2 over TLS: the files to it share one connection, and
// more of them are in flight at once than one server's HTTP/1.1 share.
TEST_F(ParallelRunTest, OneTlsConnectionCarriesManyFilesAtOnceOverHttp2)
{
    if (!fs::exists(NginxServer::kBinary)) {
        GTEST_SKIP() << "nginx is not installed";
    }
    const fs::path folder = fs::path(std::getenv("TMPDIR")) / "h2";
    NginxServer nginx(folder / "server");
    constexpr int kFiles = 16;
    constexpr std::size_t kBytes = 64 * 1024;
    fs::create_directories(nginx.Root() / "paced");
    for (int i = 0; i < kFiles; ++i) {
        std::ofstream(nginx.Root() / "paced" / (std::to_string(i) + ".bin"), std::ios::binary)
            << PatternBytes(0, kBytes, i);
    }
    const TlsIdentity identity = TlsIdentity::SelfSigned("127.0.0.1");
    std::ofstream(folder / "ca.pem") << identity.certificatePem;
    ASSERT_EQ(nginx.Start(identity.certificatePem, identity.privateKeyPem), "");
    EnvironmentScope environment;
    environment.Set("CURL_CA_BUNDLE", (folder / "ca.pem").string());

    engine::FileListDownloader::Items items;
    for (int i = 0; i < kFiles; ++i) {
        items.push_back(model::FileItem::Create(
            L"*/*", kBytes, std::to_wstring(i) + L".bin",
            Widen(nginx.HttpsUrl() + "/paced/" + std::to_string(i) + ".bin")));
    }
    uintParallel = 2;
    auto pEngine = Engine(items);
    pEngine->Process();
    nginx.Stop();

    ASSERT_EQ(events.completed.size(), static_cast<std::size_t>(kFiles));
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(events.completed[static_cast<std::size_t>(i)]->GetResult(), api::ItemSuccess);
        EXPECT_EQ(ReadFile(destination / (std::to_string(i) + ".bin")), PatternBytes(0, kBytes, i));
    }
    // "<connection> <protocol> <end> <duration> <uri> <status>"
    std::ifstream log(nginx.AccessLog());
    std::set<std::string> connections;
    std::vector<std::pair<double, double>> spans;
    for (std::string strLine; std::getline(log, strLine);) {
        std::istringstream fields(strLine);
        std::string strConnection;
        std::string strProtocol;
        double dblEnd = 0;
        double dblDuration = 0;
        fields >> strConnection >> strProtocol >> dblEnd >> dblDuration;
        EXPECT_EQ(strProtocol, "HTTP/2.0") << strLine;
        connections.insert(strConnection);
        spans.emplace_back(dblEnd - dblDuration, dblEnd);
    }
    ASSERT_EQ(spans.size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(connections.size(), 1u) << "every file over one connection";
    // The most transfers under way at one moment: more than the two
    // connections an HTTP/1.1 server would get.
    std::size_t uintMost = 0;
    for (const auto& span : spans) {
        const double dblMoment = span.first + (span.second - span.first) / 2;
        uintMost = std::max<std::size_t>(
            uintMost, static_cast<std::size_t>(
                          std::count_if(spans.begin(), spans.end(), [&](const auto& other) {
                              return other.first <= dblMoment && dblMoment <= other.second;
                          })));
    }
    EXPECT_GT(uintMost, 2u);
}

}  // namespace
}  // namespace pullbay::test

namespace pullbay::test {
namespace {

// What a run leaves that the owner and the person see, Progress aside.
struct RunRecord {
    std::vector<std::string> reports;
    std::vector<std::string> files;
    bool operator==(const RunRecord&) const = default;
};

// The same mixed list one file at a time and six at once: every report,
// question and file is the same.
TEST_F(FileListDownloaderTest, SeveralInFlightTellWhatOneAtATimeTells)
{
    server.Route("/good", HttpResponse::Text(200, PatternBytes(0, 3000, 2)));
    server.Route("/typed", HttpResponse::Text(200, "<html/>", "text/html"));
    server.Route("/short", HttpResponse::Text(200, "1234"));
    HttpResponse slow = HttpResponse::Text(200, PatternBytes(0, 20000, 3));
    slow.chunkSize = 2000;
    slow.delayBetweenChunks = 5ms;
    server.Route("/slow", slow);

    const auto record = [&](std::uint32_t uintCount) {
        fs::remove_all(destination);
        fs::create_directories(destination);
        std::ofstream(destination / "taken.bin") << "the user's";
        events.completed.clear();
        events.errors.clear();
        events.clashes.clear();
        events.progress.clear();
        events.scriptedAnswers = {model::FileExistsDialogAction::Rename,
                                  model::FileExistsDialogAction::Skip};
        events.clashAnswer = model::FileExistsDialogAction::Rename;
        uintParallel = uintCount;
        auto pEngine = Engine({Item("/slow", L"same.bin", 20000), Item("/missing", L"gone.bin", 1),
                               Item("/good", L"taken.bin", 3000), Item("/good", L"same.bin", 3000),
                               Item("/typed", L"t.zip", 7, L"application/zip"),
                               Item("/short", L"sub/short.bin", 10), Item("/good", L"../up", 3000),
                               Item("/slow", L"taken.bin", 20000), Item("/good", L"sub/ok", 3000)});
        pEngine->Process();
        RunRecord run;
        for (const auto& error : events.errors) {
            run.reports.push_back(
                "error " + std::to_string(error.intIndex) + " " + std::to_string(error.intCode) +
                " " + std::to_string(error.intHttpCode) + " " + core::ToUtf8(error.strDescription));
        }
        for (const auto& pItem : events.completed) {
            run.reports.push_back("done " + core::ToUtf8(pItem->GetFileName()) + " " +
                                  std::to_string(pItem->GetResult()) + " " +
                                  core::ToUtf8(pItem->FullDestinationPath()));
        }
        for (const auto& strClash : events.clashes) {
            run.reports.push_back("clash " + core::ToUtf8(strClash));
        }
        for (const auto& entry : fs::recursive_directory_iterator(destination)) {
            run.files.push_back(
                entry.path().lexically_relative(destination).string() + " " +
                (entry.is_regular_file() ? std::to_string(entry.file_size()) : "/"));
        }
        std::sort(run.files.begin(), run.files.end());
        return run;
    };
    const RunRecord one = record(1);
    const RunRecord six = record(6);
    EXPECT_EQ(one.reports, six.reports);
    EXPECT_EQ(one.files, six.files);
    EXPECT_EQ(one.reports.size(), 9u + 3u + 3u) << "nine files, three errors, three questions";
}

}  // namespace
}  // namespace pullbay::test
