// The download-complete dialog offscreen: the template's geometry, folding
// by the gap rule, the copy buttons sized to their texts, the log list
// (rows, the copy-failed row, a column that grows with the lines shown),
// the clipboard, the keys that end it or not, and the Qt presenter showing
// it modally.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "control/DialogSettings.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/DownloadCompleteDialog.h"
#include "dialogs/QtPresenter.h"
#include "model/PropertyHolder.h"
#include "support/ModalDriver.h"

namespace pullbay::dialogs {
namespace {

ui::DownloadLogRow Row(const std::wstring& strName, int intResult)
{
    ui::DownloadLogRow row;
    row.strUrl = L"https://files.example.org/" + strName;
    row.strFileName = strName;
    row.strDestinationFolder = L"/home/ada/Downloads";
    row.strDestinationFileName = strName;
    row.intResult = intResult;
    return row;
}

// A report with the control's default texts.
api::CompletionReport Report(std::vector<ui::DownloadLogRow> rows, bool bCopyFailed = false)
{
    api::CompletionReport report;
    report.texts = control::DialogSettings::DownloadLog(model::PropertyHolder());
    report.rows = std::move(rows);
    report.bCopyFailed = bCopyFailed;
    report.strDestination = L"/home/ada/Downloads";
    return report;
}

api::CompletionReport ThreeFiles()
{
    return Report({Row(L"a.txt", 0), Row(L"b.txt", 7), Row(L"c.txt", 3)});
}

constexpr wchar_t kCaption[] = L"Velmora Pullbay";

int Bottom(const QWidget* pWidget)
{
    return pWidget->y() + pWidget->height();
}

QString Cell(const DownloadCompleteDialog& dialog, int intRow)
{
    const QAbstractItemModel* pTable = dialog.LogView()->model();
    return pTable->data(pTable->index(intRow, 0)).toString();
}

using test::WhenModalOpens;

TEST(DownloadCompleteDialogTest, ShowsTheTemplateAndFoldsTheLogKeepingTheGapBelowIt)
{
    DownloadCompleteDialog dialog(ThreeFiles(), kCaption, nullptr);
    const DialogUnits units(dialog.font());

    EXPECT_EQ(dialog.windowTitle(), "Velmora Pullbay");
    EXPECT_EQ(dialog.MessageLabel()->text(),
              "Download has been completed. Click Show Log button to see the log file");
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);

    // Folded by default: the dialog ends as far below OK as the template
    // ends below Copy All.
    const int intTemplateHeight = units.Y(206);
    const int intGap = intTemplateHeight - Bottom(dialog.CopyAllButton());
    EXPECT_FALSE(dialog.Model().IsExpanded());
    EXPECT_EQ(dialog.width(), units.X(340));
    EXPECT_EQ(dialog.height(), Bottom(dialog.OkButton()) + intGap);
    EXPECT_TRUE(dialog.LogView()->isHidden());
    EXPECT_EQ(dialog.LogButton()->text(), "Show Log >>");

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QPoint topLeft = dialog.pos();
    QTest::mouseClick(dialog.LogButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.Model().IsExpanded());
    EXPECT_EQ(dialog.height(), intTemplateHeight);
    EXPECT_TRUE(dialog.LogView()->isVisible());
    EXPECT_EQ(dialog.LogButton()->text(), "Hide Log <<");
    EXPECT_EQ(dialog.pos(), topLeft) << "folding keeps the position";
    QTest::mouseClick(dialog.LogButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.height(), Bottom(dialog.OkButton()) + intGap);
    EXPECT_FALSE(dialog.LogView()->isVisible());
    EXPECT_EQ(dialog.LogButton()->text(), "Show Log >>");

    // LogFileExpanded opens it unfolded, at the template's height.
    api::CompletionReport expanded = ThreeFiles();
    expanded.texts.bLogExpanded = true;
    DownloadCompleteDialog unfolded(expanded, kCaption, nullptr);
    EXPECT_EQ(unfolded.height(), intTemplateHeight);
    EXPECT_FALSE(unfolded.LogView()->isHidden());
    EXPECT_EQ(unfolded.LogButton()->text(), "Hide Log <<");

    // Without a Show Log text there is no button to unfold with.
    api::CompletionReport noButton = ThreeFiles();
    noButton.texts.strShowLogButtonText.clear();
    DownloadCompleteDialog withoutButton(noButton, kCaption, nullptr);
    EXPECT_TRUE(withoutButton.LogButton()->isHidden());
}

TEST(DownloadCompleteDialogTest, CopyButtonsAreAsWideAsTheirTextsAndKeepClearOfEachOther)
{
    api::CompletionReport report = ThreeFiles();
    report.texts.strCopySelectedButtonText = L"Copy the selected lines";
    DownloadCompleteDialog dialog(report, kCaption, nullptr);
    const DialogUnits units(dialog.font());
    const QFontMetrics system(QApplication::font());
    const QRect copyAllTemplate = units.Rect(275, 188, 58, 14);

    const QPushButton* pAll = dialog.CopyAllButton();
    EXPECT_EQ(pAll->width(), system.horizontalAdvance("Copy All"));
    EXPECT_EQ(pAll->x() + pAll->width(), copyAllTemplate.x() + copyAllTemplate.width())
        << "Copy All keeps its right edge";
    EXPECT_EQ(pAll->y(), copyAllTemplate.y());
    EXPECT_EQ(pAll->height(), copyAllTemplate.height());
    const QPushButton* pSelected = dialog.CopySelectedButton();
    EXPECT_EQ(pSelected->width(), system.horizontalAdvance("Copy the selected lines"));
    EXPECT_EQ(pSelected->x() + pSelected->width(), pAll->x() - 15);
    EXPECT_EQ(pSelected->y(), copyAllTemplate.y());

    // A text wider than the room to its left starts at 0, not off the dialog.
    api::CompletionReport wide = ThreeFiles();
    wide.texts.strCopySelectedButtonText = std::wstring(400, L'W');
    DownloadCompleteDialog clamped(wide, kCaption, nullptr);
    EXPECT_EQ(clamped.CopySelectedButton()->x(), 0);
    EXPECT_EQ(clamped.CopySelectedButton()->width(),
              system.horizontalAdvance(QString(400, QLatin1Char('W'))));
}

TEST(DownloadCompleteDialogTest, CopyButtonsPutCrLfEndedLinesOnTheClipboard)
{
    DownloadCompleteDialog dialog(ThreeFiles(), kCaption, nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QClipboard* pClipboard = QGuiApplication::clipboard();
    const QString strA = "File /home/ada/Downloads/a.txt has been downloaded from "
                         "https://files.example.org/a.txt";
    const QString strB = "Failed to download file /home/ada/Downloads/b.txt from "
                         "https://files.example.org/b.txt: Resource not found";
    const QString strC = "Failed to download file /home/ada/Downloads/c.txt from "
                         "https://files.example.org/c.txt: Skipped by user";

    // Folded, the copy buttons lie below the dialog's edge: clicked directly.
    dialog.CopyAllButton()->click();
    EXPECT_EQ(pClipboard->text(), strA + "\r\n" + strB + "\r\n" + strC + "\r\n");

    // Rows picked as a user picks several: a click, then Ctrl+click.
    dialog.LogButton()->click();
    QTableView* pView = dialog.LogView();
    const auto clickRow = [pView](int intRow, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(pView->viewport(), Qt::LeftButton, modifiers,
                          pView->visualRect(pView->model()->index(intRow, 0)).center());
    };
    clickRow(2, Qt::NoModifier);
    clickRow(0, Qt::ControlModifier);
    dialog.CopySelectedButton()->click();
    EXPECT_EQ(pClipboard->text(), strA + "\r\n" + strC + "\r\n") << "in row order";

    pView->selectionModel()->clearSelection();
    pClipboard->setText("left over");
    dialog.CopySelectedButton()->click();
    EXPECT_EQ(pClipboard->text(), QString()) << "no selection still replaces the clipboard";
    EXPECT_TRUE(dialog.isVisible()) << "copying does not end the dialog";
}

TEST(DownloadCompleteDialogTest, TheListHasARowPerFileAndTheCopyFailedRowOnlyWithTheFlag)
{
    const std::vector<ui::DownloadLogRow> rows = {Row(L"a.txt", 0), Row(L"odd.txt", 2)};
    DownloadCompleteDialog copied(Report(rows, false), kCaption, nullptr);
    ASSERT_EQ(copied.LogView()->model()->rowCount(), 2);
    EXPECT_EQ(copied.LogView()->model()->columnCount(), 1);
    EXPECT_TRUE(Cell(copied, 0).startsWith("File /home/ada/Downloads/a.txt"));
    EXPECT_EQ(Cell(copied, 1), QString()) << "a result outside the table shows an empty row";

    DownloadCompleteDialog refused(Report(rows, true), kCaption, nullptr);
    ASSERT_EQ(refused.LogView()->model()->rowCount(), 3);
    EXPECT_EQ(Cell(refused, 2),
              "User denied copying some of downloaded files to /home/ada/Downloads");
}

TEST(DownloadCompleteDialogTest, TheColumnGrowsToTheLongestLineShownSoFar)
{
    // Many short lines, and one long one at the end, out of sight at first.
    std::vector<ui::DownloadLogRow> rows;
    for (int i = 0; i < 200; ++i) {
        rows.push_back(Row(L"f" + std::to_wstring(i) + L".txt", 0));
    }
    rows[3] = Row(L"reports/2026/quarterly/summary-of-the-year.pdf", 0);
    rows.back() = Row(std::wstring(120, L'z') + L".bin", 5);
    api::CompletionReport report = Report(rows);
    report.texts.bLogExpanded = true;
    DownloadCompleteDialog dialog(report, kCaption, nullptr);
    QTableView* pView = dialog.LogView();
    const int intInitial = pView->horizontalHeader()->sectionSize(0);
    EXPECT_EQ(intInitial, pView->contentsRect().width()) << "as wide as the list's inside";

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::processEvents();
    const int intVisibleLongest = dialog.LineWidth(Cell(dialog, 3));
    ASSERT_GT(intVisibleLongest, intInitial);
    EXPECT_EQ(pView->horizontalHeader()->sectionSize(0), intVisibleLongest);
    EXPECT_GT(pView->horizontalScrollBar()->maximum(), 0) << "the list scrolls sideways";

    pView->scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(pView->horizontalHeader()->sectionSize(0), dialog.LineWidth(Cell(dialog, 199)));

    // Back at the top the column keeps its width.
    pView->scrollToTop();
    QApplication::processEvents();
    EXPECT_EQ(pView->horizontalHeader()->sectionSize(0), dialog.LineWidth(Cell(dialog, 199)));
}

TEST(DownloadCompleteDialogTest, EnterEndsItWithOkWhileEscapeAndCloseDoNothing)
{
    DownloadCompleteDialog dialog(ThreeFiles(), kCaption, nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible()) << "Escape and a close request end nothing";

    QTest::mouseClick(dialog.LogButton(), Qt::LeftButton);
    dialog.LogView()->setFocus();
    QTest::keyClick(dialog.LogView(), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(dialog.LogView(), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible()) << "Enter in the list presses OK";
    EXPECT_EQ(dialog.result(), 1);

    DownloadCompleteDialog other(ThreeFiles(), kCaption, nullptr);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    QTest::keyClick(&other, Qt::Key_Enter);
    EXPECT_FALSE(other.isVisible());
    EXPECT_EQ(other.result(), 1);
}

TEST(QtPresenterTest, ShowsTheCompletionModallyOverItsOwnerUntilOkCancelOrTheOwnerGoes)
{
    QtPresenter presenter;
    auto pWindow = std::make_unique<QWidget>();
    presenter.SetOwner(pWindow.get());
    const api::CompletionReport report = ThreeFiles();

    QWidget* pOwnerSeen = nullptr;
    WhenModalOpens([&pOwnerSeen](QWidget* pModal) {
        auto* pDialog = dynamic_cast<DownloadCompleteDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        pOwnerSeen = pDialog->parentWidget();
        EXPECT_EQ(pDialog->LogView()->model()->rowCount(), 3);
        pDialog->OkButton()->click();
    });
    presenter.ShowDownloadComplete(report);
    EXPECT_EQ(pOwnerSeen, pWindow.get());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    WhenModalOpens([&presenter](QWidget*) { presenter.CancelDialogs(); });
    presenter.ShowDownloadComplete(report);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    WhenModalOpens([&pWindow](QWidget*) { pWindow.reset(); });
    presenter.ShowDownloadComplete(report);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the owner took the dialog along";
}

}  // namespace
}  // namespace pullbay::dialogs
