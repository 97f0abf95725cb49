// The demo's catalogue and server: the generated list reads back as the
// catalogue's files, every file arrives through the transfer byte for byte
// with its Content-Type, and the server keeps serving through keep-alive,
// HEAD, malformed requests, and stops at once in the middle of a paced body.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "engine/FileListParser.h"
#include "host/demo/DemoCatalog.h"
#include "host/demo/DemoServer.h"
#include "net/RecordingDownloadEvents.h"
#include "net/WInetDownloader.h"
#include "platform/sync/Event.h"
#include "support/MemoryStream.h"
#include "support/RawHttpClient.h"
#include "support/TestFiles.h"

namespace pullbay::test {
namespace {

using host::DemoCatalog;
using host::DemoServer;
using Kind = DownloadCallback::Kind;
using namespace std::chrono_literals;
using namespace std::string_literals;

constexpr std::uint64_t kMiB = 1024 * 1024;

// One transfer through the project's downloader into memory.
struct Transfer {
    Transfer()
    {
        downloader.SetDownloadEvents(&events);
        downloader.SetOutputStream(&stream);
        downloader.SetReconnectAttemptsCount(0);
    }
    void Fetch(const std::string& strUrl) { downloader.Download(Widen(strUrl).c_str()); }
    std::wstring MimeType() const
    {
        for (const auto& call : events.calls) {
            if (call.kind == Kind::MimeType) {
                return call.strText;
            }
        }
        return L"(none)";
    }

    RecordingDownloadEvents events;
    MemoryStream stream;
    RecordingDownloader downloader;
};

std::string Get(const std::string& strPath, const std::string& strExtra = "")
{
    return "GET " + strPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + strExtra + "\r\n";
}

TEST(DemoCatalogTest, ListParsesIntoExactlyTheCataloguedFiles)
{
    const DemoCatalog catalog;
    const auto& files = catalog.Files();
    // What the demo has to show: a dozen files, progress on several large
    // ones, one missing and one of the wrong type.
    std::uint64_t uintTotal = 0;
    int intLarge = 0;
    for (const auto& file : files) {
        uintTotal += file.uintSize;
        intLarge += file.uintSize >= 3 * kMiB ? 1 : 0;
    }
    EXPECT_EQ(files.size(), 12u);
    EXPECT_TRUE(uintTotal >= 15 * kMiB && uintTotal <= 25 * kMiB) << uintTotal;
    EXPECT_TRUE(intLarge >= 3 && intLarge <= 4) << intLarge;
    EXPECT_EQ(
        std::count_if(files.begin(), files.end(), [](const auto& file) { return !file.bServed; }),
        1);
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [](const auto& file) {
                                return file.strMimeType != L"*/*" &&
                                       Widen(file.strContentType) != file.strMimeType;
                            }),
              1);

    const std::wstring strServer = L"http://127.0.0.1:8080";
    // Absolute URLs and host-relative ones give the same items.
    for (const std::string& strBase : {std::string("http://127.0.0.1:8080"), std::string()}) {
        SCOPED_TRACE(strBase);
        engine::FileListParser parser(strServer + L"/lists/filelist.txt");
        auto entries = parser.Consume(catalog.ListText(strBase)).entries;
        const auto rest = parser.Finish().entries;
        entries.insert(entries.end(), rest.begin(), rest.end());
        ASSERT_EQ(entries.size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            ASSERT_TRUE(entries[i].IsItem())
                << entries[i].intErrorCode << " " << core::ToUtf8(entries[i].strDescription);
            EXPECT_EQ(entries[i].pItem->GetMimeType(), files[i].strMimeType);
            EXPECT_EQ(static_cast<std::uint32_t>(entries[i].pItem->GetFileSize()),
                      files[i].uintSize);
            EXPECT_EQ(entries[i].pItem->GetFileName(), files[i].strFileName);
            EXPECT_EQ(entries[i].pItem->GetUrl(), strServer + Widen(files[i].strPath));
        }
    }
}

TEST(DemoCatalogTest, BodiesAreReadableTextOrRandomAccessibleBytes)
{
    const DemoCatalog catalog;
    for (const auto& file : catalog.Files()) {
        SCOPED_TRACE(file.strPath);
        const std::string strBody = DemoCatalog::Body(file);
        if (file.content != DemoCatalog::Content::Binary) {
            // Printable ASCII in whole lines.
            EXPECT_TRUE(std::all_of(strBody.begin(), strBody.end(), [](char ch) {
                return ch == '\n' || (ch >= 0x20 && ch < 0x7F);
            }));
            EXPECT_EQ(strBody.back(), '\n');
        }
        // A slice from anywhere equals the same bytes of the whole body.
        for (const std::uint64_t uintOffset :
             {std::uint64_t{0}, std::uint64_t{5}, std::uint64_t{4093},
              std::uint64_t{file.uintSize - 1000}}) {
            std::string strSlice(777, '\0');
            if (uintOffset + strSlice.size() > file.uintSize) {
                continue;
            }
            DemoCatalog::ReadBody(file, uintOffset, strSlice.data(), strSlice.size());
            EXPECT_EQ(strSlice, strBody.substr(uintOffset, strSlice.size())) << uintOffset;
        }
        char ch = 0;
        EXPECT_THROW(DemoCatalog::ReadBody(file, file.uintSize, &ch, 1),
                     core::ArgumentOutOfRangeException);
    }
}

TEST(DemoServerTest, EveryFileArrivesAsCataloguedOverOneConnection)
{
    DemoServer server(0);
    const std::string strBase = server.Start();
    EXPECT_EQ(strBase, "http://127.0.0.1:" + std::to_string(server.Port()));
    const DemoCatalog& catalog = server.Catalog();

    // One downloader for every transfer, so the connection is kept alive.
    Transfer list;
    list.Fetch(server.ListUrl());
    ASSERT_EQ(list.events.Outcome().kind, Kind::Complete);
    EXPECT_EQ(list.stream.Contents(), catalog.ListText(strBase));
    EXPECT_EQ(list.MimeType(), L"text/plain; charset=utf-8");

    for (const auto& file : catalog.Files()) {
        SCOPED_TRACE(file.strPath);
        list.events.calls.clear();
        MemoryStream stream;
        list.downloader.SetOutputStream(&stream);
        list.Fetch(strBase + file.strPath);
        if (file.bServed) {
            ASSERT_EQ(list.events.Outcome().kind, Kind::Complete);
            EXPECT_EQ(list.MimeType(), Widen(file.strContentType));
            EXPECT_EQ(stream.Contents().size(), file.uintSize);
            EXPECT_TRUE(stream.Contents() == DemoCatalog::Body(file));
        } else {
            ASSERT_EQ(list.events.Outcome().kind, Kind::Error);
            EXPECT_EQ(list.events.Outcome().intStatus, 404);
            EXPECT_EQ(stream.Contents(), "");
        }
    }
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(DemoServerTest, HeadSendsNoBodyAndKeepAliveCarriesPipelinedRequests)
{
    DemoServer server(0);
    server.Start();
    const DemoCatalog::File& readme = *server.Catalog().Find("/files/readme.txt");
    RawHttpClient client(server.Port());

    ASSERT_TRUE(client.Send("HEAD /files/readme.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" +
                            Get(readme.strPath)));
    const RawHttpClient::Response head = client.Read(true);
    EXPECT_EQ(head.intStatus, 200);
    EXPECT_NE(head.strHead.find("Content-Length: " + std::to_string(readme.uintSize) + "\r\n"),
              std::string::npos);
    EXPECT_NE(head.strHead.find("Content-Type: text/plain\r\n"), std::string::npos);
    // Had HEAD sent a body, it would stand where the GET's status line is.
    const RawHttpClient::Response get = client.Read();
    EXPECT_EQ(get.intStatus, 200);
    EXPECT_EQ(get.strBody, DemoCatalog::Body(readme));

    ASSERT_TRUE(client.Send(Get("/files/nowhere", "Connection: close\r\n")));
    const RawHttpClient::Response missing = client.Read();
    EXPECT_EQ(missing.intStatus, 404);
    EXPECT_NE(missing.strHead.find("Connection: close\r\n"), std::string::npos);
    EXPECT_EQ(missing.strBody, "Not Found\n");
    EXPECT_TRUE(client.ReadsEndOfStream());
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(DemoServerTest, MalformedRequestsAreRefusedAndServingGoesOn)
{
    struct Case {
        const char* strName;
        std::string strRequest;
        int intStatus;
        bool bCloses;
    };
    const std::string strLong(20000, 'a');
    const std::vector<Case> cases = {
        {"garbage", "hello there\r\n\r\n", 400, true},
        {"no version", "GET /files/readme.txt\r\n\r\n", 400, true},
        {"unknown version", "GET /files/readme.txt HTTP/2.0\r\nHost: x\r\n\r\n", 400, true},
        {"no host", "GET /files/readme.txt HTTP/1.1\r\n\r\n", 400, true},
        {"field without colon", "GET / HTTP/1.1\r\nHost: x\r\nNoColon\r\n\r\n", 400, true},
        {"folded field", "GET / HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", 400, true},
        {"NUL in target", "GET /a\0b HTTP/1.1\r\nHost: x\r\n\r\n"s, 400, true},
        {"bad length", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 1x\r\n\r\n", 400, true},
        {"relative target", "GET files/readme.txt HTTP/1.1\r\nHost: x\r\n\r\n", 400, true},
        {"oversized head", "GET / HTTP/1.1\r\nHost: x\r\nX-Fill: " + strLong + "\r\n\r\n", 400,
         true},
        {"endless head", "GET / HTTP/1.1\r\nX-Fill: " + strLong, 400, true},
        // The body is skipped, not taken for requests: the client can send
        // it whole, reads the answer, and the connection serves on.
        {"other method with body",
         "POST /files/readme.txt HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\n\r\n" +
             std::string(1000000, 'b'),
         405, false},
        {"other method", "DELETE /files/readme.txt HTTP/1.1\r\nHost: x\r\n\r\n", 405, false},
        {"HTTP/1.0 closes by default", "GET /files/readme.txt HTTP/1.0\r\n\r\n", 200, true},
        {"absolute form with query",
         "GET http://127.0.0.1/files/readme.txt?x=1 HTTP/1.1\r\nHost: x\r\n\r\n", 200, false},
    };

    DemoServer server(0);
    server.Start();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.strName);
        RawHttpClient client(server.Port());
        ASSERT_TRUE(client.Send(test.strRequest));
        EXPECT_EQ(client.Read().intStatus, test.intStatus);
        if (test.bCloses) {
            EXPECT_TRUE(client.ReadsEndOfStream());
        } else {
            ASSERT_TRUE(client.Send(Get("/files/readme.txt")));
            EXPECT_EQ(client.Read().intStatus, 200);
        }
    }
    Transfer transfer;
    transfer.Fetch(server.BaseUrl() + "/files/readme.txt");
    EXPECT_EQ(transfer.events.Outcome().kind, Kind::Complete);
}

TEST(DemoServerTest, PacingSpreadsABodyOverTime)
{
    constexpr std::uint64_t kRate = 2 * kMiB;
    DemoServer server(kRate);
    server.Start();
    const DemoCatalog::File& photo = *server.Catalog().Find("/files/photos/harbour.jpeg");

    Transfer transfer;
    const auto start = std::chrono::steady_clock::now();
    transfer.Fetch(server.BaseUrl() + photo.strPath);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_TRUE(transfer.stream.Contents() == DemoCatalog::Body(photo));
    // The last 64 KiB slice is released at (size - 64 KiB) / rate.
    const auto expected = std::chrono::milliseconds((photo.uintSize - 64 * 1024) * 1000 / kRate);
    EXPECT_GE(elapsed, expected);
}

TEST(DemoServerTest, StopDuringPacedTransferEndsItPromptly)
{
    // The video would take half a minute at this rate.
    DemoServer server(256 * 1024);
    server.Start();
    const DemoCatalog::File& video = *server.Catalog().Find("/files/video/flight.mpeg");

    Transfer transfer;
    platform::Event bodyStarted(true);
    std::atomic<std::int64_t> intReceived{0};
    transfer.events.onProgress = [&](std::int64_t intPosition, std::int64_t) {
        intReceived = intPosition;
        if (intPosition > 0) {
            bodyStarted.Set();
        }
        return net::TransferVerdict::Continue();
    };
    std::thread client([&] { transfer.Fetch(server.BaseUrl() + video.strPath); });
    ASSERT_TRUE(bodyStarted.Wait(5000));

    const auto start = std::chrono::steady_clock::now();
    server.Stop();
    const auto stopped = std::chrono::steady_clock::now() - start;
    client.join();
    const auto ended = std::chrono::steady_clock::now() - start;

    EXPECT_LT(stopped, 1s);
    EXPECT_LT(ended, 1s);
    EXPECT_LT(intReceived.load(), static_cast<std::int64_t>(video.uintSize));
    EXPECT_EQ(transfer.events.Outcome().kind, Kind::Error);
    // A stopped server refuses connections rather than leaving them hanging.
    RawHttpClient late(server.Port());
    EXPECT_FALSE(late.Send(Get("/files/readme.txt")));

    // Nothing due on any connection: only the wake-up ends the wait.
    DemoServer idle(0);
    idle.Start();
    RawHttpClient kept(idle.Port());
    ASSERT_TRUE(kept.Send(Get("/files/readme.txt")));
    ASSERT_EQ(kept.Read().intStatus, 200);
    const auto idleStart = std::chrono::steady_clock::now();
    idle.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - idleStart, 1s);
    EXPECT_TRUE(kept.ReadsEndOfStream());
}

}  // namespace
}  // namespace pullbay::test
