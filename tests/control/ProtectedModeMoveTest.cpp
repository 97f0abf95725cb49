// Protected Mode runs on a platform that reports class 6 and Protected Mode:
// files wait in the writeable folder and are moved after the engine, to
// their own paths or as a tree merged into the destination; a refused move,
// no move routine, names that try to leave the destination, the tree's
// failures, and a class 0 platform that must behave as outside Protected Mode.
#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/PolicyPresenter.h"
#include "control/ProtectedModeMove.h"
#include "control/Pullbay.h"
#include "core/ApplicationExceptions.h"
#include "core/ExceptionManager.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "platform/IPlatform.h"
#include "platform/shell/FileMover.h"
#include "pullbay/Events.h"
#include "support/RecordingEventSink.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using com::NullableString;
using com::Variant;
using control::ProtectedModeMove;

constexpr com::DISPID kDispidProcessSubfolders = 8;

// A platform of a chosen class that says it runs in Protected Mode, with a
// writeable folder (or none).
class TestPlatform : public platform::IPlatform {
public:
    TestPlatform(int intClass, std::optional<std::wstring> strFolder)
        : m_intClass(intClass), m_strFolder(std::move(strFolder))
    {
    }
    int PlatformClass() const override { return m_intClass; }
    bool IsProtectedModeProcess() override { return true; }
    HRESULT GetWriteableFolderPath(const com::Guid&, std::wstring& strPath) override
    {
        if (!m_strFolder) {
            return E_FAIL;
        }
        strPath = *m_strFolder;
        return S_OK;
    }

private:
    int m_intClass;
    std::optional<std::wstring> m_strFolder;
};

class PlatformScope {
public:
    explicit PlatformScope(std::shared_ptr<platform::IPlatform> pPlatform)
        : m_pPrevious(platform::SetPlatformForTesting(std::move(pPlatform)))
    {
    }
    ~PlatformScope() { platform::SetPlatformForTesting(m_pPrevious); }
    PlatformScope(const PlatformScope&) = delete;
    PlatformScope& operator=(const PlatformScope&) = delete;

private:
    std::shared_ptr<platform::IPlatform> m_pPrevious;
};

// The regular files under a folder, as paths relative to it.
std::vector<std::string> FilesUnder(const fs::path& folder)
{
    std::vector<std::string> files;
    if (!fs::exists(folder)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) {
            files.push_back(fs::relative(entry.path(), folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class ProtectedModeMoveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base =
            fs::path(std::getenv("TMPDIR")) /
            (std::string("pm-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(base);
        destination = base / "dest";
        low = base / "low";
        fs::create_directories(destination);
        fs::create_directories(low);
        fs::permissions(low, fs::perms::owner_all, fs::perm_options::replace);
        presenter->SetFolder(destination.wstring());
        presenter->SetNotice([](const std::wstring&) {});
        control.SetPresenter(presenter);
        std::uint32_t uintCookie = 0;
        ASSERT_EQ(control.EventConnectionPoint().Advise(log, uintCookie), S_OK);
        control.OnWindowCreated(&window);
        log->lines.clear();
    }

    void Add(const std::string& strPath, const std::wstring& strName, std::int32_t intSize)
    {
        std::int32_t intIndex = 0;
        ASSERT_EQ(control.DownloadFileAdd(NullableString(L"*/*"), intSize, NullableString(strName),
                                          NullableString(Widen(server.BaseUrl() + strPath)),
                                          &intIndex),
                  S_OK);
    }
    void SetProcessSubfolders(bool bValue)
    {
        ASSERT_EQ(control.PutProperty(kDispidProcessSubfolders, Variant::FromBool(bValue)), S_OK);
    }
    // A move routine whose consent hook records the request and answers bConsent.
    std::shared_ptr<const platform::shell::FileMover> Mover(bool bConsent)
    {
        return std::make_shared<const platform::shell::FileMover>(
            [this, bConsent](const std::vector<std::wstring>& sources,
                             const std::vector<std::wstring>& targets) {
                ++intAsked;
                askedSources = sources;
                askedTargets = targets;
                return bConsent;
            });
    }
    // An item as the engine leaves a downloaded file in Protected Mode.
    std::shared_ptr<model::FileItem> Downloaded(const std::wstring& strFileName,
                                                const std::wstring& strFolder,
                                                const std::wstring& strName)
    {
        auto pItem = model::FileItem::Create(L"*/*", 1, strFileName, L"http://127.0.0.1/x");
        const fs::path temp = low / ("PBT" + std::to_string(++intTemp) + ".tmp");
        std::ofstream(temp, std::ios::binary) << "data";
        pItem->SetTemporaryFilePath(temp.wstring());
        pItem->SetDestinationFolder(strFolder);
        pItem->SetDestinationFileName(strName);
        pItem->SetResult(api::ItemSuccess);
        return pItem;
    }
    std::vector<std::string> Errors() const
    {
        std::vector<std::string> errors;
        for (const auto& line : log->lines) {
            if (line.rfind("error", 0) == 0) {
                errors.push_back(line);
            }
        }
        return errors;
    }

    fs::path base;
    fs::path destination;
    fs::path low;
    TestHttpServer server;
    QWidget window;
    std::shared_ptr<control::PolicyPresenter> presenter =
        std::make_shared<control::PolicyPresenter>();
    std::shared_ptr<RecordingEventSink> log = std::make_shared<RecordingEventSink>();
    control::Pullbay control;
    int intAsked = 0;
    int intTemp = 0;
    std::vector<std::wstring> askedSources;
    std::vector<std::wstring> askedTargets;
};

TEST_F(ProtectedModeMoveTest, WithoutSubfoldersEveryFileGoesToItsOwnPathInOneMove)
{
    PlatformScope platform(std::make_shared<TestPlatform>(6, low.wstring()));
    server.Route("/a", HttpResponse::Text(200, "alpha"));
    server.Route("/b", HttpResponse::Text(200, "beta"));
    server.Route("/missing", HttpResponse::Text(404, "gone"));
    Add("/a", L"x/a.txt", 5);
    Add("/missing", L"m.txt", 4);
    Add("/b", L"b.txt", 4);
    SetProcessSubfolders(false);
    control.SetFileMover(Mover(true));

    ASSERT_EQ(control.Download(), S_OK);

    EXPECT_EQ(intAsked, 1);
    ASSERT_EQ(askedSources.size(), 2u) << "the failed file is not moved";
    for (const std::wstring& strSource : askedSources) {
        EXPECT_EQ(fs::path(strSource).parent_path(), low);
    }
    EXPECT_EQ(askedTargets, (std::vector<std::wstring>{(destination / "a.txt").wstring(),
                                                       (destination / "b.txt").wstring()}));
    EXPECT_EQ(FilesUnder(destination), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(ReadFile(destination / "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(destination / "b.txt"), "beta");
    // Stored like any file the user saves, not private like a temporary file.
    std::ofstream(base / "probe") << "p";
    EXPECT_EQ(fs::status(destination / "a.txt").permissions(),
              fs::status(base / "probe").permissions());
    EXPECT_TRUE(FilesUnder(low).empty()) << "no temporary file stays, not even the failed one's";
    EXPECT_EQ(log->Count("error 303"), 0);
    EXPECT_EQ(log->Count("error 302"), 0);
    EXPECT_EQ(log->Count("item 0"), 2);
    EXPECT_EQ(log->Count("complete 0"), 1);
    ASSERT_TRUE(control.DownloadLog());
    EXPECT_EQ(control.DownloadLog()->size(), 3u) << "no line about a denied copy";
}

TEST_F(ProtectedModeMoveTest, WithSubfoldersTheTreeIsMergedIntoTheDestination)
{
    PlatformScope platform(std::make_shared<TestPlatform>(6, low.wstring()));
    server.Route("/c", HttpResponse::Text(200, "sea"));
    server.Route("/top", HttpResponse::Text(200, "top"));
    Add("/c", L"a/b\\c.txt", 3);
    Add("/top", L"top.txt", 3);
    control.SetFileMover(Mover(true));
    fs::create_directories(destination / "a");
    std::ofstream(destination / "a" / "kept.txt") << "kept";

    ASSERT_EQ(control.Download(), S_OK);

    EXPECT_EQ(intAsked, 1);
    EXPECT_EQ(askedSources, (std::vector<std::wstring>{(low / "DownloadedFiles").wstring()}));
    EXPECT_EQ(askedTargets, (std::vector<std::wstring>{destination.wstring()}));
    EXPECT_EQ(FilesUnder(destination),
              (std::vector<std::string>{"a/b/c.txt", "a/kept.txt", "top.txt"}));
    EXPECT_EQ(ReadFile(destination / "a" / "b" / "c.txt"), "sea");
    EXPECT_EQ(ReadFile(destination / "a" / "kept.txt"), "kept") << "merged, not replaced";
    EXPECT_TRUE(fs::is_empty(low)) << "neither temporary files nor the tree stay";
    EXPECT_EQ(log->Count("error"), 0);
    EXPECT_EQ(log->Count("complete 0"), 1);
}

TEST_F(ProtectedModeMoveTest, ARefusedOrMissingMoveReportsEveryPositionAndLeavesNothing)
{
    struct Case {
        bool bSubfolders;
        bool bMoverInstalled;
    };
    for (const Case& c :
         {Case{false, true}, Case{true, true}, Case{false, false}, Case{true, false}}) {
        SCOPED_TRACE(::testing::Message()
                     << "subfolders " << c.bSubfolders << ", mover " << c.bMoverInstalled);
        PlatformScope platform(std::make_shared<TestPlatform>(6, low.wstring()));
        server.Route("/1", HttpResponse::Text(200, "one"));
        server.Route("/2", HttpResponse::Text(200, "two"));
        server.Route("/missing", HttpResponse::Text(404, "gone"));
        Add("/1", L"sub/1.txt", 3);
        Add("/missing", L"m.txt", 4);
        Add("/2", L"2.txt", 3);
        SetProcessSubfolders(c.bSubfolders);
        intAsked = 0;
        control.SetFileMover(c.bMoverInstalled ? Mover(false) : nullptr);
        log->lines.clear();
        log->errorTexts.clear();

        ASSERT_EQ(control.Download(), S_OK);

        EXPECT_EQ(intAsked, c.bMoverInstalled ? 1 : 0);
        if (c.bMoverInstalled && !c.bSubfolders) {
            EXPECT_EQ(askedSources.size(), 2u);
        }
        EXPECT_EQ(log->Count("item 0"), 2) << "the files still report as downloaded";
        // The 303 comes before step 7, then exactly one 302 per list position.
        const std::vector<std::string> expected = {"error 303 -1", "step 7", "error 302 0",
                                                   "error 302 1", "error 302 2"};
        const std::vector<std::string> tail = log->After("error 303");
        ASSERT_GE(tail.size(), expected.size());
        EXPECT_EQ(std::vector<std::string>(tail.begin(), tail.begin() + 5), expected);
        EXPECT_EQ(log->Count("error 303"), 1);
        EXPECT_EQ(log->Count("error 302"), 3);
        EXPECT_EQ(log->Count("complete 0"), 1);
        ASSERT_GE(log->errorTexts.size(), 2u);
        EXPECT_EQ(log->errorTexts[log->errorTexts.size() - 4], L"UAC dialog was canceled.");
        EXPECT_EQ(log->errorTexts.back(), L"Couldn't write destination file.");

        EXPECT_TRUE(FilesUnder(destination).empty());
        EXPECT_TRUE(fs::is_empty(low)) << "the downloaded data is gone with the temporary files";
        ASSERT_TRUE(control.DownloadLog());
        ASSERT_EQ(control.DownloadLog()->size(), 4u);
        EXPECT_EQ(control.DownloadLog()->back(),
                  L"User denied copying some of downloaded files to " + destination.wstring());
        fs::remove_all(destination);
        fs::create_directories(destination);
    }
}

TEST_F(ProtectedModeMoveTest, NamesThatLeaveTheTreeOrTheDestinationAreRefused)
{
    PlatformScope platform(std::make_shared<TestPlatform>(6, low.wstring()));
    const std::wstring strDest = destination.wstring();
    std::vector<std::string> reported;
    const ProtectedModeMove move(std::make_shared<const platform::shell::FileMover>(),
                                 [&reported](std::int32_t intCode, const std::wstring&) {
                                     reported.push_back(std::to_string(intCode));
                                 });

    // The tree: sub-folders "." and ".." and a name that is not one.
    const std::vector<std::shared_ptr<model::FileItem>> treeItems = {
        Downloaded(L"../up1.txt", strDest, L"up1.txt"),
        Downloaded(L"a/../../up2.txt", strDest, L"up2.txt"),
        Downloaded(L"./dot.txt", strDest, L"dot.txt"),
        Downloaded(L"ok.txt", strDest, L"../up3.txt"),
        Downloaded(L"/abs\\inside.txt", strDest + L"/abs", L"inside.txt"),
        Downloaded(L"good/g.txt", strDest + L"/good", L"g.txt"),
    };
    EXPECT_FALSE(move.Run(treeItems, strDest, true)) << "refused files make the move fail";
    EXPECT_EQ(reported, std::vector<std::string>{"303"});
    EXPECT_EQ(FilesUnder(destination), (std::vector<std::string>{"abs/inside.txt", "good/g.txt"}))
        << "a leading separator adds no level: the name stays inside";
    EXPECT_EQ(FilesUnder(base),
              (std::vector<std::string>{"dest/abs/inside.txt", "dest/good/g.txt"}))
        << "nothing above the tree or the destination, no temporary file left";

    // Each file to its own path: folders outside the destination, or only
    // sharing its name's beginning, and names with a separator.
    fs::remove_all(destination);
    fs::create_directories(destination);
    reported.clear();
    const std::vector<std::shared_ptr<model::FileItem>> flatItems = {
        Downloaded(L"o.txt", strDest + L"/../out", L"o.txt"),
        Downloaded(L"s.txt", strDest + L"x", L"s.txt"),
        Downloaded(L"n.txt", strDest, L"../n.txt"),
        Downloaded(L"d.txt", strDest + L"/sub/..", L"d.txt"),
        Downloaded(L"fine.txt", strDest, L"fine.txt"),
    };
    EXPECT_FALSE(move.Run(flatItems, strDest, false));
    EXPECT_EQ(reported, std::vector<std::string>{"303"});
    EXPECT_EQ(FilesUnder(base), (std::vector<std::string>{"dest/fine.txt"}));
}

TEST_F(ProtectedModeMoveTest, TheTreeFailsWithoutProtectedModeAFolderOrADownloadedFile)
{
    const auto expectTreeFailure = [](const std::vector<std::shared_ptr<model::FileItem>>& items,
                                      const char* strWhy) {
        SCOPED_TRACE(strWhy);
        core::ClearRecordedFailure();
        EXPECT_THROW(ProtectedModeMove::ProcessSubfoldersInTemporaryPath(items),
                     core::UnexpectedException);
        const auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
        ASSERT_TRUE(pRecord);
        EXPECT_STREQ(pRecord->GetFunction(), L"Pullbay::ProcessSubfoldersInTemporaryPath");
    };
    auto pFailed = model::FileItem::Create(L"*/*", 1, L"f.txt", L"http://127.0.0.1/f");
    pFailed->SetResult(api::ItemFailed);
    {
        PlatformScope platform(std::make_shared<TestPlatform>(0, low.wstring()));
        expectTreeFailure({Downloaded(L"a.txt", destination.wstring(), L"a.txt")}, "class 0");
    }
    {
        PlatformScope platform(std::make_shared<TestPlatform>(6, std::nullopt));
        expectTreeFailure({Downloaded(L"b.txt", destination.wstring(), L"b.txt")},
                          "no writeable folder");
    }
    PlatformScope platform(std::make_shared<TestPlatform>(6, low.wstring()));
    expectTreeFailure({pFailed}, "no downloaded file");

    // In a run that is neither a success nor a failure: no 303, no 302, no
    // line about a denied copy.
    fs::remove_all(low);
    fs::create_directories(low);
    fs::permissions(low, fs::perms::owner_all, fs::perm_options::replace);
    server.Route("/missing", HttpResponse::Text(404, "gone"));
    Add("/missing", L"sub/m.txt", 4);
    control.SetFileMover(Mover(true));
    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_EQ(intAsked, 0);
    EXPECT_EQ(log->Count("error 303"), 0);
    EXPECT_EQ(log->Count("error 302"), 0);
    EXPECT_EQ(log->Count("complete 0"), 1);
    ASSERT_TRUE(control.DownloadLog());
    EXPECT_EQ(control.DownloadLog()->size(), 1u);
    EXPECT_TRUE(FilesUnder(low).empty());
}

TEST_F(ProtectedModeMoveTest, OnAClassZeroPlatformTheRunIsOrdinaryEvenInProtectedMode)
{
    PlatformScope platform(std::make_shared<TestPlatform>(0, low.wstring()));
    server.Route("/c", HttpResponse::Text(200, "sea"));
    Add("/c", L"a/b\\c.txt", 3);
    control.SetFileMover(Mover(false));

    ASSERT_EQ(control.Download(), S_OK);

    EXPECT_EQ(intAsked, 0) << "no move after the engine";
    EXPECT_EQ(ReadFile(destination / "a" / "b" / "c.txt"), "sea");
    EXPECT_TRUE(FilesUnder(low).empty()) << "temporary files went to the ordinary folder";
    EXPECT_EQ(log->Count("error"), 0);
}

}  // namespace
}  // namespace pullbay::test
