// SIGINT, SIGTERM and SIGHUP against the real host program: the first
// cancels the run, removes its temporary files, prints the log and exits
// with 128 + the signal's number; a second SIGINT ends at once. Each child
// gets a TMPDIR of its own, so its temporary folder is the only one there.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "HostProcess.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"
#include "support/WaitFor.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kStallSize = 2000000;
// Past the engine's 256 KiB write block, so that the temporary file grows
// before the body stalls.
constexpr std::size_t kFirstChunk = 400000;

// Everything under the temporary folders of the controls of one TMPDIR.
std::vector<fs::path> TempEntries(const fs::path& tmp)
{
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::recursive_directory_iterator it(tmp / "Pullbay_Temp", error), end; !error && it != end;
         it.increment(error)) {
        entries.push_back(it->path());
    }
    return entries;
}

// A temporary file that has received part of a body: the transfer is under way.
bool TransferUnderWay(const fs::path& tmp)
{
    for (const fs::path& entry : TempEntries(tmp)) {
        std::error_code error;
        if (fs::is_regular_file(entry, error) && entry.extension() == ".tmp" &&
            fs::file_size(entry, error) > 0 && !error) {
            return true;
        }
    }
    return false;
}

class SignalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string strTemplate = std::string(std::getenv("TMPDIR")) + "/signalXXXXXX";
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        folder = strTemplate;
        server.Route("/a.txt", HttpResponse::Text(200, "first file\n"));
        // The body stalls after its first chunk until the server stops.
        HttpResponse stall =
            HttpResponse::Text(200, PatternBytes(3, kStallSize), "application/octet-stream");
        stall.chunkSize = kFirstChunk;
        stall.delayBetweenChunks = std::chrono::minutes(10);
        server.Route("/stall.bin", stall);
    }
    void TearDown() override
    {
        server.Stop();
        fs::remove_all(folder);
    }

    std::string Add(const std::string& strMime, std::size_t uintSize, const std::string& strPath,
                    const std::string& strName) const
    {
        return strMime + "|" + std::to_string(uintSize) + "|" + server.BaseUrl() + strPath + "|" +
               strName;
    }

    // A folder of the test's, made afresh.
    fs::path Folder(const std::string& strName) const
    {
        fs::create_directories(folder / strName);
        return folder / strName;
    }

    // run with JSON events into dest: the stalled file first, then
    // intFiles small files behind it.
    std::vector<std::string> StalledRunArguments(const fs::path& dest, int intFiles) const
    {
        std::vector<std::string> arguments = {
            "run",
            "--headless",
            "--events",
            "--dest",
            dest.string(),
            "--add",
            Add("application/octet-stream", kStallSize, "/stall.bin", "stall.bin")};
        for (int i = 0; i < intFiles; ++i) {
            arguments.push_back("--add");
            arguments.push_back(Add("text/plain", 11, "/f" + std::to_string(i) + ".txt",
                                    "f" + std::to_string(i) + ".txt"));
        }
        return arguments;
    }

    static ChildOptions WithTmp(const fs::path& tmp)
    {
        ChildOptions options;
        options.environment = {{"TMPDIR", tmp.string()}};
        return options;
    }

    fs::path folder;
    TestHttpServer server;
};

TEST_F(SignalTest, EachSignalCancelsAHeadlessRunMidFileAndExitsWithItsCode)
{
    for (const int intSignal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(intSignal);
        const std::string strName = std::to_string(intSignal);
        const fs::path dest = Folder("dest" + strName);
        const fs::path tmp = Folder("tmp" + strName);
        HostSession host({"run", "--headless", "--dest", dest.string(), "--param",
                          "ParallelDownloads=1", "--add",
                          Add("application/octet-stream", kStallSize, "/stall.bin", "stall.bin"),
                          "--add", Add("text/plain", 11, "/a.txt", "a.txt")},
                         WithTmp(tmp));
        ASSERT_TRUE(WaitFor([&] { return TransferUnderWay(tmp); })) << host.Stderr();
        host.Signal(intSignal);
        const std::string strOut = host.ReadRest(std::chrono::seconds(30));
        EXPECT_EQ(host.Finish(std::chrono::seconds(10)), 128 + intSignal) << host.Stderr();
        const std::string strErr = host.Stderr();
        // The per-file lines, the log and the summary of a normal end.
        EXPECT_NE(strErr.find("skipped stall.bin"), std::string::npos) << strErr;
        EXPECT_NE(strErr.find("skipped a.txt"), std::string::npos) << strErr;
        EXPECT_NE(strErr.find("pullbay: 0 files downloaded, 0 failed, 2 skipped"),
                  std::string::npos)
            << strErr;
        EXPECT_NE(strOut.find("Skipped by user"), std::string::npos) << strOut;
        // Nothing under a final name, no temporary file left.
        EXPECT_TRUE(fs::is_empty(dest));
        EXPECT_EQ(TempEntries(tmp), std::vector<fs::path>{});
        EXPECT_EQ(server.RequestCount("/a.txt"), 0u);
    }
}

// Six in flight: a signal ends every transfer at once. A file that had
// arrived whole is committed (whole, under its name); the others leave
// nothing, neither under a final name nor in the temporary folder.
TEST_F(SignalTest, EachSignalEndsEveryTransferOfARunWithSixInFlight)
{
    for (const int intSignal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(intSignal);
        const std::string strName = std::to_string(intSignal);
        const fs::path dest = Folder("dest6-" + strName);
        const fs::path tmp = Folder("tmp6-" + strName);
        const std::size_t uintStallsBefore = server.RequestCount("/stall.bin");
        HostSession host({"run", "--headless", "--dest", dest.string(), "--param",
                          "ParallelDownloads=6", "--add",
                          Add("application/octet-stream", kStallSize, "/stall.bin", "stall.bin"),
                          "--add", Add("text/plain", 11, "/a.txt", "a.txt"), "--add",
                          Add("application/octet-stream", kStallSize, "/stall.bin", "again.bin")},
                         WithTmp(tmp));
        ASSERT_TRUE(WaitFor([&] {
            return server.RequestCount("/stall.bin") == uintStallsBefore + 2;
        })) << host.Stderr();
        ASSERT_TRUE(WaitFor([&] { return TransferUnderWay(tmp); })) << host.Stderr();
        host.Signal(intSignal);
        host.ReadRest(std::chrono::seconds(30));
        EXPECT_EQ(host.Finish(std::chrono::seconds(10)), 128 + intSignal) << host.Stderr();
        const std::string strErr = host.Stderr();
        EXPECT_NE(strErr.find("skipped stall.bin"), std::string::npos) << strErr;
        EXPECT_NE(strErr.find("skipped again.bin"), std::string::npos) << strErr;
        // a.txt either arrived whole before the signal or is skipped.
        const bool bKept = fs::exists(dest / "a.txt");
        if (bKept) {
            EXPECT_EQ(ReadFile(dest / "a.txt"), "first file\n");
        }
        EXPECT_NE(strErr.find(bKept ? "pullbay: 1 file downloaded, 0 failed, 2 skipped"
                                    : "pullbay: 0 files downloaded, 0 failed, 3 skipped"),
                  std::string::npos)
            << strErr;
        EXPECT_FALSE(fs::exists(dest / "stall.bin"));
        EXPECT_FALSE(fs::exists(dest / "again.bin"));
        EXPECT_EQ(TempEntries(tmp), std::vector<fs::path>{});
    }
}

TEST_F(SignalTest, ASecondSigintEndsAtOnceWhileTheFirstIsBeingHandled)
{
    // The first SIGINT's end blocks: the events of a thousand skipped files
    // fill the stdout pipe, which the test stops reading.
    const fs::path dest = Folder("dest");
    const fs::path tmp = Folder("tmp");
    const std::vector<std::string> arguments = StalledRunArguments(dest, 1000);
    HostSession host(arguments, WithTmp(tmp));
    // Read up to the transfer's start, so that the pipe has room until the
    // signal.
    ASSERT_TRUE(host.ReadUntilContains(R"({"event":"DownloadStep","args":[6]})")) << host.Stderr();
    ASSERT_TRUE(WaitFor([&] { return TransferUnderWay(tmp); })) << host.Stderr();
    host.Signal(SIGINT);
    ASSERT_TRUE(WaitFor([&] { return host.UnreadStdoutBytes() >= 60000; }))
        << host.UnreadStdoutBytes();
    const auto start = std::chrono::steady_clock::now();
    host.Signal(SIGINT);
    // Ended at once: the pipe still full, the process already gone.
    ASSERT_TRUE(WaitFor([&] { return host.Stderr().find("ending at once") != std::string::npos; },
                        std::chrono::seconds(10)))
        << host.Stderr();
    const std::string strOut = host.ReadRest(std::chrono::seconds(30));
    EXPECT_EQ(host.Finish(std::chrono::seconds(10)), 130) << host.Stderr();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(strOut.find(R"({"log":)"), std::string::npos) << "no normal end";
    EXPECT_EQ(TempEntries(tmp), std::vector<fs::path>{});
    EXPECT_FALSE(fs::exists(dest / "stall.bin"));
}

TEST_F(SignalTest, ASecondSigintEndsAtOnceWhileStderrIsAFullPipe)
{
    // Nobody reads stderr: the skipped files' lines after the first SIGINT
    // fill it, and every later write there would wait for ever.
    const fs::path dest = Folder("dest");
    const fs::path tmp = Folder("tmp");
    const std::vector<std::string> arguments = StalledRunArguments(dest, 200);
    ChildOptions options = WithTmp(tmp);
    options.bStderrUnread = true;
    HostSession host(arguments, options);
    ASSERT_TRUE(host.ReadUntilContains(R"({"event":"DownloadStep","args":[6]})"));
    ASSERT_TRUE(WaitFor([&] { return TransferUnderWay(tmp); }));
    host.Signal(SIGINT);
    ASSERT_TRUE(WaitFor([&] { return host.UnreadStderrBytes() >= 4000; }))
        << host.UnreadStderrBytes();
    host.Signal(SIGINT);
    EXPECT_EQ(host.Finish(std::chrono::seconds(20)), 130);
    EXPECT_EQ(TempEntries(tmp), std::vector<fs::path>{});
}

TEST_F(SignalTest, ServeEndsAfterTheRemainingEventsWithTheSignalsCode)
{
    const fs::path dest = Folder("dest");
    const auto addCall = [&](const std::string& strPath, std::size_t uintSize) {
        return R"({"id":1,"call":"DownloadFileAdd","args":["*/*",)" + std::to_string(uintSize) +
               ",\"" + strPath.substr(1) + "\",\"" + server.BaseUrl() + strPath + "\"]}";
    };
    {
        // SIGTERM during a transfer (the dialogs answered by policy).
        const fs::path tmp = Folder("tmp-transfer");
        HostSession host({"serve", "--headless", "--dialogs", "auto", "--dest", dest.string()},
                         WithTmp(tmp));
        host.WriteLine(addCall("/stall.bin", kStallSize));
        host.WriteLine(R"({"id":2,"call":"Download"})");
        ASSERT_TRUE(WaitFor([&] { return TransferUnderWay(tmp); })) << host.Stderr();
        host.Signal(SIGTERM);
        // The host ends by itself: its stdin stays open.
        const std::string strRest = host.ReadRest(std::chrono::seconds(30));
        EXPECT_EQ(host.Finish(std::chrono::seconds(10)), 143) << host.Stderr();
        EXPECT_NE(strRest.find(R"({"event":"DownloadItemComplete","args":[3,"",")" +
                               server.BaseUrl() + "/stall.bin"),
                  std::string::npos)
            << strRest;
        EXPECT_NE(strRest.find(R"({"event":"DownloadComplete","args":[)"), std::string::npos);
        EXPECT_NE(strRest.find(R"({"id":2,"hr":0})"), std::string::npos) << strRest;
        EXPECT_TRUE(fs::is_empty(dest));
        EXPECT_EQ(TempEntries(tmp), std::vector<fs::path>{});
    }
    {
        // SIGINT while the client has not answered a file-exists question:
        // it closes as cancelled, the file is skipped and the old one stays.
        const fs::path tmp = Folder("tmp-question");
        std::ofstream(dest / "a.txt") << "old";
        HostSession host({"serve", "--headless", "--param", "FileExistsDialogTimeOut=600000"},
                         WithTmp(tmp));
        host.WriteLine(addCall("/a.txt", 11));
        host.WriteLine(R"({"id":2,"call":"Download"})");
        // The client's answers to the questions before it.
        const auto answer = [&](const std::string& strDialog, const std::string& strFields) {
            const std::optional<std::string> line =
                host.ReadUntilContains(R"({"dialog":")" + strDialog + "\"");
            ASSERT_TRUE(line) << strDialog;
            const std::string strKey = R"("dialogId":")";
            const std::size_t uintId = line->find(strKey) + strKey.size();
            host.WriteLine(R"({"answer":")" +
                           line->substr(uintId, line->find('"', uintId) - uintId) + "\"," +
                           strFields + "}");
        };
        answer("Confirmation", R"("ok":true)");
        answer("BrowseForFolder", R"("folder":")" + dest.string() + "\"");
        ASSERT_TRUE(host.ReadUntilContains(R"({"dialog":"FileExists")")) << host.Stderr();
        host.Signal(SIGINT);
        const std::string strRest = host.ReadRest(std::chrono::seconds(30));
        EXPECT_EQ(host.Finish(std::chrono::seconds(10)), 130) << host.Stderr();
        EXPECT_NE(strRest.find(R"("reason":"cancelled")"), std::string::npos) << strRest;
        EXPECT_NE(strRest.find(R"({"event":"DownloadItemComplete","args":[3,)"), std::string::npos)
            << strRest;
        EXPECT_NE(strRest.find(R"({"id":2,"hr":0})"), std::string::npos) << strRest;
        std::ifstream old(dest / "a.txt");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 1);
        EXPECT_EQ(TempEntries(tmp), std::vector<fs::path>{});
    }
}

}  // namespace
}  // namespace pullbay::test
