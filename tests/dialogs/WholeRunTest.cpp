// A whole run through the control with its real dialogs on the offscreen
// platform: a driver finds each modal dialog as it opens and answers it as a
// user would (OK to the confirmation, Rename for the clash, OK to the log,
// Yes to open the folder), while the progress dialog shows the transfer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "control/Pullbay.h"
#include "dialogs/ConfirmationDialog.h"
#include "dialogs/DownloadCompleteDialog.h"
#include "dialogs/FileExistsDialog.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/QtPresenter.h"
#include "platform/com/IDispatchSink.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/PolicyFolderBrowser.h"
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

// The Qt presenter with the destination given and the folder's opening
// recorded instead of handed to the desktop.
class DrivenPresenter : public dialogs::QtPresenter {
public:
    explicit DrivenPresenter(const fs::path& folder)
        : m_pBrowser(std::make_shared<platform::shell::PolicyFolderBrowser>(
              platform::shell::ItemIdList::FromPath(folder.wstring())))
    {
    }
    std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override { return m_pBrowser; }
    void OpenFolder(const std::wstring& strPath) override { strOpened = strPath; }

    std::wstring strOpened;

private:
    std::shared_ptr<platform::shell::PolicyFolderBrowser> m_pBrowser;
};

void PutByName(control::Pullbay& control, const wchar_t* strName, Variant value)
{
    com::DISPID dispid = 0;
    ASSERT_EQ(control.GetIDsOfNames(strName, dispid), S_OK);
    ASSERT_EQ(control.PutProperty(dispid, value), S_OK);
}

TEST(WholeRunTest, TheRealDialogsAreShownAndAnsweredInTurn)
{
    TestHttpServer server;
    server.Route("/a.txt", HttpResponse::Text(200, "new"));
    HttpResponse big;
    big.body = PatternBytes(0, 512 * 1024, 3);
    big.chunkSize = 16384;
    big.delayBetweenChunks = std::chrono::milliseconds(10);
    server.Route("/big.bin", big);
    const fs::path destination = fs::path(std::getenv("TMPDIR")) / "whole-run-dialogs";
    fs::remove_all(destination);
    fs::create_directories(destination);
    std::ofstream(destination / "a.txt") << "old";

    QWidget window;
    control::Pullbay control;
    auto pPresenter = std::make_shared<DrivenPresenter>(destination);
    pPresenter->SetOwner(&window);
    control.SetPresenter(pPresenter);
    auto pCompletions = std::make_shared<RecordingEventSink>();
    std::uint32_t uintCookie = 0;
    ASSERT_EQ(control.EventConnectionPoint().Advise(pCompletions, uintCookie), S_OK);
    control.OnWindowCreated(&window);
    PutByName(control, L"FileExistsDialogTimeOut", Variant::FromI4(-1));
    PutByName(control, L"DownloadCompleteAction", Variant::FromString(NullableString(L"Prompt")));
    PutByName(control, L"ShowProgressDialog", Variant::FromBool(true));
    const std::pair<const char*, std::int32_t> files[] = {{"big.bin", 512 * 1024}, {"a.txt", 3}};
    for (const auto& [pName, intSize] : files) {
        std::int32_t intIndex = 0;
        ASSERT_EQ(control.DownloadFileAdd(
                      NullableString(L"*/*"), intSize, NullableString(Widen(pName)),
                      NullableString(Widen(server.BaseUrl() + "/" + pName)), &intIndex),
                  S_OK);
    }

    // The driver: what was seen, in the order first seen.
    std::vector<std::string> seen;
    QTimer driver;
    driver.setInterval(5);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (pModal == nullptr) {
            return;
        }
        if (auto* pConfirmation = dynamic_cast<dialogs::ConfirmationDialog*>(pModal)) {
            seen.push_back("confirmation");
            pConfirmation->OkButton()->click();
        } else if (auto* pExists = dynamic_cast<dialogs::FileExistsDialog*>(pModal)) {
            seen.push_back("exists");
            pExists->Button(ui::FileExistsAnswer::Rename)->click();
        } else if (auto* pComplete = dynamic_cast<dialogs::DownloadCompleteDialog*>(pModal)) {
            seen.push_back("complete");
            pComplete->OkButton()->click();
        } else if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
            seen.push_back("prompt");
            pBox->button(QMessageBox::Yes)->click();
        } else if (dynamic_cast<dialogs::ProgressDialog*>(pModal) != nullptr &&
                   (seen.empty() || seen.back() != "progress")) {
            seen.push_back("progress");
        }
    });
    driver.start();
    {
        Watchdog watchdog("a whole run with its dialogs", std::chrono::seconds(30));
        ASSERT_EQ(control.Download(), S_OK);
    }
    driver.stop();

    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], "confirmation");
    EXPECT_EQ(seen[1], "progress");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "exists"), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "complete"), 1);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2], "complete") << "the log comes before the folder prompt";
    EXPECT_EQ(seen.back(), "prompt");
    EXPECT_EQ(pCompletions->Completions(), std::vector<std::int32_t>{api::CompletionSuccess});
    EXPECT_EQ(pPresenter->strOpened, destination.wstring()) << "Yes opens the folder";
    EXPECT_EQ(ReadFile(destination / "a.txt"), "old") << "Rename keeps the existing file";
    EXPECT_TRUE(ReadFile(destination / "big.bin") == big.body)
        << "the transfer under the progress dialog";
    std::size_t uintRenamed = 0;
    for (const auto& entry : fs::directory_iterator(destination)) {
        if (entry.path().filename() != "a.txt" && entry.path().filename() != "big.bin") {
            EXPECT_EQ(ReadFile(entry.path()), "new");
            ++uintRenamed;
        }
    }
    EXPECT_EQ(uintRenamed, 1u);
    control.OnWindowDestroyed();
}

}  // namespace
}  // namespace pullbay::test
