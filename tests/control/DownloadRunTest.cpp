// Whole download runs against the scripted loopback server with the policy
// presenter: the order of steps and events, every early end, the busy rule,
// the file-exists answer kept for one run, skips from event handlers, and
// runs whose files come from a published list.
#include <gtest/gtest.h>

#include <QWidget>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "control/PolicyPresenter.h"
#include "control/Pullbay.h"
#include "core/TextUnits.h"
#include "model/PropertyTable.h"
#include "pullbay/Events.h"
#include "support/PatternBytes.h"
#include "support/RecordingEventSink.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"
#include "support/Watchdog.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using com::NullableString;
using com::Variant;
using api::EventId;
using control::Pullbay;

// The policy presenter with scripted answers.
class ScriptedPresenter : public control::PolicyPresenter {
public:
    api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest& request) override
    {
        api::ConfirmationAnswer answer = PolicyPresenter::ConfirmDownload(request);
        if (bUncheckAll) {
            answer.checked.assign(answer.checked.size(), false);
        }
        answer.bOk = bConfirm;
        return answer;
    }
    api::FileExistsReply AskFileExists(const api::FileExistsQuestion& question) override
    {
        PolicyPresenter::AskFileExists(question);
        return {static_cast<ui::FileExistsAnswer>(clashAnswer), bApplyClashAnswerToAll};
    }
    void ShowDownloadComplete(const api::CompletionReport& report) override
    {
        PolicyPresenter::ShowDownloadComplete(report);
        completionRows = report.rows;
    }
    int Count(const std::wstring& strPrefix) const
    {
        int intCount = 0;
        for (const auto& line : Asked()) {
            intCount += line.rfind(strPrefix, 0) == 0 ? 1 : 0;
        }
        return intCount;
    }

    bool bConfirm = true;
    bool bUncheckAll = false;
    model::FileExistsDialogAction clashAnswer = model::FileExistsDialogAction::Overwrite;
    bool bApplyClashAnswerToAll = false;
    // The rows the last completion dialog was given.
    std::vector<ui::DownloadLogRow> completionRows;
};

class DownloadRunTest : public ::testing::Test {
public:  // the table of early ends arranges through these
    void SetUp() override
    {
        // A folder per test: the tests of one process share TMPDIR.
        destination = fs::path(std::getenv("TMPDIR")) /
                      (std::string("downloads-") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(destination);
        fs::create_directories(destination);
        presenter->SetFolder(destination.wstring());
        presenter->SetNotice([this](const std::wstring& strText) { notices.push_back(strText); });
        control.SetPresenter(presenter);
        std::uint32_t uintCookie = 0;
        ASSERT_EQ(control.EventConnectionPoint().Advise(log, uintCookie), S_OK);
        control.OnWindowCreated(&window);
        log->lines.clear();
    }

    void Add(const std::string& strPath, const std::wstring& strName, std::int32_t intSize,
             const std::wstring& strMime = L"*/*")
    {
        std::int32_t intIndex = 0;
        ASSERT_EQ(control.DownloadFileAdd(NullableString(strMime), intSize, NullableString(strName),
                                          NullableString(Widen(server.BaseUrl() + strPath)),
                                          &intIndex),
                  S_OK);
    }
    void Put(com::DISPID dispid, Variant value)
    {
        ASSERT_EQ(control.PutProperty(dispid, value), S_OK);
    }
    void PutText(const wchar_t* strName, const std::wstring& strValue)
    {
        com::DISPID dispid = 0;
        ASSERT_EQ(control.GetIDsOfNames(strName, dispid), S_OK) << strName;
        Put(dispid, Variant::FromString(NullableString(strValue)));
    }

    TestHttpServer server;
    QWidget window;
    std::shared_ptr<ScriptedPresenter> presenter = std::make_shared<ScriptedPresenter>();
    std::shared_ptr<RecordingEventSink> log = std::make_shared<RecordingEventSink>();
    std::vector<std::wstring> notices;
    Pullbay control;
    fs::path destination;
};

TEST_F(DownloadRunTest, FullRunRaisesEveryStageInOrderAndStoresTheFiles)
{
    const std::string body = PatternBytes(0, 20000, 21);
    HttpResponse file;
    file.body = body;
    server.Route("/a.bin", file);
    server.Route("/b.txt", HttpResponse::Text(200, "bee"));
    Add("/a.bin", L"sub/a.bin", 20000);
    Add("/b.txt", L"b.txt", 3);
    PutText(L"DownloadCompleteAction", L"OpenFolder");
    log->lines.clear();

    EXPECT_EQ(control.Download(), S_OK);

    const std::vector<std::string> expected = {
        "step 0", "step 2", "step 3",  "step 4",  "step 5",     "step 6", "step 7",
        "step 8", "step 9", "step 10", "step 11", "complete 0", "step 1", "count"};
    EXPECT_EQ(log->Frame(), expected);
    EXPECT_EQ(log->Count("item 0"), 2);
    EXPECT_EQ(log->Count("error"), 0);
    EXPECT_EQ(ReadFile(destination / "sub" / "a.bin"), body);
    EXPECT_EQ(ReadFile(destination / "b.txt"), "bee");
    std::int32_t intCount = -1;
    ASSERT_EQ(control.GetDownloadFileCount(&intCount), S_OK);
    EXPECT_EQ(intCount, 0);
    EXPECT_TRUE(control.IsIdle());
    EXPECT_EQ(presenter->Count(L"complete"), 1);
    ASSERT_EQ(notices.size(), 1u) << "OpenFolder opens the destination";
    EXPECT_NE(notices[0].find(destination.wstring()), std::wstring::npos);
}

TEST_F(DownloadRunTest, ALinkInsideTheDestinationIsNoWayOutOfIt)
{
    // dest/sub leads to another folder that holds a file of the same name.
    const fs::path elsewhere = destination.parent_path() / "elsewhere-of-link-test";
    fs::remove_all(elsewhere);
    fs::create_directories(elsewhere);
    std::ofstream(elsewhere / "f.txt") << "keep";
    fs::create_directory_symlink(elsewhere, destination / "sub");
    server.Route("/f.txt", HttpResponse::Text(200, "hostile"));
    server.Route("/g.txt", HttpResponse::Text(200, "good"));
    Add("/f.txt", L"sub/f.txt", 7);
    Add("/g.txt", L"g.txt", 4);

    EXPECT_EQ(control.Download(), S_OK);

    EXPECT_EQ(ReadFile(elsewhere / "f.txt"), "keep");
    EXPECT_EQ(log->Count("item 6"), 1) << "a write error for the file that would leave";
    EXPECT_EQ(ReadFile(destination / "g.txt"), "good") << "the next file goes on";
    fs::remove_all(elsewhere);
}

TEST_F(DownloadRunTest, AServerSendingMoreThanDeclaredIsStoppedAtOnce)
{
    // Declared as 10 bytes, the body goes on for 20 s: the file stops at the
    // first bytes beyond the declared size (the watchdog fails the test
    // otherwise), as the wrong size it is.
    HttpResponse endless;
    endless.body = PatternBytes(0, 4 * 1024 * 1024, 9);
    endless.sendContentLength = false;
    endless.chunkSize = 4096;
    endless.delayBetweenChunks = std::chrono::milliseconds(20);
    server.Route("/endless", endless);
    server.Route("/next.txt", HttpResponse::Text(200, "next"));
    Add("/endless", L"small.bin", 10);
    Add("/next.txt", L"next.txt", 4);
    {
        Watchdog watchdog("a body beyond its declared size", std::chrono::seconds(10));
        EXPECT_EQ(control.Download(), S_OK);
    }
    EXPECT_EQ(log->Count("item 5"), 1);
    EXPECT_FALSE(fs::exists(destination / "small.bin"));
    EXPECT_EQ(ReadFile(destination / "next.txt"), "next");
}

TEST_F(DownloadRunTest, TheLogOfARunThatReachedTheTransferIsKeptWithOrWithoutTheCompletionDialog)
{
    server.Route("/a.txt", HttpResponse::Text(200, "a"));
    EXPECT_FALSE(control.DownloadLog()) << "no run yet";
    for (const bool bDialog : {true, false}) {
        SCOPED_TRACE(bDialog ? "with the dialog" : "without the dialog");
        PutText(L"DownloadCompleteDialogText", bDialog ? L"Done." : L"");
        Add("/a.txt", L"a.txt", 1);
        Add("/missing", L"missing.txt", 1);
        ASSERT_EQ(control.Download(), S_OK);
        ASSERT_TRUE(control.DownloadLog());
        const std::vector<std::wstring>& lines = *control.DownloadLog();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find(L"a.txt"), std::wstring::npos);
        EXPECT_NE(lines[1].find(L"missing.txt"), std::wstring::npos);
        EXPECT_NE(lines[0], lines[1]);
    }
    // A run that ends before the transfer leaves no log behind it.
    presenter->SetFolder(L"");
    Add("/a.txt", L"a.txt", 1);
    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_FALSE(control.DownloadLog());
}

TEST_F(DownloadRunTest, AFileWhoseNameIsRefusedIsLoggedByItsDeclaredName)
{
    // The folder part reaches back out of "w": the name is refused before
    // the file has a destination, so nothing called w.txt was written.
    server.Route("/w.txt", HttpResponse::Text(200, "w"));
    server.Route("/ok.txt", HttpResponse::Text(200, "ok"));
    Add("/w.txt", L"w/../w.txt", 1);
    Add("/ok.txt", L"sub/ok.txt", 2);
    std::vector<std::wstring> itemNames;
    log->onEvent = [&](EventId id, const std::vector<Variant>& args) {
        if (id == EventId::DownloadItemComplete) {
            itemNames.push_back(args[3].String().Value());
        }
    };

    ASSERT_EQ(control.Download(), S_OK);

    ASSERT_TRUE(control.DownloadLog());
    const std::vector<std::wstring>& lines = *control.DownloadLog();
    ASSERT_EQ(lines.size(), 2u);
    const std::wstring strRefused =
        L"Failed to download file w/../w.txt from " + Widen(server.BaseUrl() + "/w.txt") + L": ";
    EXPECT_EQ(lines[0].rfind(strRefused, 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], L"File " + (destination / "sub" / "ok.txt").wstring() +
                            L" has been downloaded from " + Widen(server.BaseUrl() + "/ok.txt"))
        << "an accepted name still shows where the file went";
    EXPECT_FALSE(fs::exists(destination / "w.txt"));
    EXPECT_EQ(server.RequestCount("/w.txt"), 0u);
    // The dialog gets the same files as rows, to build the lines itself.
    ASSERT_EQ(presenter->completionRows.size(), 2u);
    EXPECT_EQ(presenter->completionRows[0].strFileName, L"w/../w.txt");
    EXPECT_EQ(presenter->completionRows[0].strDestinationFileName, L"");
    EXPECT_EQ(presenter->completionRows[1].strDestinationFileName, L"ok.txt");
    // The host is told which entry failed by the name it gave.
    EXPECT_EQ(itemNames, (std::vector<std::wstring>{L"w/../w.txt", L"ok.txt"}));
}

TEST_F(DownloadRunTest, EarlyEndsRaiseTheirCompletionValueAndTheCommonEnd)
{
    struct Case {
        const char* strName;
        std::function<void(DownloadRunTest&)> arrange;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"empty list",
         [](DownloadRunTest&) {},
         {"step 0", "step 2", "step 3", "complete 3", "count"}},
        {"confirmation cancelled",
         [](DownloadRunTest& t) {
             t.Add("/x", L"x", 1);
             t.presenter->bConfirm = false;
         },
         {"step 0", "step 2", "step 3", "step 4", "step 5", "complete 4", "count"}},
        {"nothing selected",
         [](DownloadRunTest& t) {
             t.Add("/x", L"x", 1);
             t.presenter->bUncheckAll = true;
         },
         {"step 0", "step 2", "step 3", "step 4", "step 5", "complete 5", "count"}},
        {"folder cancelled",
         [](DownloadRunTest& t) {
             t.Add("/x", L"x", 1);
             t.presenter->SetFolder(L"");
         },
         {"step 0", "step 2", "step 3", "step 4", "step 5", "complete 6", "count"}},
        {"no confirmation columns, no completion dialog",
         [](DownloadRunTest& t) {
             t.server.Route("/x", HttpResponse::Text(200, "x"));
             t.Add("/x", L"x", 1);
             for (const wchar_t* name : {L"DownloadConfirmationDialogListUrlText",
                                         L"DownloadConfirmationDialogListFileNameText",
                                         L"DownloadConfirmationDialogListFileSizeText",
                                         L"DownloadConfirmationDialogListContentTypeText"}) {
                 t.PutText(name, L"");
             }
             t.Put(70, Variant::FromString(
                           NullableString()));  // DownloadCompleteDialogText: null stores empty
         },
         {"step 0", "step 2", "step 3", "step 6", "step 7", "step 10", "step 11", "complete 0",
          "step 1", "count"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strName);
        control.ClearFileList();
        presenter->bConfirm = true;
        presenter->bUncheckAll = false;
        presenter->SetFolder(destination.wstring());
        c.arrange(*this);
        log->lines.clear();

        EXPECT_EQ(control.Download(), S_OK);

        EXPECT_EQ(log->Frame(), c.expected);
        std::int32_t intCount = -1;
        ASSERT_EQ(control.GetDownloadFileCount(&intCount), S_OK);
        EXPECT_EQ(intCount, 0);
        EXPECT_TRUE(control.IsIdle());
    }
    // The empty list also told the user so.
    EXPECT_GE(presenter->Count(L"message No files to download"), 1);
}

TEST_F(DownloadRunTest, DisabledOrBusyControlDoesNotStartARun)
{
    Add("/x", L"x", 1);
    Put(model::PropertyTable::kDispidEnabled, Variant::FromBool(false));
    log->lines.clear();
    EXPECT_EQ(control.Download(), S_OK);
    EXPECT_TRUE(log->lines.empty());

    Put(model::PropertyTable::kDispidEnabled, Variant::FromBool(true));
    server.Route("/x", HttpResponse::Text(200, "x"));
    HRESULT hrNested = E_FAIL;
    HRESULT hrNestedList = E_FAIL;
    log->onEvent = [&](EventId id, const std::vector<Variant>& args) {
        if (id == EventId::DownloadStep && args[0].I4() == api::StepFolderChosen) {
            hrNested = control.Download();
            hrNestedList = control.DownloadFileList();
        }
    };
    EXPECT_EQ(control.Download(), S_OK);
    EXPECT_EQ(hrNested, S_FALSE);
    EXPECT_EQ(hrNestedList, S_FALSE);
    EXPECT_EQ(log->Count("complete 0"), 1);
}

TEST_F(DownloadRunTest, ApplyToAllAnswerHoldsForOneRunOnly)
{
    for (const char* path : {"/1", "/2", "/3"}) {
        server.Route(path, HttpResponse::Text(200, "new"));
    }
    std::ofstream(destination / "same.txt") << "old";
    presenter->clashAnswer = model::FileExistsDialogAction::Rename;
    presenter->bApplyClashAnswerToAll = true;
    Add("/1", L"same.txt", 3);
    Add("/2", L"same.txt", 3);
    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_EQ(presenter->Count(L"exists "), 1) << "the second clash takes the remembered answer";
    EXPECT_TRUE(fs::exists(destination / "Copy of same.txt"));
    EXPECT_TRUE(fs::exists(destination / "Copy (2) of same.txt"));
    // The question names the full destination path.
    for (const auto& line : presenter->Asked()) {
        if (line.rfind(L"exists ", 0) == 0) {
            EXPECT_NE(line.find((destination / "same.txt").wstring()), std::wstring::npos) << line;
        }
    }

    Add("/3", L"same.txt", 3);
    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_EQ(presenter->Count(L"exists "), 2) << "the next run asks again";

    // With no time for the dialog, the default action applies without asking.
    Put(3, Variant::FromI4(0));  // FileExistsDialogTimeOut
    Add("/3", L"same.txt", 3);
    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_EQ(presenter->Count(L"exists "), 2);
    EXPECT_EQ(ReadFile(destination / "same.txt"), "new") << "default action: overwrite";
}

TEST_F(DownloadRunTest, SkipAllFromAnEventHandlerSkipsTheRest)
{
    for (const char* path : {"/1", "/2", "/3", "/4"}) {
        server.Route(path, HttpResponse::Text(200, "data"));
    }
    Add("/1", L"1.txt", 4);
    Add("/2", L"2.txt", 4);
    Add("/3", L"3.txt", 4);
    Add("/4", L"4.txt", 4);
    log->onEvent = [&](EventId id, const std::vector<Variant>&) {
        if (id == EventId::DownloadItemComplete) {
            control.SkipAll();
        }
    };
    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_EQ(log->Count("item 0"), 1);
    EXPECT_EQ(log->Count("item 3"), 3);
    EXPECT_EQ(log->Count("error 304"), 3);
    EXPECT_EQ(server.RequestCount("/2") + server.RequestCount("/3") + server.RequestCount("/4"),
              0u);
}

TEST_F(DownloadRunTest, FilesFromAPublishedList)
{
    server.Route("/files/a.txt", HttpResponse::Text(200, "A"));
    server.Route("/b.txt", HttpResponse::Text(200, "B"));
    const std::string list = "\xEF\xBB\xBF"
                             "text/plain | 1 | a.txt | a.txt\r\n"
                             "not a line\r\n"
                             "text/plain | | a.txt | nosize.txt\r\n"
                             "text/plain | 1 | a.txt | a.txt\r\n"
                             "*/* | 1 | /b.txt | b.txt";
    server.Route("/files/list.txt", HttpResponse::Text(200, list));
    PutText(L"FileList", Widen(server.BaseUrl() + "/files/list.txt"));

    ASSERT_EQ(control.Download(), S_OK);

    EXPECT_EQ(ReadFile(destination / "a.txt"), "A");
    EXPECT_EQ(ReadFile(destination / "b.txt"), "B");
    const std::vector<std::string> errors = {"error 100 0", "error 102 0", "error 103 0"};
    std::vector<std::string> seen;
    for (const auto& line : log->lines) {
        if (line.rfind("error", 0) == 0) {
            seen.push_back(line);
        }
    }
    EXPECT_EQ(seen, errors);
    EXPECT_EQ(log->errorTexts.at(0), L"not a line\r");
    EXPECT_EQ(log->Count("complete 0"), 1);
    // The list stage raised a count change when the list filled.
    const auto frame = log->Frame();
    ASSERT_GE(frame.size(), 4u);
    EXPECT_EQ(frame[2], "count");
    EXPECT_EQ(frame[3], "step 3");
}

TEST_F(DownloadRunTest, AListAddressWithUserInfoIsNeitherFetchedNorNamedAsTheServer)
{
    // The confirmation would name "files.example.com@127.0.0.1" while the
    // files came from 127.0.0.1.
    server.Route("/files/a.txt", HttpResponse::Text(200, "A"));
    server.Route("/files/list.txt", HttpResponse::Text(200, "text/plain | 1 | a.txt | a.txt"));
    PutText(L"FileList", L"http://files.example.com@127.0.0.1:" + std::to_wstring(server.Port()) +
                             L"/files/list.txt");

    ASSERT_EQ(control.Download(), S_OK);

    for (const std::wstring& strAsked : presenter->Asked()) {
        EXPECT_EQ(strAsked.find(L"files.example.com"), std::wstring::npos)
            << core::ToUtf8(strAsked);
    }
    EXPECT_EQ(server.RequestCount("/files/list.txt"), 0u);
}

TEST_F(DownloadRunTest, AFailedListEndsTheRunAndDownloadFileListReportsIt)
{
    server.Route("/missing.txt", HttpResponse::Text(404, "gone"));
    PutText(L"FileList", Widen(server.BaseUrl() + "/missing.txt"));
    Put(131, Variant::FromUI4(0));  // ReconnectAttemptsCount: the list is not retried

    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_EQ(log->Frame(), (std::vector<std::string>{"step 0", "step 2", "complete 2", "count"}));
    ASSERT_EQ(log->Count("error 201 -1"), 1);
    EXPECT_EQ(log->errorTexts.at(0), L"Internal error code: 0");

    log->lines.clear();
    ASSERT_EQ(control.DownloadFileList(), S_OK);
    EXPECT_EQ(log->Frame(), (std::vector<std::string>{"step 2", "complete 2"}));
}

}  // namespace
}  // namespace pullbay::test

namespace pullbay::test {
namespace {

TEST_F(DownloadRunTest, PromptAskedNoLeavesTheFolderClosedAndNoTemporaryFileBehind)
{
    server.Route("/missing", HttpResponse::Text(404, "gone"));
    Add("/missing", L"missing.bin", 4);
    PutText(L"DownloadCompleteAction", L"Prompt");
    ASSERT_EQ(control.Download(), S_OK);
    EXPECT_EQ(presenter->Count(L"message Do you want to open the folder"), 1);
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(log->Count("item 7"), 1);
    // The 404 file's temporary file went as soon as the file failed.
    const fs::path temp = fs::path(std::getenv("TMPDIR")) / "Pullbay_Temp";
    EXPECT_EQ(CountTemporaryFiles(temp), 0);
}

// Open descriptors of this process.
int OpenDescriptors()
{
    return static_cast<int>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(DownloadRunTest, FailedFilesGiveTheirTemporaryFilesBackAtOnce)
{
    // Kept open until the run's end, each failed file held a descriptor: a
    // thousand of them failed every file after, good ones included.
    server.Route("/missing", HttpResponse::Text(404, "gone"));
    server.Route("/good.txt", HttpResponse::Text(200, "good"));
    constexpr int kMissing = 40;
    for (int i = 0; i < kMissing; ++i) {
        Add("/missing", L"missing" + std::to_wstring(i) + L".bin", 4);
    }
    Add("/good.txt", L"good.txt", 4);
    std::optional<int> intDuringLastFile;
    log->onEvent = [&](EventId event, const std::vector<Variant>& args) {
        if (event == EventId::DownloadItemComplete && args[0].I4() == api::ItemSuccess) {
            intDuringLastFile = OpenDescriptors();
        }
    };
    const int intBefore = OpenDescriptors();

    EXPECT_EQ(control.Download(), S_OK);

    EXPECT_EQ(log->Count("item 7"), kMissing);
    ASSERT_TRUE(intDuringLastFile.has_value());
    EXPECT_LT(*intDuringLastFile - intBefore, kMissing / 2)
        << "descriptors held by the failed files";
    EXPECT_EQ(ReadFile(destination / "good.txt"), "good");
    EXPECT_EQ(CountTemporaryFiles(fs::path(std::getenv("TMPDIR")) / "Pullbay_Temp"), 0);
}

}  // namespace
}  // namespace pullbay::test
