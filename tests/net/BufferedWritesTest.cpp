// The transfer's gathered writes: whatever ends an attempt (a cut body, a
// restart at 0, a failing or full disk, a callback's exception), the output
// stream holds exactly the bytes that the stream reported written, those are
// the bytes the transfer counted, and a further attempt continues after them.
// Bodies span several write blocks.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "RecordingDownloadEvents.h"
#include "core/ExceptionManager.h"
#include "core/FileStream.h"
#include "core/ThrowSite.h"
#include "core/Win32Errors.h"
#include "net/InternetErrors.h"
#include "net/WInetDownloader.h"
#include "support/MemoryStream.h"
#include "support/PatternBytes.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using Kind = DownloadCallback::Kind;

constexpr std::size_t kBlock = net::WInetDownloader::kWriteBlockBytes;
// In the middle of the second block, after a whole block was written.
constexpr std::size_t kMidBlock = kBlock + kBlock / 2 + 777;

// A memory stream whose writes fail once, after it took the bytes up to a
// total (an I/O error that passes).
class FailOnceStream : public MemoryStream {
public:
    FailOnceStream(std::uint64_t uintAt, HRESULT hrFailure) : m_uintAt(uintAt), m_hr(hrFailure) {}

    HRESULT Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten) override
    {
        if (!m_bFailed && m_uintTotal + uintSize > m_uintAt) {
            m_bFailed = true;
            std::uint32_t uintTaken = 0;
            MemoryStream::Write(pData, static_cast<std::uint32_t>(m_uintAt - m_uintTotal),
                                &uintTaken);
            m_uintTotal += uintTaken;
            *pWritten = uintTaken;
            return m_hr;
        }
        const HRESULT hr = MemoryStream::Write(pData, uintSize, pWritten);
        m_uintTotal += *pWritten;
        return hr;
    }

private:
    std::uint64_t m_uintAt;
    HRESULT m_hr;
    std::uint64_t m_uintTotal = 0;
    bool m_bFailed = false;
};

// The first answer is `first`; every later one `later`.
HttpHandler FirstThen(HttpResponse first, HttpResponse later)
{
    auto pCount = std::make_shared<std::atomic<int>>(0);
    return [=](const HttpRequest&) { return (*pCount)++ == 0 ? first : later; };
}

HttpResponse Ranged(std::string body, std::string strETag)
{
    HttpResponse response;
    response.body = std::move(body);
    response.honourRange = true;
    response.chunkSize = 64 * 1024;
    response.headers = {{"ETag", std::move(strETag)}};
    return response;
}

class BufferedWritesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        downloader.SetDownloadEvents(&events);
        downloader.SetReconnectTimeOut(5);
        // What the stream holds when the pause before the next attempt
        // begins, and the last position reported until then.
        events.onWaiting = [this] {
            heldAtPause.push_back(pStream->Contents());
            reportedAtPause.push_back(LastProgress());
        };
    }

    void Fetch(MemoryStream& stream, const std::string& strPath)
    {
        pStream = &stream;
        downloader.SetOutputStream(&stream);
        downloader.Download(Widen(server.BaseUrl() + strPath).c_str());
    }

    std::int64_t LastProgress() const
    {
        for (auto it = events.calls.rbegin(); it != events.calls.rend(); ++it) {
            if (it->kind == Kind::Progress) {
                return it->intPosition;
            }
        }
        return -1;
    }

    TestHttpServer server;
    RecordingDownloadEvents events;
    RecordingDownloader downloader;
    MemoryStream* pStream = nullptr;
    std::vector<std::string> heldAtPause;
    std::vector<std::int64_t> reportedAtPause;
};

TEST_F(BufferedWritesTest, CutBodyLeavesTheReportedBytesAndResumesRightAfterThem)
{
    const std::string body = PatternBytes(0, 3 * kBlock + 1234, 11);
    HttpResponse cut = Ranged(body, "\"v1\"");
    cut.closeAfterBodyBytes = kMidBlock;
    server.Route("/f", FirstThen(cut, Ranged(body, "\"v1\"")));
    MemoryStream stream;

    Fetch(stream, "/f");

    ASSERT_EQ(heldAtPause.size(), 1u);
    EXPECT_EQ(heldAtPause[0].size(), kMidBlock);
    EXPECT_EQ(heldAtPause[0], body.substr(0, kMidBlock));
    EXPECT_EQ(reportedAtPause[0], static_cast<std::int64_t>(kMidBlock));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("Range").value_or(""), "bytes=" + std::to_string(kMidBlock) + "-");
    EXPECT_EQ(stream.Contents(), body);
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
}

TEST_F(BufferedWritesTest, RestartAtZeroLeavesOnlyTheNewBody)
{
    // The resource changed between the attempts: the whole new body comes,
    // and nothing gathered from the old one may follow it.
    const std::string oldBody = PatternBytes(0, 3 * kBlock, 12);
    const std::string newBody = PatternBytes(0, 2 * kBlock + 99, 13);
    HttpResponse cut = Ranged(oldBody, "\"v1\"");
    cut.closeAfterBodyBytes = kMidBlock;
    server.Route("/f", FirstThen(cut, Ranged(newBody, "\"v2\"")));
    MemoryStream stream;

    Fetch(stream, "/f");

    ASSERT_EQ(heldAtPause.size(), 1u);
    EXPECT_EQ(heldAtPause[0], oldBody.substr(0, kMidBlock));
    EXPECT_EQ(stream.Contents(), newBody);
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
}

TEST_F(BufferedWritesTest, FullDiskInAnyBlockLeavesExactlyWhatTheStreamTookAndFails)
{
    struct Case {
        const char* strName;
        std::size_t uintBody;
        std::size_t uintFullAt;
    };
    for (const Case& test : {
             Case{"in a block written while the body arrives", 3 * kBlock, kMidBlock},
             Case{"in the last block, written at the end", kBlock + 5000, kBlock + 2000},
             Case{"in a body smaller than one block", kBlock / 2, kBlock / 4},
         }) {
        SCOPED_TRACE(test.strName);
        const std::string body = PatternBytes(0, test.uintBody, 14);
        server.Route("/f", Ranged(body, "\"v1\""));
        RecordingDownloadEvents outcome;
        downloader.SetDownloadEvents(&outcome);
        MemoryStream stream;
        stream.FailAfter(test.uintFullAt, HResultFromWin32(core::kWin32DiskFull));

        Fetch(stream, "/f");

        EXPECT_EQ(stream.Contents(), body.substr(0, test.uintFullAt));
        ASSERT_EQ(outcome.Outcome().kind, Kind::Error);
        EXPECT_EQ(outcome.Outcome().intErrorCode, net::kErrorFileSystem);
        EXPECT_EQ(outcome.Outcome().intStatus, 200);
        EXPECT_EQ(outcome.Count(Kind::Waiting), 0);
        core::ClearRecordedFailure();
    }
    EXPECT_EQ(server.RequestCount("/f"), 3u);
}

TEST_F(BufferedWritesTest, PassingWriteFailureResumesAtWhatTheStreamTook)
{
    const std::string body = PatternBytes(0, 3 * kBlock + 4321, 15);
    server.Route("/f", Ranged(body, "\"v1\""));
    FailOnceStream stream(kMidBlock, HResultFromWin32(core::kWin32AccessDenied));

    Fetch(stream, "/f");

    ASSERT_EQ(heldAtPause.size(), 1u);
    EXPECT_EQ(heldAtPause[0], body.substr(0, kMidBlock));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("Range").value_or(""), "bytes=" + std::to_string(kMidBlock) + "-");
    EXPECT_EQ(stream.Contents(), body);
    EXPECT_EQ(events.Outcome().kind, Kind::Complete);
}

TEST_F(BufferedWritesTest, ACallbackThatEndsTheTransferStillLeavesEveryReportedByte)
{
    const std::string body = PatternBytes(0, 3 * kBlock, 16);
    server.Route("/f", Ranged(body, "\"v1\""));
    // Ended by a verdict, and by an exception that stays inside the transfer.
    struct Skipped {};
    for (const bool bThrow : {false, true}) {
        SCOPED_TRACE(bThrow ? "exception" : "verdict");
        events.calls.clear();
        events.onProgress = [bThrow](std::int64_t intPosition, std::int64_t) {
            if (intPosition >= static_cast<std::int64_t>(kMidBlock)) {
                if (bThrow) {
                    throw Skipped{};
                }
                return net::TransferVerdict::EndTransfer(7);
            }
            return net::TransferVerdict::Continue();
        };
        MemoryStream stream;

        Fetch(stream, "/f");

        EXPECT_FALSE(events.last.bSucceeded);
        EXPECT_EQ(events.last.bCallbackFailed, bThrow);
        EXPECT_EQ(events.last.intStopCode, bThrow ? 0 : 7);
        const std::int64_t intReported = LastProgress();
        ASSERT_GE(intReported, static_cast<std::int64_t>(kMidBlock));
        EXPECT_EQ(events.last.intBytesWritten, intReported);
        EXPECT_EQ(stream.Contents(), body.substr(0, static_cast<std::size_t>(intReported)));
        EXPECT_EQ(events.Count(Kind::Waiting), 0) << "no further attempt";
    }
}

TEST_F(BufferedWritesTest, RealFullDiskKeepsAWholePrefixOfTheBody)
{
    // A 1 MiB file system of the test's own (needs root to mount).
    const fs::path mountPoint = fs::path(std::getenv("TMPDIR")) / "buffered-writes-small";
    fs::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    struct Unmount {
        const fs::path& path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    // Larger than the file system, whatever the block size.
    const std::string body = PatternBytes(0, 3 * 1024 * 1024, 17);
    server.Route("/f", Ranged(body, "\"v1\""));
    const std::string strPath = (mountPoint / "PBT1.tmp").string();
    std::unique_ptr<core::FileStream> pFile;
    ASSERT_EQ(core::FileStream::Open(strPath,
                                     core::FileStream::kModeRead | core::FileStream::kModeWrite |
                                         core::FileStream::kModeCreateAlways,
                                     pFile),
              S_OK);
    downloader.SetOutputStream(pFile.get());

    downloader.Download(Widen(server.BaseUrl() + "/f").c_str());
    pFile.reset();

    ASSERT_EQ(events.Outcome().kind, Kind::Error);
    EXPECT_EQ(events.Outcome().intErrorCode, net::kErrorFileSystem);
    const std::string stored = ReadFile(strPath);
    EXPECT_GT(stored.size(), 0u);
    EXPECT_LT(stored.size(), body.size());
    EXPECT_EQ(stored, body.substr(0, stored.size()));
    core::ClearRecordedFailure();
}

}  // namespace
}  // namespace pullbay::test
