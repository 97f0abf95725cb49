// The HTTP transfer against the scripted loopback server: attempts and
// resumption, status and body rules, time-outs, stop condition, redirects,
// stream faults and connection reuse.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "RecordingDownloadEvents.h"
#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "core/Win32Errors.h"
#include "loopback/LoopbackServer.h"
#include "net/IDownloadDirectEvents.h"
#include "net/InternetErrors.h"
#include "net/WInetDownloader.h"
#include "support/GzipBytes.h"
#include "support/MemoryStream.h"
#include "support/PatternBytes.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

using Kind = DownloadCallback::Kind;
using namespace std::chrono_literals;

class WInetDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        downloader.SetDownloadEvents(&events);
        downloader.SetOutputStream(&stream);
        downloader.SetReconnectTimeOut(5);
    }

    void Fetch(const std::string& strPath) { downloader.Download(Url(strPath).c_str()); }
    std::wstring Url(const std::string& strPath) const { return Widen(server.BaseUrl() + strPath); }

    TestHttpServer server;
    RecordingDownloadEvents events;
    MemoryStream stream;
    RecordingDownloader downloader;
};

TEST_F(WInetDownloaderTest, WholeBodyReachesStreamWithTypeBeforeFirstByteAndFinalEmptyRead)
{
    const std::string body = PatternBytes(0, 10000);
    HttpResponse response;
    response.body = body;
    response.contentType = "application/zip; charset=binary";
    server.Route("/f", response);

    Fetch("/f");

    EXPECT_EQ(stream.Contents(), body);
    ASSERT_GE(events.calls.size(), 4u);
    EXPECT_EQ(events.calls.front().kind, Kind::MimeType);
    EXPECT_EQ(events.calls.front().strText, L"application/zip; charset=binary");
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
    EXPECT_EQ(events.Outcome().intStatus, 200);
    EXPECT_EQ(events.Outcome().strText, L"");
    // Progress rises by slices of at most 4096 and ends with a repeated
    // final position (the empty read).
    std::int64_t intLast = 0;
    std::vector<std::int64_t> positions;
    for (const auto& call : events.calls) {
        if (call.kind == Kind::Progress) {
            EXPECT_EQ(call.intDeclared, 10000);
            EXPECT_LE(call.intPosition - intLast, 4096);
            EXPECT_GE(call.intPosition, intLast);
            intLast = call.intPosition;
            positions.push_back(call.intPosition);
        }
    }
    ASSERT_GE(positions.size(), 4u);
    EXPECT_EQ(positions[positions.size() - 1], 10000);
    EXPECT_EQ(positions[positions.size() - 2], 10000);
    EXPECT_EQ(server.RequestCount("/f"), 1u);
}

TEST_F(WInetDownloaderTest, ErrorStatusIsFetchedOnceWithBodyAsResponseText)
{
    server.Route("/missing", HttpResponse::Text(404, "no such file here"));

    Fetch("/missing");

    EXPECT_EQ(server.RequestCount("/missing"), 1u);
    EXPECT_EQ(events.Count(Kind::Waiting), 0);
    EXPECT_EQ(events.Count(Kind::MimeType), 0);
    EXPECT_EQ(stream.Contents(), "");
    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intStatus, 404);
    EXPECT_EQ(events.Outcome().intErrorCode, 0);
    EXPECT_EQ(events.Outcome().strText, L"no such file here");
}

TEST_F(WInetDownloaderTest, ErrorBodyIsUtf8TextCutAtZeroBytesWithInvalidBytesReplaced)
{
    server.Route("/bad", HttpResponse::Text(500, std::string("caf\xC3\xA9 \xFF ok\0hidden", 17)));

    Fetch("/bad");

    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intStatus, 500);
    EXPECT_EQ(events.Outcome().strText, L"caf\u00E9 \uFFFD ok");
}

// A server that cuts the first answer after 600 of 1000 bytes and answers
// later requests with `later`.
HttpHandler CutOnceThen(const std::string& body, HttpResponse later)
{
    auto pCount = std::make_shared<std::atomic<int>>(0);
    return [=](const HttpRequest&) {
        HttpResponse response = later;
        if ((*pCount)++ == 0) {
            response.body = body;
            response.closeAfterBodyBytes = 600;
        }
        return response;
    };
}

TEST_F(WInetDownloaderTest, BrokenBodyResumesWithRangeAndEndsByteIdentical)
{
    const std::string body = PatternBytes(0, 1000, 7);
    HttpResponse full;
    full.body = body;
    full.honourRange = true;
    full.headers = {{"ETag", "\"v1\""}};
    server.Route("/r", CutOnceThen(body, full));
    downloader.SetReconnectTimeOut(150);

    const auto start = std::chrono::steady_clock::now();
    Fetch("/r");
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(stream.Contents(), body);
    ASSERT_EQ(events.Outcome().kind, Kind::Complete);
    EXPECT_EQ(events.Count(Kind::Waiting), 1);
    EXPECT_GE(elapsed, 150ms);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].Header("Range").has_value());
    EXPECT_EQ(requests[1].Header("Range").value_or(""), "bytes=600-");
    EXPECT_EQ(requests[1].Header("If-Range").value_or(""), "\"v1\"");
    // After the notice, progress continues from 600 against the whole length.
    bool bAfterWaiting = false;
    for (const auto& call : events.calls) {
        if (call.kind == Kind::Waiting) {
            bAfterWaiting = true;
        } else if (bAfterWaiting && call.kind == Kind::Progress) {
            EXPECT_GT(call.intPosition, 600);
            EXPECT_EQ(call.intDeclared, 1000);
        }
    }
}

// A body that comes whole again is written whole again: without a validated
// tail, nothing says the new body's first bytes are the old one's, so a
// changed resource must never leave an old head spliced onto a new tail.
TEST_F(WInetDownloaderTest, WholeBodyAfterACutIsWrittenFromZeroNeverSpliced)
{
    const std::string oldBody = PatternBytes(0, 1000, 8);
    const std::string newBody = PatternBytes(0, 1000, 9);
    struct Case {
        const char* pName;
        bool bRanges;
        loopback::FieldList headers;
    };
    for (const Case& c :
         {Case{"no ranges, no validator", false, {}}, Case{"ranges, no validator", true, {}},
          Case{"ranges, weak ETag only", true, {{"ETag", "W/\"w\""}}}}) {
        SCOPED_TRACE(c.pName);
        TestHttpServer changing;
        HttpResponse later;
        later.body = newBody;
        later.honourRange = c.bRanges;
        later.headers = c.headers;
        changing.Route("/r", CutOnceThen(oldBody, later));
        MemoryStream fresh;
        RecordingDownloadEvents outcome;
        downloader.SetOutputStream(&fresh);
        downloader.SetDownloadEvents(&outcome);

        downloader.Download(Widen(changing.BaseUrl() + "/r").c_str());

        EXPECT_EQ(fresh.Contents(), newBody);
        ASSERT_EQ(outcome.Outcome().kind, Kind::Complete);
        const auto requests = changing.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_FALSE(requests[1].Header("Range").has_value());
        // Progress starts again from the beginning of the new body.
        bool bAfterWaiting = false;
        std::int64_t intFirstAfter = -1;
        for (const auto& call : outcome.calls) {
            if (call.kind == Kind::Waiting) {
                bAfterWaiting = true;
            } else if (bAfterWaiting && call.kind == Kind::Progress && intFirstAfter < 0) {
                intFirstAfter = call.intPosition;
            }
        }
        EXPECT_LE(intFirstAfter, 4096);
    }
}

// A server that ignores If-Range and sends the tail of another version: the
// tail is refused and the file is fetched again whole.
TEST_F(WInetDownloaderTest, TailOfAnotherVersionIsRefusedAndTheFileStartsAgain)
{
    const std::string oldBody = PatternBytes(0, 1000, 4);
    const std::string newBody = PatternBytes(0, 1000, 5);
    auto pCount = std::make_shared<std::atomic<int>>(0);
    server.Route("/v", [=](const HttpRequest& request) {
        HttpResponse response;
        const int intCall = (*pCount)++;
        if (intCall == 0) {
            response.body = oldBody;
            response.headers = {{"ETag", "\"v1\""}, {"Accept-Ranges", "bytes"}};
            response.closeAfterBodyBytes = 600;
        } else if (request.Header("Range").has_value()) {
            response.status = 206;
            response.body = newBody.substr(600);
            response.headers = {{"ETag", "\"v2\""}, {"Content-Range", "bytes 600-999/1000"}};
        } else {
            response.body = newBody;
            response.headers = {{"ETag", "\"v2\""}};
        }
        return response;
    });

    Fetch("/v");

    EXPECT_EQ(stream.Contents(), newBody);
    ASSERT_EQ(events.Outcome().kind, Kind::Complete);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].Header("Range").value_or(""), "bytes=600-");
    EXPECT_EQ(requests[1].Header("If-Range").value_or(""), "\"v1\"");
    EXPECT_FALSE(requests[2].Header("Range").has_value());
}

TEST_F(WInetDownloaderTest, ResourceChangedBetweenAttemptsYieldsTheNewFileWhole)
{
    const std::string oldBody = PatternBytes(0, 1000, 1);
    const std::string newBody = PatternBytes(0, 800, 2);
    for (bool bRanges : {true, false}) {
        SCOPED_TRACE(bRanges ? "server honours Range" : "server ignores Range");
        TestHttpServer changing;
        auto pCount = std::make_shared<std::atomic<int>>(0);
        changing.Route("/c", [=](const HttpRequest&) {
            HttpResponse response;
            response.honourRange = bRanges;
            if ((*pCount)++ == 0) {
                response.body = oldBody;
                response.headers = {{"ETag", "\"old\""}};
                response.closeAfterBodyBytes = 600;
            } else {
                response.body = newBody;
                response.headers = {{"ETag", "\"new\""}};
            }
            return response;
        });
        MemoryStream fresh;
        RecordingDownloadEvents outcome;
        downloader.SetOutputStream(&fresh);
        downloader.SetDownloadEvents(&outcome);

        downloader.Download(Widen(changing.BaseUrl() + "/c").c_str());

        EXPECT_EQ(fresh.Contents(), newBody);
        EXPECT_EQ(outcome.Outcome().kind, Kind::Complete);
    }
}

TEST_F(WInetDownloaderTest, ResponseWithoutContentTypeStartsEveryAttemptAtZero)
{
    const std::string body = PatternBytes(0, 1000, 3);
    HttpResponse full;
    full.body = body;
    full.contentType = "";
    full.honourRange = true;
    full.headers = {{"ETag", "\"v1\""}};
    server.Route("/n", CutOnceThen(body, full));

    Fetch("/n");

    EXPECT_EQ(stream.Contents(), body);
    EXPECT_EQ(events.Count(Kind::MimeType), 0);
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[1].Header("Range").has_value());
    EXPECT_GE(stream.SeekCount(), 2);
}

TEST_F(WInetDownloaderTest, AttemptCountAndWaitingNotice)
{
    HttpResponse broken;
    broken.body = PatternBytes(0, 1000);
    broken.closeAfterBodyBytes = 10;
    server.Route("/b", broken);

    struct Case {
        std::uint32_t uintCount;
        std::uint32_t uintWait;
        size_t uintRequests;
        int intWaiting;
    };
    for (const Case& c : {Case{0, 5, 1, 0}, Case{3, 0, 4, 0}, Case{2, 5, 3, 2}}) {
        SCOPED_TRACE(testing::Message() << "count " << c.uintCount << " wait " << c.uintWait);
        RecordingDownloadEvents outcome;
        downloader.SetDownloadEvents(&outcome);
        downloader.SetReconnectAttemptsCount(c.uintCount);
        downloader.SetReconnectTimeOut(c.uintWait);
        const size_t uintBefore = server.RequestCount("/b");

        Fetch("/b");

        EXPECT_EQ(server.RequestCount("/b") - uintBefore, c.uintRequests);
        EXPECT_EQ(outcome.Count(Kind::Waiting), c.intWaiting);
        ASSERT_EQ(outcome.Outcome().kind, Kind::Error);
        EXPECT_EQ(outcome.Outcome().intStatus, 200);
        EXPECT_EQ(outcome.Outcome().intErrorCode, net::kInternetConnectionReset);
    }
}

TEST_F(WInetDownloaderTest, TruncatedChunkedBodyIsAFailureNotASuccess)
{
    HttpResponse chunked;
    chunked.body = PatternBytes(0, 5000);
    chunked.chunked = true;
    chunked.sendContentLength = false;
    chunked.closeAfterBodyBytes = 2500;
    server.Route("/chunked", chunked);
    downloader.SetReconnectAttemptsCount(0);

    Fetch("/chunked");

    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intErrorCode, net::kInternetConnectionReset);
}

TEST_F(WInetDownloaderTest, BodiesWithoutDeclaredLengthSucceed)
{
    HttpResponse closeDelimited;
    closeDelimited.body = PatternBytes(0, 3000);
    closeDelimited.sendContentLength = false;
    closeDelimited.keepAlive = false;
    server.Route("/close", closeDelimited);
    HttpResponse chunked = closeDelimited;
    chunked.chunked = true;
    chunked.keepAlive = true;
    server.Route("/chunked", chunked);
    HttpResponse empty;
    empty.sendContentLength = false;
    empty.keepAlive = false;
    server.Route("/empty", empty);

    for (const std::string path : {"/close", "/chunked"}) {
        SCOPED_TRACE(path);
        MemoryStream fresh;
        RecordingDownloadEvents outcome;
        downloader.SetOutputStream(&fresh);
        downloader.SetDownloadEvents(&outcome);
        Fetch(path);
        EXPECT_EQ(fresh.Contents(), closeDelimited.body);
        EXPECT_EQ(outcome.Outcome().kind, Kind::Complete);
    }

    RecordingDownloadEvents outcome;
    downloader.SetOutputStream(&stream);
    downloader.SetDownloadEvents(&outcome);
    Fetch("/empty");
    ASSERT_EQ(outcome.calls.size(), 3u);
    EXPECT_EQ(outcome.calls[0].kind, Kind::MimeType);
    EXPECT_EQ(outcome.calls[1].kind, Kind::Progress);
    EXPECT_EQ(outcome.calls[1].intPosition, 0);
    EXPECT_EQ(outcome.calls[1].intDeclared, 0);
    EXPECT_EQ(outcome.calls[2].kind, Kind::Complete);
}

TEST_F(WInetDownloaderTest, FullDiskEndsAtOnceWithCode301AndStatus200)
{
    HttpResponse response;
    response.body = PatternBytes(0, 20000);
    server.Route("/big", response);
    stream.FailAfter(5000, HResultFromWin32(core::kWin32DiskFull));

    Fetch("/big");

    EXPECT_EQ(server.RequestCount("/big"), 1u);
    EXPECT_EQ(events.Count(Kind::Waiting), 0);
    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intStatus, 200);
    EXPECT_EQ(events.Outcome().intErrorCode, net::kErrorFileSystem);
    auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
    ASSERT_NE(pRecord, nullptr);
    EXPECT_STREQ(pRecord->GetMessage(), L"Disk is full");
}

TEST_F(WInetDownloaderTest, PartialStreamWritesKeepTheBodyWhole)
{
    HttpResponse response;
    response.body = PatternBytes(0, 9000, 4);
    server.Route("/p", response);
    stream.LimitWriteTo(333);

    Fetch("/p");

    EXPECT_EQ(stream.Contents(), response.body);
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
}

TEST_F(WInetDownloaderTest, CallbackVerdictsAndExceptionsEndTheAttemptOrTheTransferAsTheySay)
{
    HttpResponse response;
    response.body = PatternBytes(0, 3000);
    server.Route("/x", response);

    // An exception stays inside the transfer: it ends with no further
    // attempt, as a callback failure recorded for the thread, and the
    // thread's handles stay usable.
    events.onMimeType = [](const std::wstring&) -> net::TransferVerdict {
        PB_THROW(core::OutOfRangeException, L"mime");
    };
    const size_t uintFirst = server.RequestCount("/x");
    EXPECT_NO_THROW(Fetch("/x"));
    EXPECT_EQ(server.RequestCount("/x") - uintFirst, 1u);
    EXPECT_TRUE(events.last.bCallbackFailed);
    EXPECT_FALSE(events.last.bSucceeded);
    EXPECT_EQ(events.Count(Kind::Progress), 0);
    EXPECT_EQ(events.Count(Kind::Waiting), 0);
    const auto pRecorded = core::ExceptionManager::GetException(core::CurrentThreadId());
    ASSERT_NE(pRecorded, nullptr);
    EXPECT_STREQ(pRecorded->GetMessage(), L"'mime' is out of range.");

    // A type refused ends the transfer before any body byte, with its code.
    RecordingDownloadEvents refused;
    refused.onMimeType = [](const std::wstring&) { return net::TransferVerdict::EndTransfer(42); };
    downloader.SetDownloadEvents(&refused);
    const size_t uintSecond = server.RequestCount("/x");
    Fetch("/x");
    EXPECT_EQ(server.RequestCount("/x") - uintSecond, 1u);
    EXPECT_EQ(refused.last.intStopCode, 42);
    EXPECT_FALSE(refused.last.bCallbackFailed);
    EXPECT_EQ(refused.Count(Kind::Progress), 0);
    EXPECT_EQ(refused.last.strMimeType.value_or(L""), L"application/octet-stream");

    // A file-system failure from the read loop: code 301, no further attempt.
    RecordingDownloadEvents fileSystem;
    fileSystem.onProgress = [](std::int64_t, std::int64_t) {
        return net::TransferVerdict::FileSystemFailure();
    };
    downloader.SetDownloadEvents(&fileSystem);
    const size_t uintBefore = server.RequestCount("/x");
    Fetch("/x");
    EXPECT_EQ(server.RequestCount("/x") - uintBefore, 1u);
    EXPECT_EQ(fileSystem.Outcome().intErrorCode, net::kErrorFileSystem);

    // An abort ends the attempt, and the next attempt completes the file.
    RecordingDownloadEvents aborting;
    bool bAborted = false;
    aborting.onProgress = [&](std::int64_t, std::int64_t) {
        if (!bAborted) {
            bAborted = true;
            return net::TransferVerdict::EndAttempt();
        }
        return net::TransferVerdict::Continue();
    };
    MemoryStream fresh;
    downloader.SetOutputStream(&fresh);
    downloader.SetDownloadEvents(&aborting);
    Fetch("/x");
    EXPECT_EQ(aborting.Count(Kind::Waiting), 1);
    EXPECT_EQ(aborting.Outcome().kind, Kind::Complete);
    EXPECT_EQ(fresh.Contents(), response.body);
}

TEST_F(WInetDownloaderTest, SilentServerTripsTheReceiveTimeOut)
{
    HttpResponse silent;
    silent.neverRespond = true;
    server.Route("/silent", silent);
    downloader.SetTimeOut(200);
    downloader.SetReconnectAttemptsCount(0);

    const auto start = std::chrono::steady_clock::now();
    Fetch("/silent");
    const auto elapsed = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intErrorCode, net::kInternetTimeout);
    EXPECT_GE(elapsed, 200ms);
    EXPECT_LT(elapsed, 5s);
}

TEST_F(WInetDownloaderTest, DataArrivingSlowerThanTheTimeOutButSteadilyIsNoTimeOut)
{
    HttpResponse slow;
    slow.body = PatternBytes(0, 1000);
    slow.chunkSize = 100;
    slow.delayBetweenChunks = 60ms;
    server.Route("/slow", slow);
    downloader.SetTimeOut(300);
    downloader.SetReconnectAttemptsCount(0);

    Fetch("/slow");

    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
    EXPECT_EQ(stream.Contents(), slow.body);
}

TEST_F(WInetDownloaderTest, StopConditionEndsStalledResponseAndReconnectPauseQuickly)
{
    HttpResponse silent;
    silent.neverRespond = true;
    server.Route("/silent", silent);
    downloader.SetTimeOut(0);

    std::atomic<bool> bStop{false};
    std::atomic<std::int64_t> intStopAt{0};
    downloader.SetStopCondition([&] { return bStop.load(); });
    std::thread stopper([&] {
        ASSERT_TRUE(server.WaitForRequests(1, 10s));
        intStopAt = std::chrono::steady_clock::now().time_since_epoch().count();
        bStop = true;
    });
    Fetch("/silent");
    const auto returned = std::chrono::steady_clock::now().time_since_epoch().count();
    stopper.join();
    EXPECT_LT(std::chrono::nanoseconds(returned - intStopAt.load()), 100ms);
    EXPECT_EQ(events.Count(Kind::Waiting), 0);
    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intErrorCode, net::kInternetOperationCancelled);

    // A long pause before a further attempt ends as soon as the stop is set.
    HttpResponse broken;
    broken.body = PatternBytes(0, 1000);
    broken.closeAfterBodyBytes = 10;
    server.Route("/broken", broken);
    bStop = false;
    RecordingDownloadEvents pausing;
    pausing.onWaiting = [&] {
        intStopAt = std::chrono::steady_clock::now().time_since_epoch().count();
        bStop = true;
    };
    downloader.SetDownloadEvents(&pausing);
    downloader.SetReconnectTimeOut(60000);
    Fetch("/broken");
    const auto ended = std::chrono::steady_clock::now().time_since_epoch().count();
    EXPECT_LT(std::chrono::nanoseconds(ended - intStopAt.load()), 100ms);
    EXPECT_EQ(server.RequestCount("/broken"), 1u);
    ASSERT_EQ(pausing.Outcome().kind, Kind::Error);
    EXPECT_EQ(pausing.Outcome().intErrorCode, net::kInternetConnectionReset);
}

TEST_F(WInetDownloaderTest, RedirectsReportTheFinalResponseAndNonHttpTargetsAreFinal)
{
    HttpResponse target;
    target.body = "final body";
    target.contentType = "text/final";
    server.Route("/final", target);
    server.Route("/hop2", HttpResponse::Redirect(301, "/final"));
    server.Route("/hop1", HttpResponse::Redirect(302, server.BaseUrl() + "/hop2"));
    server.Route("/ftp", HttpResponse::Redirect(302, "ftp://127.0.0.1/file"));
    server.Route("/loop", HttpResponse::Redirect(302, "/loop"));

    Fetch("/hop1");
    EXPECT_EQ(stream.Contents(), "final body");
    ASSERT_EQ(events.Count(Kind::MimeType), 1);
    EXPECT_EQ(events.calls.front().strText, L"text/final");
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);

    RecordingDownloadEvents ftp;
    downloader.SetDownloadEvents(&ftp);
    Fetch("/ftp");
    EXPECT_EQ(server.RequestCount("/ftp"), 1u);
    ASSERT_EQ(ftp.Outcome().kind, Kind::Error);
    EXPECT_EQ(ftp.Outcome().intStatus, 302);

    // A loop is no passing fault: it fails at once, without a further attempt.
    RecordingDownloadEvents loop;
    downloader.SetDownloadEvents(&loop);
    Fetch("/loop");
    ASSERT_EQ(loop.Outcome().kind, Kind::Error);
    EXPECT_EQ(loop.Outcome().intErrorCode, net::kHttpRedirectFailed);
    EXPECT_EQ(server.RequestCount("/loop"),
              static_cast<std::size_t>(net::WInetDownloader::kMaxRedirects) + 1);
    EXPECT_EQ(loop.Count(Kind::Waiting), 0);
}

TEST_F(WInetDownloaderTest, CookieGoesOnlyToRequestsOfThePageOrigin)
{
    TestHttpServer other;
    other.Route("/list", HttpResponse::Text(200, "x"));
    server.Route("/own", HttpResponse::Text(200, "x"));
    server.Route("/away", HttpResponse::Redirect(302, other.BaseUrl() + "/list"));
    server.Route("/back", HttpResponse::Redirect(302, "/own"));
    downloader.SetReconnectAttemptsCount(0);
    downloader.SetCookieText(L"session=abc");
    const auto lastCookie = [](const TestHttpServer& target) {
        return target.Requests().back().Header("Cookie");
    };

    // Without a page address the first URL's origin is the page's: the
    // cookie goes there, never after a redirect to another origin.
    Fetch("/away");
    EXPECT_EQ(lastCookie(server).value_or(""), "session=abc");
    ASSERT_EQ(other.RequestCount("/list"), 1u);
    EXPECT_FALSE(lastCookie(other).has_value());
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);

    // With a page address, only requests of its origin carry the cookie:
    // host names compare without letter case, another host (even one that
    // reaches the same server) or port is another origin.
    const std::string strLocal = "http://localhost:" + std::to_string(server.Port());
    downloader.SetCookieOrigin(
        Widen("HTTP://LocalHost:" + std::to_string(server.Port()) + "/shop/page.html"));
    downloader.Download(Widen(strLocal + "/back").c_str());
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2].Header("Cookie").value_or(""), "session=abc");
    EXPECT_EQ(requests.back().Header("Cookie").value_or(""), "session=abc");
    Fetch("/own");
    EXPECT_FALSE(lastCookie(server).has_value());
    // A list named directly on another host.
    downloader.SetCookieOrigin(Url("/page.html"));
    downloader.Download(Widen(other.BaseUrl() + "/list").c_str());
    ASSERT_EQ(other.RequestCount("/list"), 2u);
    EXPECT_FALSE(lastCookie(other).has_value());
}

TEST_F(WInetDownloaderTest, ContentEncodingIsDecodedOnlyWhenAskedFor)
{
    const std::string body = PatternBytes(0, 3000) + std::string(60000, 'a');
    HttpResponse response;
    response.body = GzipBytes(body);
    response.headers.push_back({"Content-Encoding", "gzip"});
    response.honourRange = true;
    response.headers.push_back({"ETag", "\"v1\""});
    server.Route("/z", response);

    // Stored as sent: the file is what the server sent.
    Fetch("/z");
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
    EXPECT_TRUE(stream.Contents() == response.body);
    EXPECT_FALSE(server.Requests().back().Header("Accept-Encoding").has_value());

    // Decoded: the declared length is the encoded one, so it is no check of
    // the decoded bytes and no total for the progress.
    RecordingDownloadEvents decoded;
    MemoryStream decodedStream;
    downloader.SetDownloadEvents(&decoded);
    downloader.SetOutputStream(&decodedStream);
    downloader.SetDecodeContentEncoding(true);
    Fetch("/z");
    ASSERT_EQ(decoded.Outcome().kind, Kind::Complete);
    EXPECT_TRUE(decodedStream.Contents() == body);
    EXPECT_TRUE(server.Requests().back().Header("Accept-Encoding").has_value());
    for (const auto& call : decoded.calls) {
        if (call.kind == Kind::Progress) {
            EXPECT_EQ(call.intDeclared, 0);
        }
    }
}

// Answers every request with these bytes as they are, then closes.
class RawAnswer final : public loopback::IRequestHandler {
public:
    explicit RawAnswer(std::string strBytes) : m_strBytes(std::move(strBytes)) {}
    Ending Answer(const HttpRequest& /*request*/, loopback::ResponseWriter& writer) override
    {
        writer.Write(m_strBytes);
        return Ending::CutShort;
    }

private:
    std::string m_strBytes;
};

// One answer from a listener on ::1 (the loopback server listens on IPv4
// only); nullopt when this system has no IPv6 loopback.
class Ipv6OneShot {
public:
    Ipv6OneShot()
    {
        m_intListener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        socklen_t uintLength = sizeof address;
        if (m_intListener < 0 ||
            ::bind(m_intListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_intListener, 1) != 0 ||
            ::getsockname(m_intListener, reinterpret_cast<sockaddr*>(&address), &uintLength) != 0) {
            return;
        }
        m_uintPort = ntohs(address.sin6_port);
        m_thread = std::thread([this] {
            const int intPeer = ::accept(m_intListener, nullptr, nullptr);
            if (intPeer < 0) {
                return;
            }
            char buffer[4096];
            while (m_strRequest.find("\r\n\r\n") == std::string::npos) {
                const ssize_t intGot = ::read(intPeer, buffer, sizeof buffer);
                if (intGot <= 0) {
                    break;
                }
                m_strRequest.append(buffer, static_cast<std::size_t>(intGot));
            }
            const std::string strAnswer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nv6";
            (void)!::write(intPeer, strAnswer.data(), strAnswer.size());
            ::close(intPeer);
        });
    }
    ~Ipv6OneShot()
    {
        if (m_intListener >= 0) {
            ::shutdown(m_intListener, SHUT_RDWR);
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_intListener >= 0) {
            ::close(m_intListener);
        }
    }
    Ipv6OneShot(const Ipv6OneShot&) = delete;
    Ipv6OneShot& operator=(const Ipv6OneShot&) = delete;

    std::uint16_t Port() const { return m_uintPort; }
    // The request as it arrived; read after the transfer.
    const std::string& Request() const { return m_strRequest; }

private:
    int m_intListener = -1;
    std::uint16_t m_uintPort = 0;
    std::string m_strRequest;
    std::thread m_thread;
};

TEST_F(WInetDownloaderTest, Ipv6LiteralHostIsFetched)
{
    Ipv6OneShot v6;
    if (v6.Port() == 0) {
        GTEST_SKIP() << "no IPv6 loopback address (::1) to listen on";
    }
    downloader.SetReconnectAttemptsCount(0);
    downloader.Download((L"http://[::1]:" + std::to_wstring(v6.Port()) + L"/a").c_str());
    ASSERT_EQ(events.Outcome().kind, Kind::Complete);
    EXPECT_EQ(stream.Contents(), "v6");
    EXPECT_EQ(v6.Request().rfind("GET /a HTTP/1.1\r\n", 0), 0u) << v6.Request();
}

TEST_F(WInetDownloaderTest, MalformedAnswersAreInvalidResponses)
{
    const std::string strGiantHeader = "X-Filler: " + std::string(200 * 1024, 'f') + "\r\n";
    const struct {
        const char* strName;
        std::string strAnswer;
    } cases[] = {
        {"no status line (HTTP/0.9)", "just a body, no head\n"},
        {"a 200 KB header", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + strGiantHeader + "\r\nok"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.strName);
        RawAnswer answer(row.strAnswer);
        loopback::LoopbackServer raw(answer, {});
        raw.Start();
        RecordingDownloadEvents outcome;
        downloader.SetDownloadEvents(&outcome);
        downloader.SetReconnectAttemptsCount(0);
        downloader.Download(Widen(raw.BaseUrl() + "/x").c_str());
        ASSERT_EQ(outcome.Outcome().kind, Kind::Error);
        EXPECT_EQ(outcome.Outcome().intErrorCode, net::kHttpInvalidServerResponse);
        raw.Stop();
    }
}

TEST_F(WInetDownloaderTest, RequestCarriesAgentCookieAndAnEncodedTarget)
{
    server.Route("/a%20b/%C3%A9.txt", HttpResponse::Text(200, "x"));
    downloader.SetCookieText(L"session=abc; theme=dark");

    downloader.Download((Url("/a b/") + L"\u00E9.txt").c_str());

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].strTarget, "/a%20b/%C3%A9.txt");
    EXPECT_EQ(requests[0].Header("User-Agent").value_or(""), "Pullbay/7.0.2");
    EXPECT_EQ(requests[0].Header("Cookie").value_or(""), "session=abc; theme=dark");
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);

    // Without a cookie text no Cookie header goes out.
    downloader.SetCookieText(L"");
    Fetch("/a%20b/%C3%A9.txt");
    EXPECT_FALSE(server.Requests().back().Header("Cookie").has_value());
}

TEST_F(WInetDownloaderTest, ConnectionFailuresCarryTheirCodes)
{
    const std::string strClosedBase = server.BaseUrl();
    server.Stop();
    downloader.SetReconnectAttemptsCount(0);
    downloader.Download(Widen(strClosedBase + "/x").c_str());
    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intStatus, 0);
    EXPECT_EQ(events.Outcome().intErrorCode, net::kInternetCannotConnect);

    RecordingDownloadEvents invalid;
    downloader.SetDownloadEvents(&invalid);
    downloader.Download(L"ftp://127.0.0.1/x");
    EXPECT_EQ(invalid.Outcome().intErrorCode, net::kInternetInvalidUrl);
}

TEST_F(WInetDownloaderTest, RawListenerGetsEveryByteAndItsExceptionsAreOnlyRecorded)
{
    struct Listener : net::IDownloadDirectEvents {
        std::string received;
        void DataReceived(const char* pData, unsigned uintSize) override
        {
            received.append(pData, uintSize);
            PB_THROW(core::OutOfRangeException, L"listener");
        }
    } listener;
    HttpResponse response;
    response.body = PatternBytes(0, 12000, 5);
    server.Route("/raw", response);
    downloader.SetDirectEvents(&listener);
    downloader.SetOutputStream(nullptr);

    Fetch("/raw");

    EXPECT_EQ(listener.received, response.body);
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
    auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
    ASSERT_NE(pRecord, nullptr);
    EXPECT_EQ(pRecord->GetTypeId(), core::OutOfRangeException::kTypeId);
}

TEST_F(WInetDownloaderTest, SettersRefuseWhatTheTransferCannotUse)
{
    try {
        downloader.SetTimeOut(-1);
        FAIL() << "a negative time-out was accepted";
    } catch (const core::ArgumentException& failure) {
        EXPECT_NE(std::wstring(failure.GetMessage()).find(L"intTimeOut"), std::wstring::npos);
    }
    EXPECT_NO_THROW(downloader.SetTimeOut(0));
    EXPECT_EQ(downloader.GetTimeOut(), 0);

    net::WInetDownloader unconfigured;
    EXPECT_THROW(unconfigured.Download(Url("/x").c_str()), core::ArgumentNullPointerException);
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(WInetDownloaderTest, SequentialSmallTransfersReuseConnections)
{
    server.Route("/small", HttpResponse::Text(200, "0123456789"));
    downloader.SetOutputStream(nullptr);
    constexpr int kTransfers = 2000;
    for (int i = 0; i < kTransfers; ++i) {
        Fetch("/small");
    }
    EXPECT_EQ(events.Count(Kind::Complete), kTransfers);
    EXPECT_EQ(server.RequestCount("/small"), static_cast<size_t>(kTransfers));
    EXPECT_LT(server.ConnectionCount(), 10);
}

}  // namespace
}  // namespace pullbay::test
