// The confirmation dialog offscreen: the template's geometry and its two
// heights, the button that folds the list (and the layout without it), the
// columns and their widths beside the scroll bar, the tips of cells cut
// short, toggling by a click on a check box only, OK with the checked count,
// Enter and Escape, the Protected Mode refusal, and the Qt presenter's
// answers after Check All, Uncheck All and single checks (also when the run
// ends or the owner goes while the dialog is open).
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/DialogSettings.h"
#include "dialogs/ConfirmationDialog.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/QtPresenter.h"
#include "model/PropertyHolder.h"
#include "support/ModalDriver.h"

namespace pullbay::dialogs {
namespace {

api::ConfirmationRequest Request(std::size_t uintRows, bool bExpanded = false)
{
    api::ConfirmationRequest request;
    request.settings = control::DialogSettings::Confirmation(model::PropertyHolder());
    request.settings.bFileListExpanded = bExpanded;
    request.settings.bProtectedMode = false;
    request.strServer = L"downloads.example.org";
    for (std::size_t i = 0; i < uintRows; ++i) {
        const std::wstring strName = L"report-" + std::to_wstring(i) + L".pdf";
        request.rows.push_back({L"https://downloads.example.org/q3/" + strName, strName,
                                std::to_wstring((i + 1) * 1024), L"application/pdf", true});
    }
    return request;
}

int Bottom(const QWidget* pWidget)
{
    return pWidget->y() + pWidget->height();
}

int Right(const QWidget* pWidget)
{
    return pWidget->x() + pWidget->width();
}

using test::WhenModalOpens;

void ClickCheckBox(ConfirmationDialog& dialog, std::size_t uintRow)
{
    dialog.List()->scrollTo(dialog.List()->model()->index(static_cast<int>(uintRow), 0));
    const QRect box = dialog.CheckBoxRect(uintRow);
    ASSERT_FALSE(box.isEmpty());
    QTest::mouseClick(dialog.List()->viewport(), Qt::LeftButton, {}, box.center());
}

bool IsChecked(const ConfirmationDialog& dialog, std::size_t uintRow)
{
    return dialog.List()->model()->index(static_cast<int>(uintRow), 0).data(Qt::CheckStateRole) ==
           Qt::Checked;
}

TEST(ConfirmationDialogTest, ShowsTheTemplateAndFoldsKeepingTheGapBelowTheLowestButton)
{
    ConfirmationDialog dialog(Request(3), nullptr);
    const DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.windowTitle(), "Velmora Pullbay");
    EXPECT_EQ(dialog.ServerNameRemarkLabel()->text(),
              "You are about to download files from the server:");
    EXPECT_EQ(dialog.ServerNameLabel()->text(), "downloads.example.org");
    EXPECT_TRUE(dialog.ServerNameLabel()->font().bold());
    EXPECT_FALSE(dialog.TextLabel()->font().bold());
    EXPECT_EQ(dialog.TextLabel()->geometry(), units.Rect(7, 27, 326, 24));
    EXPECT_EQ(dialog.OkButton()->geometry(), units.Rect(145, 55, 50, 14));
    EXPECT_EQ(dialog.CancelButton()->geometry(), units.Rect(199, 55, 50, 14));
    EXPECT_EQ(dialog.FoldButton()->geometry(), units.Rect(253, 55, 80, 14));
    EXPECT_EQ(dialog.List()->geometry(), units.Rect(7, 74, 326, 111));
    EXPECT_EQ(dialog.CheckAllButton()->geometry(), units.Rect(199, 189, 65, 14));
    EXPECT_EQ(dialog.UncheckAllButton()->geometry(), units.Rect(268, 189, 65, 14));
    EXPECT_TRUE(dialog.OkButton()->isDefault());

    // Opens folded: the gap below OK is the template's gap below Check All.
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const int intTemplateGap = units.Y(210) - Bottom(dialog.CheckAllButton());
    EXPECT_EQ(dialog.width(), units.X(340));
    EXPECT_EQ(dialog.height() - Bottom(dialog.OkButton()), intTemplateGap);
    EXPECT_FALSE(dialog.List()->isVisible());
    EXPECT_FALSE(dialog.CheckAllButton()->isVisible());
    EXPECT_EQ(dialog.FoldButton()->text(), "Show File List >>");
    const QPoint topLeft = dialog.pos();

    QTest::mouseClick(dialog.FoldButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.height(), units.Y(210)) << "unfolding restores the template's height";
    EXPECT_EQ(dialog.pos(), topLeft);
    EXPECT_TRUE(dialog.List()->isVisible());
    EXPECT_TRUE(dialog.UncheckAllButton()->isVisible());
    EXPECT_EQ(dialog.FoldButton()->text(), "Hide File List <<");
    QTest::mouseClick(dialog.FoldButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.height() - Bottom(dialog.OkButton()), intTemplateGap);
    EXPECT_FALSE(dialog.List()->isVisible());

    // Opening unfolded goes through the folded height to the same place.
    ConfirmationDialog expanded(Request(3, true), nullptr);
    EXPECT_EQ(expanded.height(), units.Y(210));
    EXPECT_EQ(expanded.FoldButton()->text(), "Hide File List <<");
}

TEST(ConfirmationDialogTest, WithoutTheShowTextTheButtonIsGoneAndOkAndCancelMoveRight)
{
    for (const bool bExpanded : {false, true}) {
        api::ConfirmationRequest request = Request(3, bExpanded);
        request.settings.strShowFileListButtonText.clear();
        ConfirmationDialog dialog(request, nullptr);
        const DialogUnits units(dialog.font());
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_FALSE(dialog.FoldButton()->isVisible());
        const QRect gone = units.Rect(253, 55, 80, 14);
        EXPECT_EQ(Right(dialog.CancelButton()), gone.x() + gone.width());
        EXPECT_EQ(dialog.OkButton()->x() - units.X(145), dialog.CancelButton()->x() - units.X(199))
            << "both move by the same distance";
        EXPECT_EQ(dialog.OkButton()->y(), gone.y());
        EXPECT_EQ(dialog.List()->isVisible(), bExpanded) << "the setting alone decides";
    }
}

TEST(ConfirmationDialogTest, ColumnsWithATitleShareTheWidthBesideTheScrollBar)
{
    api::ConfirmationRequest request = Request(200, true);
    request.settings.strListUrlText.clear();
    request.settings.strListContentTypeText.clear();
    ConfirmationDialog dialog(request, nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    const QAbstractItemModel* pModel = dialog.List()->model();
    ASSERT_EQ(pModel->columnCount(), 2);
    EXPECT_EQ(pModel->headerData(0, Qt::Horizontal).toString(), "File Name");
    EXPECT_EQ(pModel->headerData(1, Qt::Horizontal).toString(), "File Size");
    EXPECT_EQ(pModel->index(7, 0).data().toString(), "report-7.pdf");
    EXPECT_EQ(pModel->index(7, 1).data().toString(), "8192");
    EXPECT_FALSE(pModel->index(7, 1).data(Qt::CheckStateRole).isValid())
        << "the check box is in the first column only";

    // 200 rows need the vertical bar; the columns fill what it leaves.
    ASSERT_TRUE(dialog.List()->verticalScrollBar()->isVisible());
    const int intAvailable = dialog.List()->viewport()->width();
    EXPECT_EQ(dialog.List()->columnWidth(0), static_cast<int>(intAvailable * 2.5 / 4));
    EXPECT_EQ(dialog.List()->columnWidth(1), static_cast<int>(intAvailable * 1.5 / 4));
    EXPECT_FALSE(dialog.List()->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(dialog.List()->horizontalHeader()->sectionsClickable()) << "not sortable";
}

TEST(ConfirmationDialogTest, ACellCutShortShowsItsFullTextAsATip)
{
    ConfirmationDialog dialog(Request(3, true), nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QWidget* pViewport = dialog.List()->viewport();
    const auto hover = [&](int intColumn) {
        const QPoint point =
            dialog.List()->visualRect(dialog.List()->model()->index(0, intColumn)).center();
        QHelpEvent help(QEvent::ToolTip, point, pViewport->mapToGlobal(point));
        QApplication::sendEvent(pViewport, &help);
    };
    hover(0);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "https://downloads.example.org/q3/report-0.pdf");
    hover(2);
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
        << "a text that fits has no tip";
}

TEST(ConfirmationDialogTest, OnlyAClickOnTheCheckBoxTogglesAndOkFollowsTheCount)
{
    ConfirmationDialog dialog(Request(2, true), nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTableView* pList = dialog.List();

    // A click on the row's text selects it; the space key toggles nothing.
    const QRect text = pList->visualRect(pList->model()->index(0, 1));
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, text.center());
    EXPECT_EQ(pList->currentIndex().row(), 0);
    pList->setCurrentIndex(pList->model()->index(0, 0));
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Select}) {
        QTest::keyClick(pList, key);
        EXPECT_TRUE(IsChecked(dialog, 0)) << key;
    }
    EXPECT_EQ(dialog.Model().CheckedCount(), 2u);

    ClickCheckBox(dialog, 0);
    EXPECT_FALSE(IsChecked(dialog, 0));
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    ClickCheckBox(dialog, 1);
    EXPECT_FALSE(dialog.OkButton()->isEnabled()) << "nothing checked";

    // Enter presses OK only while it is enabled.
    pList->setFocus();
    QTest::keyClick(pList, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    ClickCheckBox(dialog, 1);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    pList->setFocus();
    QTest::keyClick(pList, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.Answer().bOk);
    EXPECT_EQ(dialog.Answer().checked, (std::vector<bool>{false, true}));
}

TEST(ConfirmationDialogTest, EscapeAndTheCloseRequestCancel)
{
    ConfirmationDialog dialog(Request(2, true), nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(dialog.List(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.Answer().bOk);

    ConfirmationDialog closed(Request(2), nullptr);
    closed.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&closed));
    closed.close();
    EXPECT_FALSE(closed.isVisible());
    EXPECT_FALSE(closed.Answer().bOk);
}

TEST(ConfirmationDialogTest, ProtectedModeChecksTheFirst500AndRefusesThe501st)
{
    api::ConfirmationRequest request = Request(600, true);
    request.settings.bProtectedMode = true;
    ConfirmationDialog dialog(request, nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(IsChecked(dialog, 499));
    EXPECT_FALSE(IsChecked(dialog, 500));
    EXPECT_EQ(dialog.Model().CheckedCount(), 500u);

    ClickCheckBox(dialog, 500);
    QMessageBox* pBox = dialog.LimitMessage();
    ASSERT_NE(pBox, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), pBox) << "modal to the dialog";
    EXPECT_EQ(pBox->parent(), &dialog);
    EXPECT_EQ(pBox->windowTitle(), "Velmora Pullbay");
    EXPECT_NE(pBox->text().indexOf("more than 500 files"), -1) << pBox->text().toStdString();
    EXPECT_EQ(pBox->standardButtons(), QMessageBox::Ok);
    pBox->button(QMessageBox::Ok)->click();
    QApplication::processEvents();
    EXPECT_EQ(dialog.LimitMessage(), nullptr);
    EXPECT_FALSE(IsChecked(dialog, 500));
    EXPECT_EQ(dialog.Model().CheckedCount(), 500u);

    // With one unchecked first, the 500th check is allowed.
    ClickCheckBox(dialog, 0);
    ClickCheckBox(dialog, 500);
    EXPECT_TRUE(IsChecked(dialog, 500));
    EXPECT_EQ(dialog.LimitMessage(), nullptr);

    // Nothing is left on the screen when the dialog ends under the refusal.
    ClickCheckBox(dialog, 501);
    ASSERT_NE(dialog.LimitMessage(), nullptr);
    dialog.Cancel();
    EXPECT_EQ(dialog.LimitMessage(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(ConfirmationDialogTest, ThePresenterAnswersWithTheChecksOrCancelsWhenTheRunEnds)
{
    QtPresenter presenter;
    WhenModalOpens([](QWidget* pModal) {
        auto* pDialog = dynamic_cast<ConfirmationDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        QTest::mouseClick(pDialog->FoldButton(), Qt::LeftButton);
        QTest::mouseClick(pDialog->UncheckAllButton(), Qt::LeftButton);
        EXPECT_FALSE(pDialog->OkButton()->isEnabled());
        EXPECT_FALSE(IsChecked(*pDialog, 3)) << "the list shows the new states";
        ClickCheckBox(*pDialog, 1);
        QTest::mouseClick(pDialog->CheckAllButton(), Qt::LeftButton);
        EXPECT_TRUE(IsChecked(*pDialog, 0));
        QTest::mouseClick(pDialog->UncheckAllButton(), Qt::LeftButton);
        ClickCheckBox(*pDialog, 2);
        ClickCheckBox(*pDialog, 0);
        ClickCheckBox(*pDialog, 0);
        QTest::mouseClick(pDialog->OkButton(), Qt::LeftButton);
    });
    api::ConfirmationAnswer answer = presenter.ConfirmDownload(Request(4));
    EXPECT_TRUE(answer.bOk);
    EXPECT_EQ(answer.checked, (std::vector<bool>{false, false, true, false}));

    // The run ends with the refusal open over the dialog: both go.
    api::ConfirmationRequest limited = Request(501, true);
    limited.settings.bProtectedMode = true;
    WhenModalOpens([&presenter](QWidget* pModal) {
        auto* pDialog = dynamic_cast<ConfirmationDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        ClickCheckBox(*pDialog, 500);
        ASSERT_NE(pDialog->LimitMessage(), nullptr);
        presenter.CancelDialogs();
    });
    answer = presenter.ConfirmDownload(limited);
    EXPECT_FALSE(answer.bOk);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no window is left open";

    // The owner goes and takes the dialog with it.
    auto pOwner = std::make_unique<QWidget>();
    presenter.SetOwner(pOwner.get());
    WhenModalOpens([&pOwner](QWidget*) { pOwner.reset(); });
    answer = presenter.ConfirmDownload(Request(3));
    EXPECT_FALSE(answer.bOk);
}

}  // namespace
}  // namespace pullbay::dialogs
