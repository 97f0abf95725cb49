// The per-file loop against the scripted loopback server: results, events
// and files on disk for good and failing files, skips, MIME and size checks,
// name clashes and hostile names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/TextUnits.h"
#include "engine/DownloaderTestFixture.h"
#include "engine/FileListDownloader.h"
#include "engine/TempFiles.h"
#include "model/FileItem.h"
#include "model/PropertyHolder.h"
#include "pullbay/Events.h"
#include "support/EnvironmentScope.h"
#include "support/PatternBytes.h"
#include "support/ProtectedPlatform.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using model::FileItem;
using namespace std::chrono_literals;

// The cases that hold alike one file at a time and with several in flight:
// what the owner hears and what lands on disk are the same.
class FileListDownloaderBothTest : public FileListDownloaderTest,
                                   public ::testing::WithParamInterface<std::uint32_t> {
protected:
    FileListDownloaderBothTest() { uintParallel = GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Connections, FileListDownloaderBothTest, ::testing::Values(1u, 6u),
                         [](const auto& param) {
                             return "Parallel" + std::to_string(param.param);
                         });

TEST_P(FileListDownloaderBothTest, FiveFilesEndWithTheirResultsEventsAndFiles)
{
    const std::string good = PatternBytes(0, 30000, 11);
    server.Route("/missing", HttpResponse::Text(404, "no such file"));
    server.Route("/secret", HttpResponse::Text(403, "go away"));
    HttpResponse html = HttpResponse::Text(200, "<html/>", "text/html");
    server.Route("/typed", html);
    server.Route("/short", HttpResponse::Text(200, "1234", "application/octet-stream"));
    HttpResponse goodResponse;
    goodResponse.body = good;
    goodResponse.contentType = "application/zip";
    server.Route("/good", goodResponse);

    auto pEngine = Engine({Item("/missing", L"missing.bin", 12), Item("/secret", L"secret.bin", 7),
                           Item("/typed", L"typed.zip", 7, L"application/zip"),
                           Item("/short", L"short.bin", 10),
                           Item("/good", L"sub/good.zip", 30000, L"Application/ZIP")});
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 5u);
    const std::int32_t expected[] = {api::ItemNotFound, api::ItemForbidden,
                                     api::ItemWrongContentType, api::ItemWrongFileSize,
                                     api::ItemSuccess};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(events.completed[i]->GetResult(), expected[i]) << "file " << i;
    }
    ASSERT_EQ(events.errors.size(), 2u);
    EXPECT_EQ(events.errors[0].intCode, api::ErrorCode::kTransferNotFound);
    EXPECT_EQ(events.errors[0].intHttpCode, 404);
    EXPECT_EQ(events.errors[0].strPage, L"no such file");
    EXPECT_EQ(events.errors[0].strUrl, Widen(server.BaseUrl() + "/missing"));
    EXPECT_EQ(events.errors[0].strDescription,
              L"0: The server answered the request with HTTP status 404 (Not Found).");
    EXPECT_EQ(events.errors[0].intIndex, 0);
    EXPECT_EQ(events.errors[1].intCode, api::ErrorCode::kTransferFailed);
    EXPECT_EQ(events.errors[1].intHttpCode, 403);
    EXPECT_EQ(events.errors[1].intIndex, 1);

    EXPECT_EQ(ReadFile(destination / "sub" / "good.zip"), good);
    for (const char* name : {"missing.bin", "secret.bin", "typed.zip", "short.bin"}) {
        EXPECT_FALSE(fs::exists(destination / name)) << name;
    }
    ASSERT_FALSE(events.progress.empty());
    EXPECT_EQ(events.progress.back().dblItem, 1.0);
    EXPECT_EQ(events.progress.back().dblTotal, 1.0);
    EXPECT_EQ(events.progress.back().intIndex, 4);
    EXPECT_EQ(pEngine->GetCurrentIndex(), -1);
    EXPECT_EQ(pEngine->GetCurrentItem(), nullptr);
}

TEST_P(FileListDownloaderBothTest, DeclaredSizesCountAll64Bits)
{
    // A declared size of 4 GiB + 1000 whose low 32 bits are 1000: the body of
    // 1000 bytes is the wrong size, and the run's total holds every bit.
    const std::int64_t intHuge = 4294967296LL + 1000;
    HttpResponse thousand;
    thousand.body = PatternBytes(0, 1000, 3);
    server.Route("/thousand", thousand);
    server.Route("/three", HttpResponse::Text(200, "abc", "application/octet-stream"));

    auto pEngine = Engine({Item("/thousand", L"huge.bin", intHuge), Item("/three", L"c.bin", 3)});
    EXPECT_EQ(pEngine->GetProgressStatistic()->GetTotal(),
              static_cast<std::uint64_t>(intHuge) + 3u);
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 2u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemWrongFileSize);
    EXPECT_EQ(events.completed[1]->GetResult(), api::ItemSuccess);
    EXPECT_FALSE(fs::exists(destination / "huge.bin"));
    // The failed file's size left the total whole.
    EXPECT_EQ(pEngine->GetProgressStatistic()->GetTotal(), 3u);
}

TEST_P(FileListDownloaderBothTest, MimeTypeRulesAndResponsesWithoutType)
{
    server.Route("/charset", HttpResponse::Text(200, "abc", "text/plain; charset=utf-8"));
    server.Route("/any", HttpResponse::Text(200, "abc", "video/whatever"));
    HttpResponse untyped = HttpResponse::Text(200, "abc");
    untyped.contentType = "";
    server.Route("/untyped", untyped);
    server.Route("/star", HttpResponse::Text(200, "abc", "image/png"));

    auto pEngine =
        Engine({Item("/charset", L"1.txt", 3, L"text/plain"), Item("/any", L"2.txt", 3, L"*/*"),
                Item("/untyped", L"3.txt", 3, L"application/zip"),
                Item("/star", L"4.txt", 3, L"image/*"), Item("/any", L"5.txt", 0, L"*/*")});
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 5u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemWrongContentType);
    EXPECT_EQ(events.completed[1]->GetResult(), api::ItemSuccess);
    EXPECT_EQ(events.completed[2]->GetResult(), api::ItemSuccess);
    EXPECT_EQ(events.completed[3]->GetResult(), api::ItemWrongContentType);
    EXPECT_EQ(events.completed[4]->GetResult(), api::ItemWrongFileSize)
        << "a declared size of 0 accepts only an empty file";
    EXPECT_TRUE(events.errors.empty());
    // What the server sent stays with the item, for the log's [MimeType].
    EXPECT_EQ(events.completed[0]->GetReceivedMimeType(), L"text/plain; charset=utf-8");
    EXPECT_EQ(events.completed[2]->GetReceivedMimeType(), L"");
    EXPECT_EQ(events.completed[3]->GetReceivedMimeType(), L"image/png");
}

TEST_P(FileListDownloaderBothTest, SkipCurrentDuringASlowTransferSkipsOnlyThatFile)
{
    HttpResponse slow;
    slow.body = PatternBytes(0, 100000);
    slow.chunkSize = 1000;
    slow.delayBetweenChunks = 20ms;
    server.Route("/slow", slow);
    server.Route("/next", HttpResponse::Text(200, "next"));

    auto pEngine = Engine({Item("/slow", L"slow.bin", 100000), Item("/next", L"next.txt", 4)});
    std::thread worker([&] { pEngine->Process(); });
    ASSERT_TRUE(events.WaitForProgressOf(0));
    pEngine->SkipCurrent();
    worker.join();

    ASSERT_EQ(events.completed.size(), 2u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSkipped);
    EXPECT_EQ(events.completed[1]->GetResult(), api::ItemSuccess);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].intCode, api::ErrorCode::kFileSkipped);
    EXPECT_EQ(events.errors[0].intIndex, 0);
    EXPECT_EQ(ReadFile(destination / "next.txt"), "next");
}

TEST_P(FileListDownloaderBothTest, SkipCurrentEndsAStalledFileOfUnknownSize)
{
    HttpResponse stalled;
    stalled.neverRespond = true;
    server.Route("/stalled", stalled);
    auto pEngine = Engine({Item("/stalled", L"stalled.bin", 0)});
    std::thread worker([&] { pEngine->Process(); });
    ASSERT_TRUE(server.WaitForRequests(1, 10s));
    pEngine->SkipCurrent();
    worker.join();
    ASSERT_EQ(events.completed.size(), 1u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSkipped);
}

TEST_F(FileListDownloaderTest, SkipAllDuringFileTwoReportsTheRestWithoutContactingServers)
{
    HttpResponse slow;
    slow.body = PatternBytes(0, 100000);
    slow.chunkSize = 1000;
    slow.delayBetweenChunks = 20ms;
    server.Route("/slow", slow);
    server.Route("/one", HttpResponse::Text(200, "one"));

    auto pEngine = Engine({Item("/one", L"one.txt", 3), Item("/slow", L"two.bin", 100000),
                           Item("/three", L"dir/three.txt", 1), Item("/four", L"four.txt", 1),
                           Item("/five", L"five.txt", 1)});
    std::thread worker([&] { pEngine->Process(); });
    ASSERT_TRUE(events.WaitForProgressOf(1));
    pEngine->SkipAll();
    worker.join();

    ASSERT_EQ(events.completed.size(), 5u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSuccess);
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(events.completed[i]->GetResult(), api::ItemSkipped) << i;
    }
    ASSERT_EQ(events.errors.size(), 4u);
    for (std::int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(events.errors[static_cast<std::size_t>(i)].intCode, api::ErrorCode::kFileSkipped);
        EXPECT_EQ(events.errors[static_cast<std::size_t>(i)].intIndex, i + 1);
    }
    EXPECT_EQ(events.intSkipBatches, 1) << "the files after the current one go in one report";
    EXPECT_EQ(server.RequestCount("/three") + server.RequestCount("/four") +
                  server.RequestCount("/five"),
              0u);
}

TEST_P(FileListDownloaderBothTest, PersistentFailureGivesOneErrorAfterTheLastAttempt)
{
    HttpResponse broken;
    broken.body = PatternBytes(0, 1000);
    broken.closeAfterBodyBytes = 100;
    server.Route("/broken", broken);

    auto pEngine = Engine({Item("/broken", L"broken.bin", 1000)});
    pEngine->Process();

    EXPECT_EQ(server.RequestCount("/broken"), 3u);  // 1 + 2 further attempts
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].intCode, api::ErrorCode::kTransferFailed);
    EXPECT_EQ(events.errors[0].intHttpCode, 200);
    EXPECT_EQ(events.errors[0].strDescription.rfind(L"12031: ", 0), 0u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemFailed);
}

TEST_P(FileListDownloaderBothTest, RenameClashesGiveCopyNamesAndFoldersClashToo)
{
    server.Route("/a1", HttpResponse::Text(200, "first"));
    server.Route("/a2", HttpResponse::Text(200, "second"));
    server.Route("/a3", HttpResponse::Text(200, "third"));
    events.clashAnswer = model::FileExistsDialogAction::Rename;
    fs::create_directories(destination / "b.txt");
    server.Route("/b", HttpResponse::Text(200, "bee"));

    auto pEngine = Engine({Item("/a1", L"a.txt", 5), Item("/a2", L"a.txt", 6),
                           Item("/a3", L"a.txt", 5), Item("/b", L"b.txt", 3)});
    pEngine->Process();

    EXPECT_EQ(ReadFile(destination / "a.txt"), "first");
    EXPECT_EQ(ReadFile(destination / "Copy of a.txt"), "second");
    EXPECT_EQ(ReadFile(destination / "Copy (2) of a.txt"), "third");
    EXPECT_EQ(ReadFile(destination / "Copy of b.txt"), "bee");
    ASSERT_EQ(events.completed.size(), 4u);
    EXPECT_EQ(events.completed[2]->GetDestinationFileName(), L"Copy (2) of a.txt");
    EXPECT_EQ(events.clashes.size(), 3u);
}

TEST_P(FileListDownloaderBothTest, SkipAnswerToAClashSkipsWithoutContactingTheServer)
{
    std::ofstream(destination / "kept.txt") << "old";
    events.clashAnswer = model::FileExistsDialogAction::Skip;
    auto pEngine = Engine({Item("/kept", L"kept.txt", 3)});
    pEngine->Process();
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSkipped);
    EXPECT_EQ(events.errors.at(0).intCode, api::ErrorCode::kFileSkipped);
    EXPECT_EQ(server.RequestCount("/kept"), 0u);
    EXPECT_EQ(ReadFile(destination / "kept.txt"), "old");
}

TEST_P(FileListDownloaderBothTest, HostileNamesNeverWriteOutsideTheDestination)
{
    server.Route("/x", HttpResponse::Text(200, "x"));
    const std::wstring names[] = {
        L"../escape.txt",   L"a/../../escape2.txt",       L"..", L"///", L"",
        L"/etc/inside.txt", L"\\\\server\\share\\unc.txt"};
    engine::FileListDownloader::Items items;
    for (const auto& name : names) {
        items.push_back(Item("/x", name, 1));
    }
    auto pEngine = Engine(items);
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), std::size(names));
    for (const auto& pItem : events.completed) {
        if (pItem->GetResult() == api::ItemSuccess) {
            const fs::path written = fs::weakly_canonical(pItem->FullDestinationPath());
            const std::string strWritten = written.string();
            EXPECT_EQ(strWritten.rfind(fs::weakly_canonical(destination).string(), 0), 0u)
                << strWritten;
        } else {
            EXPECT_EQ(pItem->GetResult(), api::ItemWriteError);
            EXPECT_EQ(pItem->GetDestinationFileName(), L"")
                << "a refused name leaves no destination to report";
        }
    }
    EXPECT_FALSE(fs::exists(destination.parent_path() / "escape.txt"));
    EXPECT_FALSE(fs::exists(destination.parent_path() / "escape2.txt"));
    EXPECT_TRUE(fs::exists(destination / "etc" / "inside.txt"));
    for (const auto& error : events.errors) {
        EXPECT_EQ(error.intCode, api::ErrorCode::kDestinationFailed);
        EXPECT_NE(error.strDescription, L"") << "a write error says why";
    }
}

TEST_F(FileListDownloaderTest, ATemporaryFileThatCannotBeOpenedSaysWhy)
{
#ifdef __SANITIZE_ADDRESS__
    // UBSan checks a virtual call by probing memory through a pipe; with no
    // descriptor left it reports every such call as a bad object.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    auto pEngine = Engine({Item("/never", L"never.txt", 1)});
    pEngine->SetLocalPathsInErrors(true);
    // Every descriptor taken: the temporary file is the first thing that
    // needs one, before any connection.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> taken;
    for (int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0;
         fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) {
        taken.push_back(fd);
    }
    pEngine->Process();
    for (const int fd : taken) {
        ::close(fd);
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_EQ(events.completed.size(), 1u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemWriteError);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].intCode, api::ErrorCode::kTemporaryFileFailed);
    EXPECT_NE(events.errors[0].strDescription.find(L"Unable to create temporary file in '"),
              std::wstring::npos)
        << core::ToUtf8(events.errors[0].strDescription);
    EXPECT_NE(events.errors[0].strDescription.find(L"': Too many open files"), std::wstring::npos)
        << core::ToUtf8(events.errors[0].strDescription);
    EXPECT_EQ(server.RequestCount("/never"), 0u);
}

// A web page learns why a write failed, never where: the folder and the
// temporary file stay with the person at this machine.
TEST_P(FileListDownloaderBothTest, WriteFailuresNameLocalPathsOnlyWhenTheHostMayShowThem)
{
    server.Route("/x", HttpResponse::Text(200, "x"));
    fs::create_directories(destination / "real");
    fs::create_symlink(destination / "real", destination / "link");
    const fs::path blocker = fs::path(std::getenv("TMPDIR")) / "blocker";
    std::ofstream(blocker) << "a file where the temporary folder's parent should be";
    const std::wstring strTemp = (blocker / "Pullbay_Temp").wstring() + L"/";

    for (const bool bLocalPaths : {false, true}) {
        SCOPED_TRACE(bLocalPaths ? "paths shown" : "paths hidden");
        events.errors.clear();
        auto pEngine = Engine({Item("/x", L"link/through.txt", 1), Item("/x", L"plain.txt", 1)});
        pEngine->SetTemporaryFolder(strTemp);
        pEngine->SetLocalPathsInErrors(bLocalPaths);
        pEngine->Process();

        ASSERT_EQ(events.errors.size(), 2u);
        EXPECT_EQ(events.errors[0].intCode, api::ErrorCode::kDestinationFailed);
        EXPECT_EQ(events.errors[1].intCode, api::ErrorCode::kTemporaryFileFailed);
        for (const ErrorReport& error : events.errors) {
            const std::string strText = core::ToUtf8(error.strDescription);
            const bool bNamesDestination = strText.find(destination.string()) != std::string::npos;
            const bool bNamesTemp = strText.find(blocker.string()) != std::string::npos;
            EXPECT_EQ(bNamesDestination || bNamesTemp, bLocalPaths) << strText;
            EXPECT_NE(strText, "") << "the cause is told either way";
        }
        if (!bLocalPaths) {
            EXPECT_EQ(events.errors[0].strDescription, L"Access is denied.");
            EXPECT_EQ(events.errors[1].strDescription, L"Not a directory");
        }
    }
}

}  // namespace
}  // namespace pullbay::test

namespace pullbay::test {
namespace {

TEST_P(FileListDownloaderBothTest, ProtectedModeLeavesFilesInTheWriteableFolder)
{
    const fs::path lowFolder = fs::path(std::getenv("TMPDIR")) / "low";
    fs::create_directories(lowFolder);
    fs::permissions(lowFolder, fs::perms::owner_all, fs::perm_options::replace);
    ProtectedPlatformScope protectedMode(lowFolder.wstring());

    // A sub-folder that cannot be created here is left for the move after
    // the run.
    std::ofstream(destination / "blocked") << "a file where a folder should go";
    server.Route("/pm", HttpResponse::Text(200, "protected"));
    auto pEngine = Engine({Item("/pm", L"blocked/inner/pm.txt", 9), Item("/pm", L"top.txt", 9)});
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 2u);
    for (const auto& pItem : events.completed) {
        EXPECT_EQ(pItem->GetResult(), api::ItemSuccess);
        EXPECT_EQ(fs::path(pItem->GetTemporaryFilePath()).parent_path(), lowFolder);
        EXPECT_EQ(ReadFile(pItem->GetTemporaryFilePath()), "protected");
    }
    EXPECT_EQ(events.completed[0]->GetDestinationFolder(),
              (destination / "blocked" / "inner").wstring());
    EXPECT_FALSE(fs::exists(destination / "top.txt")) << "nothing is moved during the run";
    EXPECT_TRUE(events.errors.empty());
}

}  // namespace
}  // namespace pullbay::test

namespace pullbay::test {
namespace {

using model::FileExistsDialogAction;

// Two runs renaming into one folder both choose "Copy of a.bin": the other
// run's file appears under that name while this one's is fetched (here,
// when its request arrives, after the name was chosen). The commit never
// replaces it; the rule runs again as if it had been there, and the file
// takes the next copy name.
TEST_P(FileListDownloaderBothTest, ANameTakenAfterItWasChosenIsNeverReplaced)
{
    std::ofstream(destination / "a.bin") << "old";
    events.clashAnswer = FileExistsDialogAction::Rename;
    const fs::path appeared = destination / "Copy of a.bin";
    server.Route("/a", [appeared](const HttpRequest&) {
        std::ofstream(appeared) << "other run";
        return HttpResponse::Text(200, "mine!");
    });

    auto pEngine = Engine({Item("/a", L"a.bin", 5)});
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 1u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSuccess);
    EXPECT_EQ(ReadFile(destination / "a.bin"), "old");
    EXPECT_EQ(ReadFile(appeared), "other run");
    EXPECT_EQ(ReadFile(destination / "Copy (2) of a.bin"), "mine!");
    EXPECT_EQ(events.completed[0]->GetDestinationFileName(), L"Copy (2) of a.bin");
    // Asked for a.bin, then for the copy name that was taken meanwhile.
    EXPECT_EQ(events.clashes,
              (std::vector<std::wstring>{(destination / "a.bin").wstring(), appeared.wstring()}));
    EXPECT_TRUE(events.errors.empty());
}

// A name that was free when chosen and is taken by the commit: the rule
// applies as for any clash. Skip keeps the other file and skips this one;
// Overwrite replaces, as the user asked.
TEST_P(FileListDownloaderBothTest, AnEntryThatAppearsBeforeTheCommitGetsTheFileExistsRule)
{
    for (const std::string strName : {"b.bin", "c.bin"}) {
        const fs::path target = destination / strName;
        server.Route("/" + strName, [target](const HttpRequest&) {
            std::ofstream(target) << "theirs";
            return HttpResponse::Text(200, "mine");
        });
    }
    events.scriptedAnswers = {FileExistsDialogAction::Skip, FileExistsDialogAction::Overwrite};

    auto pEngine = Engine({Item("/b.bin", L"b.bin", 4), Item("/c.bin", L"c.bin", 4)});
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 2u);
    EXPECT_EQ(events.clashes, (std::vector<std::wstring>{(destination / "b.bin").wstring(),
                                                         (destination / "c.bin").wstring()}));
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSkipped);
    EXPECT_EQ(ReadFile(destination / "b.bin"), "theirs");
    EXPECT_FALSE(fs::exists(events.completed[0]->GetTemporaryFilePath()));
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].intCode, api::ErrorCode::kFileSkipped);
    EXPECT_EQ(events.errors[0].intIndex, 0);
    EXPECT_EQ(events.completed[1]->GetResult(), api::ItemSuccess);
    EXPECT_EQ(ReadFile(destination / "c.bin"), "mine");
}

// The same with the temporary folder on another file system: the commit
// copies, and its final rename does not replace the other run's file.
TEST_F(FileListDownloaderTest, ANameTakenAfterItWasChosenIsNeverReplacedAcrossFileSystems)
{
    const fs::path otherTemp = fs::path(std::getenv("TMPDIR")) / "other-temp";
    fs::create_directories(otherTemp);
    if (::mount("tmpfs", otherTemp.c_str(), "tmpfs", 0, "size=4m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    struct Unmount {
        fs::path point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
    } unmount{otherTemp};
    ::chmod(otherTemp.c_str(), 0700);

    std::ofstream(destination / "a.bin") << "old";
    events.clashAnswer = FileExistsDialogAction::Rename;
    const fs::path appeared = destination / "Copy of a.bin";
    server.Route("/a", [appeared](const HttpRequest&) {
        std::ofstream(appeared) << "other run";
        return HttpResponse::Text(200, "mine!");
    });

    auto pEngine = Engine({Item("/a", L"a.bin", 5)});
    pEngine->SetTemporaryFolder(otherTemp.wstring() + L"/");
    pEngine->Process();

    ASSERT_EQ(events.completed.size(), 1u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSuccess);
    EXPECT_EQ(ReadFile(appeared), "other run");
    EXPECT_EQ(ReadFile(destination / "Copy (2) of a.bin"), "mine!");
    EXPECT_EQ(events.clashes.size(), 2u);
    for (const auto& entry : fs::directory_iterator(destination)) {
        EXPECT_NE(entry.path().filename().string().rfind(".PBT", 0), 0u)
            << "a copy was left: " << entry.path();
    }
}

// A file a user named like the program's hidden copies is the user's: a
// run into its folder (and into a sub-folder of a list name) keeps it.
TEST_F(FileListDownloaderTest, AUsersFileNamedLikeACommitCopySurvivesARun)
{
    fs::create_directories(destination / "sub");
    std::ofstream(destination / ".PBT1A2B.tmp") << "the user's";
    std::ofstream(destination / "sub" / ".PBT1A2B.tmp") << "the user's too";
    server.Route("/x", HttpResponse::Text(200, "x"));

    auto pEngine = Engine({Item("/x", L"x.bin", 1), Item("/x", L"sub/x.bin", 1)});
    pEngine->Process();

    EXPECT_EQ(events.completed.at(1)->GetResult(), api::ItemSuccess);
    EXPECT_EQ(ReadFile(destination / ".PBT1A2B.tmp"), "the user's");
    EXPECT_EQ(ReadFile(destination / "sub" / ".PBT1A2B.tmp"), "the user's too");
}

// With TMPDIR unset the temporary files live under the per-user root, made
// on demand; a Pullbay_Temp there that is not privately ours fails every
// file with a message that names the folder and the reason.
TEST_F(FileListDownloaderTest, WithoutTmpdirTheTemporaryFolderIsUnderTheCacheRoot)
{
    const fs::path sandbox = fs::path(std::getenv("TMPDIR"));
    const fs::path home = sandbox / "home-of-test";
    fs::create_directories(home);
    EnvironmentScope environment;
    environment.Unset("TMPDIR");
    environment.Unset("XDG_CACHE_HOME");
    environment.Set("HOME", home.string());
    server.Route("/x", HttpResponse::Text(200, "x"));

    auto pEngine = Engine({Item("/x", L"x.bin", 1)});
    pEngine->Process();
    ASSERT_EQ(events.completed.size(), 1u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemSuccess);
    const fs::path folder = home / ".cache" / "pullbay" / "Pullbay_Temp";
    EXPECT_EQ(fs::path(events.completed[0]->GetTemporaryFilePath()).parent_path(), folder);
    EXPECT_EQ(fs::status(home / ".cache" / "pullbay").permissions(), fs::perms::owner_all);

    // Another user's folder (or one opened to others) in its place.
    fs::permissions(folder, fs::perms::all, fs::perm_options::replace);
    events.completed.clear();
    auto pSecond = Engine({Item("/x", L"y.bin", 1)});
    pSecond->SetLocalPathsInErrors(true);
    pSecond->Process();
    ASSERT_EQ(events.completed.size(), 1u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemWriteError);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].intCode, api::ErrorCode::kTemporaryFileFailed);
    EXPECT_EQ(events.errors[0].strDescription,
              L"Unable to create temporary file in '" + folder.wstring() +
                  L"/': the folder is not a private folder of this user");
}

// The control's own folder could not be had: the message names the folder
// it tried and why, never an empty path.
TEST_P(FileListDownloaderBothTest, ATemporaryFolderThatCouldNotBeHadIsNamedWithTheReason)
{
    server.Route("/x", HttpResponse::Text(200, "x"));
    auto pEngine = Engine({Item("/x", L"x.bin", 1)});
    pEngine->SetTemporaryFolderFailure(L"/somewhere/Pullbay_Temp", engine::kNotPrivateFolderText);
    pEngine->SetLocalPathsInErrors(true);
    pEngine->Process();
    ASSERT_EQ(events.completed.size(), 1u);
    EXPECT_EQ(events.completed[0]->GetResult(), api::ItemWriteError);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].strDescription,
              L"Unable to create temporary file in '/somewhere/Pullbay_Temp': the folder is not a "
              L"private folder of this user");
    EXPECT_EQ(server.RequestCount("/x"), 0u);
}

}  // namespace
}  // namespace pullbay::test
