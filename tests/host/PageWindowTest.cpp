// The page window a desktop host shows: the control at its extent inside a
// page titled by the page's title, a run started by the control's button,
// and the page closed before or during a run.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "control/PolicyPresenter.h"
#include "host/cli/RunEventSink.h"
#include "host/session/ControlSession.h"
#include "host/session/PageWindow.h"
#include "platform/com/Variant.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"
#include "support/Watchdog.h"

namespace pullbay::host {
namespace {

namespace fs = std::filesystem;
using com::NullableString;
using com::Variant;
using test::HttpResponse;
using test::TestHttpServer;

HRESULT CallModule(const char* pName)
{
    void* hModule = ::dlopen(PULLBAY_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (hModule == nullptr) {
        return E_FAIL;
    }
    auto pEntry = reinterpret_cast<HRESULT (*)()>(::dlsym(hModule, pName));
    const HRESULT hr = pEntry != nullptr ? pEntry() : E_FAIL;
    ::dlclose(hModule);
    return hr;
}

// A presenter that can step in at the confirmation.
struct Presenter : control::PolicyPresenter {
    std::function<void()> atConfirmation;
    api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest& request) override
    {
        if (atConfirmation) {
            atConfirmation();
        }
        return control::PolicyPresenter::ConfirmDownload(request);
    }
};

class PageWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CallModule("DllRegisterServer"), S_OK);
        server.Route("/a.txt", HttpResponse::Text(200, "a"));
        destination = fs::path(std::getenv("TMPDIR")) / "page-window";
        fs::remove_all(destination);
        fs::create_directories(destination);
        pPresenter->SetFolder(destination.wstring());
        setup.pPresenter = pPresenter;
        setup.pSink = pSink;
        setup.bShowWindow = true;
        setup.bPageWindow = true;
        setup.strTitle = L"Quarterly reports";
        setup.intWidth = 180;
        setup.intHeight = 50;
    }
    void TearDown() override { EXPECT_EQ(CallModule("DllUnregisterServer"), S_OK); }

    void AddFile(ControlSession& session)
    {
        const std::string strUrl = server.BaseUrl() + "/a.txt";
        Variant index;
        ASSERT_EQ(session.Call(L"DownloadFileAdd",
                               {Variant::FromString(NullableString(L"text/plain")),
                                Variant::FromI4(1), Variant::FromString(NullableString(L"a.txt")),
                                Variant::FromString(
                                    NullableString(std::wstring(strUrl.begin(), strUrl.end())))},
                               &index),
                  S_OK);
    }

    bool Wait(ControlSession& session)
    {
        test::Watchdog watchdog("the page's run", std::chrono::seconds(20));
        return session.WaitForClickedRun([this] { return pSink->Completion().has_value(); });
    }

    TestHttpServer server;
    fs::path destination;
    std::shared_ptr<Presenter> pPresenter = std::make_shared<Presenter>();
    std::shared_ptr<RunEventSink> pSink = std::make_shared<RunEventSink>(false);
    ControlSession::Setup setup;
};

TEST_F(PageWindowTest, ThePageHoldsTheControlAtItsExtentAndItsButtonStartsTheRun)
{
    ControlSession session;
    ASSERT_EQ(session.Open(setup), 0);
    PageWindow* pPage = session.Page();
    ASSERT_NE(pPage, nullptr);
    EXPECT_EQ(pPage->windowTitle(), QStringLiteral("Quarterly reports"));
    EXPECT_EQ(pPage->size(), QSize(180 + 2 * PageWindow::kMargin, 50 + 2 * PageWindow::kMargin));
    EXPECT_EQ(pPage->ControlArea()->geometry(),
              QRect(PageWindow::kMargin, PageWindow::kMargin, 180, 50));
    auto* pButton = pPage->findChild<QPushButton*>(QStringLiteral("button150"));
    ASSERT_NE(pButton, nullptr);
    EXPECT_EQ(pButton->text(), QStringLiteral("Download"));
    EXPECT_EQ(pButton->size(), QSize(180, 50)) << "the button covers the control";
    AddFile(session);

    QTimer::singleShot(0, pButton, [pButton] { pButton->click(); });
    EXPECT_TRUE(Wait(session));

    EXPECT_EQ(pSink->ExitCode(), 0);
    EXPECT_EQ(test::ReadFile(destination / "a.txt"), "a");
    EXPECT_EQ(session.DownloadLog().size(), 1u);
    EXPECT_TRUE(pButton->isEnabled()) << "the button is back once the run has returned";
}

TEST_F(PageWindowTest, ClosingThePageBeforeOrDuringARun)
{
    {
        ControlSession session;
        ASSERT_EQ(session.Open(setup), 0);
        QTimer::singleShot(0, session.Page(), [&session] { session.Page()->close(); });
        EXPECT_FALSE(Wait(session)) << "no run took place";
    }
    {
        // The person closes the page while the run asks for confirmation:
        // the run ends early and writes nothing.
        ControlSession session;
        ASSERT_EQ(session.Open(setup), 0);
        AddFile(session);
        pPresenter->atConfirmation = [&session] { session.Page()->close(); };
        auto* pButton = session.Page()->findChild<QPushButton*>(QStringLiteral("button150"));
        ASSERT_NE(pButton, nullptr);
        QTimer::singleShot(0, pButton, [pButton] { pButton->click(); });
        Wait(session);
        EXPECT_NE(pSink->ExitCode(), 0);
        EXPECT_FALSE(fs::exists(destination / "a.txt"));
    }
}

}  // namespace
}  // namespace pullbay::host
