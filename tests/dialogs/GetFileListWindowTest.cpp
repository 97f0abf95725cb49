// The get-file-list window on a real fetch: the bar fills when the list's
// length is declared and runs as a marquee when it is not, Escape and the
// close box end nothing, and Cancel against a server that stalls after two
// lines ends the fetch at once: the two items stay and nothing is added
// after it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <string>

#include "control/Pullbay.h"
#include "dialogs/GetFileListWindow.h"
#include "dialogs/QtPresenter.h"
#include "pullbay/Events.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"
#include "support/Watchdog.h"

namespace pullbay::test {
namespace {

using com::NullableString;
using com::Variant;

void PutByName(control::Pullbay& control, const wchar_t* strName, Variant value)
{
    com::DISPID dispid = 0;
    ASSERT_EQ(control.GetIDsOfNames(strName, dispid), S_OK);
    ASSERT_EQ(control.PutProperty(dispid, value), S_OK);
}

std::int32_t Count(const control::Pullbay& control)
{
    std::int32_t intCount = -1;
    control.GetDownloadFileCount(&intCount);
    return intCount;
}

TEST(GetFileListWindowTest, CancelEndsAStalledFetchAtOnceAndKeepsTheLinesAlreadyAdded)
{
    for (const bool bLengthDeclared : {true, false}) {
        SCOPED_TRACE(bLengthDeclared ? "length declared" : "length unknown");
        TestHttpServer server;
        const std::string strFirstTwo = "*/* | 1 | /a.txt | a.txt\r\n*/* | 1 | /b.txt | b.txt\r\n";
        HttpResponse list = HttpResponse::Text(200, strFirstTwo + "*/* | 1 | /c.txt | c.txt\r\n"
                                                                  "*/* | 1 | /d.txt | d.txt\r\n");
        list.chunkSize = strFirstTwo.size();
        list.delayBetweenChunks = std::chrono::milliseconds(400);
        list.sendContentLength = bLengthDeclared;
        server.Route("/list.txt", list);

        QWidget window;
        control::Pullbay control;
        auto pPresenter = std::make_shared<dialogs::QtPresenter>();
        pPresenter->SetOwner(&window);
        control.SetPresenter(pPresenter);
        control.OnWindowCreated(&window);
        PutByName(control, L"ShowFileListProgressDialog", Variant::FromBool(true));
        PutByName(control, L"TimeOut", Variant::FromI4(60000));
        PutByName(control, L"FileList",
                  Variant::FromString(NullableString(Widen(server.BaseUrl() + "/list.txt"))));

        bool bShown = false;
        bool bStayedOpen = false;
        bool bBarRight = false;
        QTimer driver;
        driver.setInterval(2);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            dialogs::GetFileListWindow* pWindow = pPresenter->FileListWindow();
            if (pWindow == nullptr || Count(control) < 2) {
                return;
            }
            const QProgressBar* pBar = pWindow->Bar();
            const bool bBarKnown = bLengthDeclared
                                       ? pBar->maximum() == static_cast<int>(list.body.size())
                                       : pWindow->IsMarquee();
            if (!bBarKnown) {
                return;
            }
            driver.stop();
            bShown = pWindow->isVisible() && pWindow->windowTitle() == "Pullbay" &&
                     pWindow->TextLabel()->text() == "Getting file list..." &&
                     pWindow->CancelButton()->text() == "Cancel";
            bBarRight = bLengthDeclared ? pBar->value() == static_cast<int>(strFirstTwo.size()) &&
                                              pBar->maximum() == static_cast<int>(list.body.size())
                                        : pBar->maximum() == 0;
            QTest::keyClick(pWindow, Qt::Key_Escape);
            pWindow->close();
            bStayedOpen = pWindow->isVisible();
            pWindow->CancelButton()->click();
        });
        driver.start();
        const auto start = std::chrono::steady_clock::now();
        {
            Watchdog watchdog("a cancelled list fetch", std::chrono::seconds(10));
            ASSERT_EQ(control.DownloadFileList(), S_OK);
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(bShown);
        EXPECT_TRUE(bBarRight);
        EXPECT_TRUE(bStayedOpen) << "Escape and the close box end nothing";
        EXPECT_LT(elapsed, std::chrono::milliseconds(400))
            << "the rest of the list was not awaited";
        EXPECT_EQ(pPresenter->FileListWindow(), nullptr);
        EXPECT_EQ(Count(control), 2) << "the lines added before the Cancel stay";

        // The rest of the list is due now: none of it reaches the list.
        QEventLoop loop;
        QTimer::singleShot(700, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_EQ(Count(control), 2);
        control.OnWindowDestroyed();
    }
}

}  // namespace
}  // namespace pullbay::test
