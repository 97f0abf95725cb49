// The control's window destroyed at every stage of a run, repeatedly, both
// by deleting the widget and by the host's explicit call: the run ends (its
// open dialog closed as cancelled, the engine skipping all, the worker
// joined), no event follows the window, nothing is left in the temporary
// folder and no half file stands under a final name. A watchdog fails a run
// that hangs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/PolicyPresenter.h"
#include "control/Pullbay.h"
#include "core/TextUnits.h"
#include "dialogs/QtPresenter.h"
#include "engine/TempFiles.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/PolicyFolderBrowser.h"
#include "pullbay/Events.h"
#include "support/PatternBytes.h"
#include "support/RecordingEventSink.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"
#include "support/Watchdog.h"
#include "tools/BackgroundWorkManager.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using com::NullableString;
using com::Variant;

enum class Stage { FileList, Confirmation, Folder, Transfer, FileExists, Completion };

const char* StageName(Stage stage)
{
    static const char* const kNames[] = {"file list", "confirmation", "folder",
                                         "transfer",  "file exists",  "completion"};
    return kNames[static_cast<int>(stage)];
}

// The events that reached the host after the window went, when the sink
// held uintGoneAt of them.
std::vector<com::DISPID> LateEvents(const RecordingEventSink& sink,
                                    std::optional<std::size_t> uintGoneAt)
{
    std::vector<com::DISPID> late;
    for (std::size_t i = uintGoneAt.value_or(sink.events.size()); i < sink.events.size(); ++i) {
        late.push_back(sink.events[i].dispid);
    }
    return late;
}

// The policy presenter, except at the stage under test: there the window is
// destroyed from inside the dialog, which then stays open, as a modal
// dialog would, until the control cancels it.
class StagePresenter : public control::PolicyPresenter {
public:
    StagePresenter(Stage stage, std::function<void()> destroyWindow)
        : m_stage(stage), m_destroyWindow(std::move(destroyWindow))
    {
    }

    api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest& request) override
    {
        if (m_stage != Stage::Confirmation) {
            return PolicyPresenter::ConfirmDownload(request);
        }
        DestroyAndWait();
        return {};
    }
    std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override
    {
        if (m_stage != Stage::Folder) {
            return PolicyPresenter::FolderBrowser();
        }
        struct Browser : platform::shell::IFolderBrowser {
            StagePresenter& presenter;
            explicit Browser(StagePresenter& owner) : presenter(owner) {}
            platform::shell::ItemIdBytes Browse(const std::wstring&,
                                                const platform::shell::ItemIdBytes&) override
            {
                presenter.DestroyAndWait();
                return {};
            }
        };
        return std::make_shared<Browser>(*this);
    }
    api::FileExistsReply AskFileExists(const api::FileExistsQuestion& question) override
    {
        if (m_stage != Stage::FileExists) {
            return PolicyPresenter::AskFileExists(question);
        }
        DestroyAndWait();
        return {ui::FileExistsAnswer::Overwrite, true};  // what the user would have said, too late
    }
    void ShowProgress(const std::shared_ptr<api::IProgressSource>& pSource) override
    {
        if (m_stage == Stage::Transfer) {
            DestroyAndWait();
            // The dialog holds the engine weakly: it has ended by the time
            // the run's common end has waited for it.
            pSource->SkipCurrent();
        }
    }
    void ShowDownloadComplete(const api::CompletionReport& report) override
    {
        PolicyPresenter::ShowDownloadComplete(report);
        if (m_stage == Stage::Completion) {
            DestroyAndWait();
        }
    }
    void FileListProgressShown(const api::FileListWindowTexts&, std::function<void()>) override
    {
        if (m_stage == Stage::FileList) {
            QTimer::singleShot(20, [this] { m_destroyWindow(); });
        }
    }
    void CancelDialogs() override
    {
        PolicyPresenter::CancelDialogs();
        bCancelled = true;
        if (m_pLoop != nullptr) {
            m_pLoop->quit();
        }
    }

    bool bCancelled = false;

private:
    void DestroyAndWait()
    {
        m_destroyWindow();
        QEventLoop loop;
        m_pLoop = &loop;
        if (!bCancelled) {
            loop.exec();
        }
        m_pLoop = nullptr;
    }

    const Stage m_stage;
    std::function<void()> m_destroyWindow;
    QEventLoop* m_pLoop = nullptr;
};

class WindowDestroyedTest : public ::testing::TestWithParam<Stage> {
protected:
    void SetUp() override
    {
        server.Route("/small.txt", HttpResponse::Text(200, "small"));
        HttpResponse big;
        big.body = PatternBytes(0, kBigSize, 7);
        big.chunkSize = 16384;
        big.delayBetweenChunks = std::chrono::milliseconds(20);
        server.Route("/big.bin", big);
        HttpResponse stalled;
        stalled.neverRespond = true;
        server.Route("/list.txt", stalled);
    }

    static constexpr std::size_t kBigSize = 2 * 1024 * 1024;
    TestHttpServer server;
};

void PutByName(control::Pullbay& control, const wchar_t* strName, Variant value)
{
    com::DISPID dispid = 0;
    ASSERT_EQ(control.GetIDsOfNames(strName, dispid), S_OK) << core::ToUtf8(strName);
    ASSERT_EQ(control.PutProperty(dispid, value), S_OK) << core::ToUtf8(strName);
}

TEST_P(WindowDestroyedTest, EndsTheRunWithoutHangLeakOrHalfFile)
{
    const Stage stage = GetParam();
    for (int intRound = 0; intRound < 4; ++intRound) {
        SCOPED_TRACE(std::string(StageName(stage)) + ", round " + std::to_string(intRound));
        const bool bDeleteWidget = intRound % 2 == 0;
        const fs::path destination =
            fs::path(std::getenv("TMPDIR")) / "window-destroyed" /
            (std::to_string(static_cast<int>(stage)) + "-" + std::to_string(intRound));
        fs::create_directories(destination);
        if (stage == Stage::FileExists) {
            std::ofstream(destination / "small.txt") << "old";
        }

        auto pWindow = std::make_unique<QWidget>();
        auto pControl = std::make_unique<control::Pullbay>();
        auto pEvents = std::make_shared<RecordingEventSink>();
        std::optional<std::size_t> uintGoneAt;
        const auto destroyWindow = [&] {
            uintGoneAt = pEvents->events.size();
            if (bDeleteWidget) {
                pWindow.reset();
            } else {
                pControl->OnWindowDestroyed();
            }
        };
        auto pPresenter = std::make_shared<StagePresenter>(stage, destroyWindow);
        pPresenter->SetFolder(destination.wstring());
        pControl->SetPresenter(pPresenter);
        std::uint32_t uintCookie = 0;
        ASSERT_EQ(pControl->EventConnectionPoint().Advise(pEvents, uintCookie), S_OK);
        pControl->OnWindowCreated(pWindow.get());
        PutByName(*pControl, L"FileExistsDialogTimeOut", Variant::FromI4(-1));
        PutByName(*pControl, L"ShowProgressDialog", Variant::FromBool(true));
        if (stage == Stage::FileList) {
            PutByName(*pControl, L"ShowFileListProgressDialog", Variant::FromBool(true));
            PutByName(*pControl, L"FileList",
                      Variant::FromString(NullableString(Widen(server.BaseUrl() + "/list.txt"))));
        }
        const std::string strFile = stage == Stage::Transfer ? "/big.bin" : "/small.txt";
        std::int32_t intIndex = 0;
        ASSERT_EQ(pControl->DownloadFileAdd(
                      NullableString(L"*/*"), 0, NullableString(Widen(strFile.substr(1))),
                      NullableString(Widen(server.BaseUrl() + strFile)), &intIndex),
                  S_OK);

        HRESULT hr = E_FAIL;
        {
            Watchdog watchdog(std::string("a run whose window went at the ") + StageName(stage) +
                                  " stage",
                              std::chrono::seconds(30));
            hr = pControl->Download();
        }
        EXPECT_EQ(hr, S_OK);
        EXPECT_TRUE(uintGoneAt.has_value()) << "the stage under test was reached";
        EXPECT_TRUE(pPresenter->bCancelled) << "the open dialog was cancelled";
        const std::vector<com::DISPID> late = LateEvents(*pEvents, uintGoneAt);
        EXPECT_TRUE(late.empty()) << "first late event: " << late.front();
        EXPECT_FALSE(pControl->IsRunning());
        EXPECT_TRUE(pControl->IsIdle());
        std::int32_t intCount = -1;
        ASSERT_EQ(pControl->GetDownloadFileCount(&intCount), S_OK);
        EXPECT_EQ(intCount, 0);
        // The worker was joined, not left running with the control's files.
        EXPECT_EQ(tools::BackgroundWorkManager::GetLiveWorkerCount(), 0u);
        const fs::path temp(engine::GetTempFolder(engine::kTempFolderName));
        EXPECT_EQ(CountTemporaryFiles(temp), 0) << "temporary files left in " << temp;
        if (stage == Stage::Transfer && fs::exists(destination / "big.bin")) {
            EXPECT_EQ(fs::file_size(destination / "big.bin"), kBigSize)
                << "a half file under its final name";
        }
        if (stage == Stage::FileExists) {
            EXPECT_EQ(ReadFile(destination / "small.txt"), "old") << "the clash was answered Skip";
        }
        // Without its window the control starts nothing.
        EXPECT_EQ(pControl->Download(), S_OK);
        pControl.reset();
    }
}

// The real dialogs: the file-exists dialog, the download-complete dialog,
// the completion prompt or the progress dialog (modal windows owned by the
// control's window) is open when the window goes.
TEST_F(WindowDestroyedTest, TheOpenQtDialogGoesWithTheWindowAndTheRunEnds)
{
    // The Qt presenter, but with the destination given instead of asked.
    class GivenFolderQtPresenter : public dialogs::QtPresenter {
    public:
        explicit GivenFolderQtPresenter(const fs::path& folder)
            : m_pBrowser(std::make_shared<platform::shell::PolicyFolderBrowser>(
                  platform::shell::ItemIdList::FromPath(folder.wstring())))
        {
        }
        std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override
        {
            return m_pBrowser;
        }

    private:
        std::shared_ptr<platform::shell::PolicyFolderBrowser> m_pBrowser;
    };

    enum class Open { FileExists, Log, Prompt, Progress, FileList, Confirmation };
    for (const Open open : {Open::FileExists, Open::Log, Open::Prompt, Open::Progress,
                            Open::FileList, Open::Confirmation}) {
        const bool bClash = open == Open::FileExists;
        const char* const strOpen = open == Open::FileExists ? "file-exists dialog"
                                    : open == Open::Log      ? "download-complete dialog"
                                    : open == Open::Prompt   ? "completion prompt"
                                    : open == Open::Progress ? "progress dialog"
                                    : open == Open::FileList ? "get-file-list window"
                                                             : "confirmation dialog";
        for (int intRound = 0; intRound < 4; ++intRound) {
            SCOPED_TRACE(std::string(strOpen) + ", round " + std::to_string(intRound));
            const bool bDeleteWidget = intRound % 2 == 0;
            const fs::path destination =
                fs::path(std::getenv("TMPDIR")) / "window-destroyed-qt" /
                (std::to_string(static_cast<int>(open)) + "-" + std::to_string(intRound));
            fs::create_directories(destination);
            std::ofstream(destination / "small.txt") << "old";

            auto pWindow = std::make_unique<QWidget>();
            auto pControl = std::make_unique<control::Pullbay>();
            auto pEvents = std::make_shared<RecordingEventSink>();
            std::optional<std::size_t> uintGoneAt;
            auto pPresenter = std::make_shared<GivenFolderQtPresenter>(destination);
            pPresenter->SetOwner(pWindow.get());
            pControl->SetPresenter(pPresenter);
            std::uint32_t uintCookie = 0;
            ASSERT_EQ(pControl->EventConnectionPoint().Advise(pEvents, uintCookie), S_OK);
            pControl->OnWindowCreated(pWindow.get());
            PutByName(*pControl, L"FileExistsDialogTimeOut", Variant::FromI4(bClash ? -1 : 0));
            PutByName(*pControl, L"DownloadCompleteAction",
                      Variant::FromString(NullableString(L"Prompt")));
            PutByName(*pControl, L"ShowProgressDialog", Variant::FromBool(open == Open::Progress));
            // The confirmation opens first of all: only in its own round.
            ASSERT_EQ(pControl->PutConfirmationEnabled(open == Open::Confirmation), S_OK);
            if (open != Open::Log) {
                // The first modal window is then the one this round is about.
                PutByName(*pControl, L"DownloadCompleteDialogShowLogButtonText",
                          Variant::FromString(NullableString(L"")));
            }
            if (open == Open::FileList) {
                PutByName(*pControl, L"ShowFileListProgressDialog", Variant::FromBool(true));
                PutByName(
                    *pControl, L"FileList",
                    Variant::FromString(NullableString(Widen(server.BaseUrl() + "/list.txt"))));
            }
            const std::string strFile = open == Open::Progress ? "/big.bin" : "/small.txt";
            std::int32_t intIndex = 0;
            ASSERT_EQ(pControl->DownloadFileAdd(
                          NullableString(L"*/*"), 0, NullableString(Widen(strFile.substr(1))),
                          NullableString(Widen(server.BaseUrl() + strFile)), &intIndex),
                      S_OK);

            // Once the dialog is open, its window goes.
            bool bDialogSeen = false;
            QTimer poll;
            poll.setInterval(5);
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (QApplication::activeModalWidget() == nullptr) {
                    return;
                }
                poll.stop();
                bDialogSeen = true;
                uintGoneAt = pEvents->events.size();
                if (bDeleteWidget) {
                    pWindow.reset();
                } else {
                    pControl->OnWindowDestroyed();
                }
            });
            poll.start();
            HRESULT hr = E_FAIL;
            {
                Watchdog watchdog("a run whose window went with a Qt dialog open",
                                  std::chrono::seconds(30));
                hr = pControl->Download();
            }
            poll.stop();
            EXPECT_EQ(hr, S_OK);
            EXPECT_TRUE(bDialogSeen);
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no dialog is left open";
            EXPECT_TRUE(LateEvents(*pEvents, uintGoneAt).empty());
            EXPECT_FALSE(pControl->IsRunning());
            EXPECT_EQ(tools::BackgroundWorkManager::GetLiveWorkerCount(), 0u);
            if (bClash) {
                EXPECT_EQ(ReadFile(destination / "small.txt"), "old")
                    << "the clash was answered Skip";
            }
            pControl.reset();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStage, WindowDestroyedTest,
                         ::testing::Values(Stage::FileList, Stage::Confirmation, Stage::Folder,
                                           Stage::Transfer, Stage::FileExists, Stage::Completion),
                         [](const ::testing::TestParamInfo<Stage>& param) {
                             std::string strName = StageName(param.param);
                             std::replace(strName.begin(), strName.end(), ' ', '_');
                             return strName;
                         });

}  // namespace
}  // namespace pullbay::test
