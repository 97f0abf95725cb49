// The fault matrix: the real program (pullbay run --headless) against a
// loopback server that cuts, changes, stalls and floods, on file systems
// that fill, killed in the middle of a transfer and of a commit, two runs
// sharing one temporary folder. Every case checks what a user would find:
// each destination file byte-identical or absent (never partial under its
// final name), nothing left in the temporary folder, the exit code and the
// message.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "HostProcess.h"
#include "support/PatternBytes.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"
#include "support/WaitFor.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// File contents as a short text that a failed comparison can print.
std::string Digest(const std::string& strBytes)
{
    std::uint64_t uintHash = 14695981039346656037ull;  // FNV-1a
    for (const char ch : strBytes) {
        uintHash = (uintHash ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
    }
    return std::to_string(strBytes.size()) + " bytes #" + std::to_string(uintHash);
}

// Every entry below folder (hidden ones included) as relative path ->
// Digest of its bytes ("<dir>" for a folder, "<link>" for a symbolic link).
std::map<std::string, std::string> Tree(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string strName = it->path().lexically_relative(folder).string();
        if (it->is_symlink()) {
            entries[strName] = "<link>";
            it.disable_recursion_pending();
        } else if (it->is_directory()) {
            entries[strName] = "<dir>";
        } else {
            entries[strName] = Digest(ReadFile(it->path()));
        }
    }
    return entries;
}

// The largest regular file below folder, lock files aside.
std::uintmax_t LargestFile(const fs::path& folder)
{
    std::uintmax_t uintLargest = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() != ".lock") {
            uintLargest = std::max(uintLargest, it->file_size(error));
        }
    }
    return uintLargest;
}

class FaultMatrixBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string strTemplate = std::string(std::getenv("TMPDIR")) + "/faultsXXXXXX";
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        root = strTemplate;
        dest = root / "dest";
        temp = root / "temp";
        fs::create_directories(dest);
        fs::create_directories(temp);
    }
    void TearDown() override
    {
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
            ::umount2(it->c_str(), MNT_DETACH);
        }
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // A tmpfs of the given size at root/name. Mounting needs root; a machine
    // where it cannot is a failure here, not a pass.
    fs::path MountTmpfs(const std::string& strName, const std::string& strSize)
    {
        const fs::path point = root / strName;
        fs::create_directories(point);
        const std::string strOptions = "size=" + strSize;
        if (::mount("tmpfs", point.c_str(), "tmpfs", 0, strOptions.c_str()) != 0) {
            ADD_FAILURE() << "cannot mount a tmpfs at " << point << " (" << std::strerror(errno)
                          << "): this suite needs root";
            return {};
        }
        mounts.push_back(point);
        return point;
    }

    ChildOptions WithTemp(const fs::path& folder) const
    {
        ChildOptions options;
        options.environment = {{"TMPDIR", folder.string()}};
        return options;
    }

    std::vector<std::string> RunArguments(const std::string& strListPath,
                                          const fs::path& into) const
    {
        return {"run",     "--headless",
                "--dest",  into.string(),
                "--param", "FileList=" + server.BaseUrl() + strListPath,
                "--param", "ParallelDownloads=" + std::to_string(uintParallel)};
    }

    // Files one at a time, or six in flight as run's default has it.
    std::uint32_t uintParallel = 1;

    fs::path root;
    fs::path dest;
    fs::path temp;
    std::vector<fs::path> mounts;
    TestHttpServer server;
};

class FaultMatrixTest : public FaultMatrixBase,
                        public ::testing::WithParamInterface<std::uint32_t> {
protected:
    FaultMatrixTest() { uintParallel = GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Connections, FaultMatrixTest, ::testing::Values(1u, 6u),
                         [](const auto& param) {
                             return "Parallel" + std::to_string(param.param);
                         });

// How the server answers the requests after the first, which is cut.
enum class Later {
    RangesStrongETag,      // same version, tail by Range + If-Range
    RangesNoValidator,     // same version, no validator: whole again
    NoRangesLastModified,  // same version, no ranges: whole again
    ChangedRangesETag,     // new version, If-Range fails: whole new
    ChangedRangesNoValidator,
    ChangedNoRanges,
    ChangedTailIgnoringIfRange,  // answers the Range with the new version's tail
};

// Bodies cut at an offset (one run per offset: a file's further attempt
// waits a second), then served again in every way a server may: each file
// ends byte-identical to the version its last response carried.
class CutBodyTest : public FaultMatrixBase,
                    public ::testing::WithParamInterface<std::tuple<std::size_t, std::uint32_t>> {
protected:
    CutBodyTest() { uintParallel = std::get<1>(GetParam()); }
};

TEST_P(CutBodyTest, EndsAsTheLastVersionServedWhatever)
{
    constexpr std::size_t kSize = 300000;
    const std::size_t uintCut = std::get<0>(GetParam());
    const std::vector<Later> laters = {Later::RangesStrongETag,          Later::RangesNoValidator,
                                       Later::NoRangesLastModified,      Later::ChangedRangesETag,
                                       Later::ChangedRangesNoValidator,  Later::ChangedNoRanges,
                                       Later::ChangedTailIgnoringIfRange};
    std::string strList;
    std::map<std::string, std::string> expected;
    int intFile = 0;
    for (const Later later : laters) {
        const std::string strName = "f" + std::to_string(intFile) + ".bin";
        const std::string oldBody = PatternBytes(0, kSize, 2 * intFile);
        const bool bChanged = later >= Later::ChangedRangesETag;
        const std::string newBody = bChanged ? PatternBytes(0, kSize, 2 * intFile + 1) : oldBody;
        auto pCount = std::make_shared<std::atomic<int>>(0);
        server.Route("/" + strName, [=](const HttpRequest& request) {
            HttpResponse response;
            response.chunkSize = 16384;
            const bool bFirst = (*pCount)++ == 0;
            response.body = bFirst ? oldBody : newBody;
            response.honourRange =
                later != Later::NoRangesLastModified && later != Later::ChangedNoRanges;
            if (later == Later::RangesStrongETag || later == Later::ChangedRangesETag ||
                later == Later::ChangedTailIgnoringIfRange) {
                response.headers = {{"ETag", bFirst || !bChanged ? "\"v1\"" : "\"v2\""}};
            } else if (later == Later::NoRangesLastModified) {
                response.headers = {{"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"}};
            }
            if (bFirst) {
                response.closeAfterBodyBytes = uintCut;
            } else if (later == Later::ChangedTailIgnoringIfRange &&
                       request.Header("Range").has_value()) {
                response.honourRange = false;
                response.status = 206;
                response.body = newBody.substr(uintCut);
                response.headers.push_back({"Content-Range", "bytes " + std::to_string(uintCut) +
                                                                 "-" + std::to_string(kSize - 1) +
                                                                 "/" + std::to_string(kSize)});
            }
            return response;
        });
        strList += "*/*|" + std::to_string(kSize) + "|" + strName + "|" + strName + "\n";
        expected[strName] = Digest(newBody);
        ++intFile;
    }
    server.Route("/list.txt", HttpResponse::Text(200, strList));

    const ChildResult result = RunHost(RunArguments("/list.txt", dest), {}, WithTemp(temp));

    EXPECT_EQ(result.intExit, 0) << result.strErr;
    EXPECT_EQ(Tree(dest), expected) << "each file must be the version served last";
    EXPECT_EQ(CountTemporaryFiles(temp), 0);
    EXPECT_NE(result.strErr.find("7 files downloaded, 0 failed"), std::string::npos)
        << result.strErr;
}

INSTANTIATE_TEST_SUITE_P(Offsets, CutBodyTest,
                         ::testing::Combine(::testing::Values(std::size_t{1}, std::size_t{65537},
                                                              std::size_t{262144},
                                                              std::size_t{299999}),
                                            ::testing::Values(1u, 6u)),
                         [](const auto& param) {
                             return std::to_string(std::get<0>(param.param)) + "_Parallel" +
                                    std::to_string(std::get<1>(param.param));
                         });

// Hostile answers and names in one run: a flood past the declared size on a
// temporary folder too small to hold it, a stall past the time-out, a file
// system that fills in the middle of a file, a name that would write
// through a link inside the destination, an endless list line. Each fails
// alone with its reason; the good files around them arrive.
TEST_P(FaultMatrixTest, HostileAnswersFailAloneWithTheirReasons)
{
    const fs::path small = MountTmpfs("small", "1m");
    ASSERT_FALSE(small.empty());
    const fs::path outside = root / "outside";
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, dest / "sub");

    const std::string strGood = PatternBytes(0, 100000, 1);
    server.Route("/good.bin", HttpResponse::Text(200, strGood, "application/octet-stream"));
    HttpResponse flood;
    flood.body = std::string(64 * 1024 * 1024, 'F');
    flood.sendContentLength = false;
    flood.keepAlive = false;
    flood.chunkSize = 65536;
    server.Route("/flood.bin", flood);
    HttpResponse stall;
    stall.body = PatternBytes(0, 100000, 2);
    stall.chunkSize = 5000;
    stall.delayBetweenChunks = 600s;
    server.Route("/stall.bin", stall);
    server.Route("/big.bin", HttpResponse::Text(200, PatternBytes(0, 3 * 1024 * 1024, 3),
                                                "application/octet-stream"));
    const std::string strLongLine(1024 * 1024, 'L');
    server.Route("/list.txt", HttpResponse::Text(200, "*/*|10|flood.bin|flood.bin\n"
                                                      "*/*|100000|good.bin|good1.bin\n"
                                                      "*/*|100000|stall.bin|stall.bin\n"
                                                      "*/*|3145728|big.bin|big.bin\n"
                                                      "*/*|100000|good.bin|sub/good.bin\n" +
                                                          strLongLine + "\n" +
                                                          "*/*|100000|good.bin|good2.bin\n"));
    std::vector<std::string> arguments = RunArguments("/list.txt", dest);
    arguments.insert(arguments.end(),
                     {"--param", "TimeOut=500", "--param", "ReconnectAttemptsCount=1"});

    const ChildResult result = RunHost(arguments, {}, WithTemp(small));

    EXPECT_EQ(result.intExit, 1) << result.strErr;
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(CountTemporaryFiles(small), 0);
    const std::string& strErr = result.strErr;
    const std::string strBase = server.BaseUrl();
    EXPECT_NE(strErr.find("failed flood.bin (" + strBase +
                          "/flood.bin): the size is not the declared 10 bytes"),
              std::string::npos)
        << strErr;
    EXPECT_NE(strErr.find("failed big.bin (" + strBase + "/big.bin): 301: "), std::string::npos);
    EXPECT_NE(strErr.find("Disk is full"), std::string::npos);
    EXPECT_NE(strErr.find("failed sub/good.bin (" + strBase + "/good.bin): Access to path '" +
                          (dest / "sub").string() + "' is denied."),
              std::string::npos);
    EXPECT_NE(strErr.find("file list line rejected"), std::string::npos);
    if (uintParallel > 1) {
        // Files written while the big one fills the disk may fail with it;
        // whatever arrived is whole.
        for (const auto& [strName, strDigest] : Tree(dest)) {
            if (strName != "sub") {
                EXPECT_TRUE(strName == "good1.bin" || strName == "good2.bin") << strName;
                EXPECT_EQ(strDigest, Digest(strGood)) << strName;
            }
        }
        EXPECT_NE(strErr.find("failed stall.bin (" + strBase + "/stall.bin): "), std::string::npos);
        EXPECT_NE(strErr.find(", 0 skipped, 1 entry rejected"), std::string::npos) << strErr;
        return;
    }
    EXPECT_EQ(Tree(dest), (std::map<std::string, std::string>{{"good1.bin", Digest(strGood)},
                                                              {"good2.bin", Digest(strGood)},
                                                              {"sub", "<link>"}}));
    EXPECT_NE(strErr.find("failed stall.bin (" + strBase + "/stall.bin): "), std::string::npos);
    EXPECT_NE(strErr.find("timed out"), std::string::npos);
    EXPECT_NE(strErr.find("2 files downloaded, 4 failed, 0 skipped, 1 entry rejected"),
              std::string::npos)
        << strErr;
}

// kill -9 in the middle of a transfer leaves no file under its final name;
// the dead run's temporary files go with the next run into that folder.
TEST_P(FaultMatrixTest, KilledInTheMiddleOfATransferTheNextRunClearsWhatWasLeft)
{
    HttpResponse stall;
    stall.body = PatternBytes(0, 4 * 1024 * 1024, 4);
    stall.chunkSize = 1024 * 1024;
    stall.delayBetweenChunks = 600s;
    server.Route("/stall.bin", stall);
    server.Route("/list.txt", HttpResponse::Text(200, "*/*|4194304|stall.bin|stall.bin\n"));
    {
        HostSession session(RunArguments("/list.txt", dest), WithTemp(temp));
        // The first megabyte is on disk in the temporary folder.
        ASSERT_TRUE(WaitFor([&] { return LargestFile(temp) >= 512 * 1024; }));
        session.Signal(SIGKILL);
        EXPECT_NE(session.Finish(), 0);
    }
    EXPECT_TRUE(Tree(dest).empty());
    EXPECT_GT(CountTemporaryFiles(temp), 0);

    const std::string strSmall = PatternBytes(0, 1000, 5);
    server.Route("/small.bin", HttpResponse::Text(200, strSmall, "application/octet-stream"));
    server.Route("/small.txt", HttpResponse::Text(200, "*/*|1000|small.bin|small.bin\n"));
    const ChildResult result = RunHost(RunArguments("/small.txt", dest), {}, WithTemp(temp));
    EXPECT_EQ(result.intExit, 0) << result.strErr;
    EXPECT_EQ(Tree(dest), (std::map<std::string, std::string>{{"small.bin", Digest(strSmall)}}));
    EXPECT_EQ(CountTemporaryFiles(temp), 0);
}

// kill -9 while a finished file is copied to another file system: the final
// name never holds a partial file, and the hidden copy does not survive the
// next run into that folder (a sub-folder made from a list name included).
TEST_P(FaultMatrixTest, KilledInTheMiddleOfACommitAcrossFileSystemsLeavesNoCopyBehind)
{
    const fs::path otherTemp = MountTmpfs("other-temp", "512m");
    ASSERT_FALSE(otherTemp.empty());
    constexpr std::size_t kSize = 192 * 1024 * 1024;
    const std::string strBig = PatternBytes(0, kSize, 6);
    server.Route("/big.bin", HttpResponse::Text(200, strBig, "application/octet-stream"));
    server.Route("/list.txt",
                 HttpResponse::Text(200, "*/*|" + std::to_string(kSize) + "|big.bin|in/big.bin\n"));
    const fs::path into = dest / "in";
    fs::create_directories(into);
    const int intWatch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(intWatch, 0);
    ASSERT_GE(::inotify_add_watch(intWatch, into.c_str(), IN_CREATE), 0);
    {
        HostSession session(RunArguments("/list.txt", dest), WithTemp(otherTemp));
        // The first entry made in the folder is the hidden copy.
        alignas(inotify_event) char buffer[4096];
        ASSERT_GT(::read(intWatch, buffer, sizeof buffer), 0);
        session.Signal(SIGKILL);
        EXPECT_NE(session.Finish(), 0);
    }
    ::close(intWatch);
    const auto left = Tree(into);
    ASSERT_EQ(left.size(), 1u) << "the commit should have been cut in the middle";
    const std::string& strLeftName = left.begin()->first;
    if (strLeftName == "big.bin") {
        EXPECT_EQ(left.begin()->second, Digest(strBig)) << "a partial file under the final name";
        GTEST_SKIP() << "the copy finished before the kill arrived";
    }
    EXPECT_EQ(strLeftName.rfind(".PBT", 0), 0u) << strLeftName;

    // The next run into that folder, even one that commits nothing there.
    server.Route("/none.txt", HttpResponse::Text(200, "*/*|1|missing.bin|in/missing.bin\n"));
    RunHost(RunArguments("/none.txt", dest), {}, WithTemp(otherTemp));
    EXPECT_TRUE(Tree(into).empty());
}

// Two runs at once in one temporary folder: the first to end clears only
// its own files, and the other, whose temporary file is open all the while,
// still arrives whole.
TEST_P(FaultMatrixTest, TwoRunsSharingTheTemporaryFolderKeepEachOthersFiles)
{
    const std::string strSlow = PatternBytes(0, 200000, 7);
    auto pQuickDone = std::make_shared<std::atomic<bool>>(false);
    // The slow file is answered only once the other run has ended.
    server.Route("/slow.bin", [=](const HttpRequest&) {
        WaitFor([&] { return pQuickDone->load(); }, 60s);
        return HttpResponse::Text(200, strSlow, "application/octet-stream");
    });
    const std::string strQuick = PatternBytes(0, 300000, 8);
    server.Route("/quick.bin", HttpResponse::Text(200, strQuick, "application/octet-stream"));
    server.Route("/slow.txt", HttpResponse::Text(200, "*/*|200000|slow.bin|slow.bin\n"));
    server.Route("/quick.txt", HttpResponse::Text(200, "*/*|300000|quick.bin|quick.bin\n"));
    const fs::path otherDest = root / "dest2";
    fs::create_directories(otherDest);

    HostSession slowRun(RunArguments("/slow.txt", dest), WithTemp(temp));
    ASSERT_TRUE(WaitFor([&] { return server.RequestCount("/slow.bin") == 1; }));
    const ChildResult quick = RunHost(RunArguments("/quick.txt", otherDest), {}, WithTemp(temp));
    pQuickDone->store(true);
    EXPECT_EQ(quick.intExit, 0) << quick.strErr;
    EXPECT_EQ(slowRun.Finish(), 0) << slowRun.Stderr();

    EXPECT_EQ(Tree(dest), (std::map<std::string, std::string>{{"slow.bin", Digest(strSlow)}}));
    EXPECT_EQ(Tree(otherDest),
              (std::map<std::string, std::string>{{"quick.bin", Digest(strQuick)}}));
    EXPECT_EQ(CountTemporaryFiles(temp), 0);
}

// A user's files named like the program's hidden copies (".PBT<hex>.tmp")
// are the user's: runs into their folders keep them, whether the commit is
// a rename on one file system or a copy across two.
TEST_P(FaultMatrixTest, UsersFilesNamedLikeCommitCopiesSurviveRuns)
{
    const fs::path otherTemp = MountTmpfs("other-temp", "16m");
    ASSERT_FALSE(otherTemp.empty());
    const std::string strBody = PatternBytes(0, 1000, 9);
    server.Route("/f.bin", HttpResponse::Text(200, strBody, "application/octet-stream"));
    server.Route("/list.txt",
                 HttpResponse::Text(200, "*/*|1000|f.bin|f.bin\n*/*|1000|f.bin|in/g.bin\n"));
    fs::create_directories(dest / "in");
    std::ofstream(dest / ".PBT1A2B.tmp") << "the user's";
    std::ofstream(dest / "in" / ".PBT1A2B.tmp") << "the user's too";

    for (const fs::path& tempFolder : {temp, otherTemp}) {
        SCOPED_TRACE(tempFolder.string());
        const ChildResult result =
            RunHost(RunArguments("/list.txt", dest), {}, WithTemp(tempFolder));
        EXPECT_EQ(result.intExit, 0) << result.strErr;
        EXPECT_EQ(Tree(dest),
                  (std::map<std::string, std::string>{{".PBT1A2B.tmp", Digest("the user's")},
                                                      {"f.bin", Digest(strBody)},
                                                      {"in", "<dir>"},
                                                      {"in/.PBT1A2B.tmp", Digest("the user's too")},
                                                      {"in/g.bin", Digest(strBody)}}));
    }
}

// With TMPDIR unset the temporary files live in the user's own root
// ($XDG_CACHE_HOME/pullbay, here ~/.cache/pullbay, made on demand), not in
// the shared /tmp where any other user could take the name first. A
// Pullbay_Temp there that is not privately ours fails every file with a
// message naming the folder and the reason.
TEST_P(FaultMatrixTest, WithoutTmpdirTheTemporaryFilesStayInTheUsersOwnRoot)
{
    const fs::path home = root / "home";
    const fs::path runtime = root / "runtime";
    fs::create_directories(home);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    ChildOptions options;
    options.environment = {{"TMPDIR", std::nullopt},
                           {"XDG_CACHE_HOME", std::nullopt},
                           {"HOME", home.string()},
                           {"XDG_RUNTIME_DIR", runtime.string()}};
    const std::string strBody = PatternBytes(0, 1000, 10);
    server.Route("/f.bin", HttpResponse::Text(200, strBody, "application/octet-stream"));
    server.Route("/list.txt", HttpResponse::Text(200, "*/*|1000|f.bin|f.bin\n"));

    const ChildResult result = RunHost(RunArguments("/list.txt", dest), {}, options);
    EXPECT_EQ(result.intExit, 0) << result.strErr;
    EXPECT_EQ(Tree(dest), (std::map<std::string, std::string>{{"f.bin", Digest(strBody)}}));
    const fs::path shared = home / ".cache" / "pullbay" / "Pullbay_Temp";
    ASSERT_TRUE(fs::is_directory(shared));
    for (const fs::path& level : {home / ".cache", home / ".cache" / "pullbay", shared}) {
        EXPECT_EQ(fs::status(level).permissions(), fs::perms::owner_all) << level;
    }
    EXPECT_EQ(CountTemporaryFiles(shared), 0);

    // Taken by someone else: another user's folder, or one open to all.
    fs::remove_all(shared);
    fs::create_directory(shared);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
    } else {
        fs::permissions(shared, fs::perms::all, fs::perm_options::replace);
    }
    fs::remove(dest / "f.bin");
    const ChildResult blocked = RunHost(RunArguments("/list.txt", dest), {}, options);
    EXPECT_EQ(blocked.intExit, 1) << blocked.strErr;
    EXPECT_NE(blocked.strErr.find("failed f.bin (" + server.BaseUrl() +
                                  "/f.bin): Unable to create temporary file in '" +
                                  shared.string() +
                                  "': the folder is not a private folder of this user"),
              std::string::npos)
        << blocked.strErr;
    EXPECT_TRUE(Tree(dest).empty());
}

}  // namespace
}  // namespace pullbay::test
