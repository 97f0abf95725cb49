// The file-exists dialog and the Qt presenter's modal dialogs, offscreen:
// the template's geometry in dialog units, the texts, the buttons, Enter,
// Escape and close requests that end nothing, the countdown on an injected
// clock, and the presenter's answers with a driver that presses the open
// modal dialog's buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

#include "control/DialogSettings.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/FileExistsDialog.h"
#include "dialogs/QtPresenter.h"
#include "model/PropertyHolder.h"
#include "support/ModalDriver.h"

namespace pullbay::dialogs {
namespace {

// The question as the control composes it from its default texts.
api::FileExistsQuestion Question(
    std::int32_t intTimeOut, ui::FileExistsAnswer defaultAction = ui::FileExistsAnswer::Overwrite)
{
    api::FileExistsQuestion question = control::DialogSettings::FileExistsQuestion(
        model::PropertyHolder(), L"/home/user/Downloads/report.pdf",
        static_cast<model::FileExistsDialogAction>(defaultAction));
    question.settings.intTimeOut = intTimeOut;
    return question;
}

using test::WhenModalOpens;

TEST(FileExistsDialogTest, ShowsTheQuestionAndItsControlsAtTheTemplateGeometry)
{
    FileExistsDialog dialog(Question(10000), nullptr);
    const DialogUnits units(dialog.font());

    EXPECT_EQ(dialog.windowTitle(), "Velmora Pullbay");
    EXPECT_EQ(dialog.size(), units.Size(345, 86));
    EXPECT_EQ(
        dialog.QuestionLabel()->text(),
        "The file /home/user/Downloads/report.pdf already exists. What you want to do with it?");
    EXPECT_EQ(dialog.QuestionLabel()->geometry(), units.Rect(7, 7, 331, 32));
    const struct {
        ui::FileExistsAnswer answer;
        const char* strText;
        int intX;
    } buttons[] = {{ui::FileExistsAnswer::Overwrite, "Overwrite", 80},
                   {ui::FileExistsAnswer::Skip, "Skip", 143},
                   {ui::FileExistsAnswer::Rename, "Rename", 206}};
    for (const auto& button : buttons) {
        EXPECT_EQ(dialog.Button(button.answer)->text(), button.strText);
        EXPECT_EQ(dialog.Button(button.answer)->geometry(), units.Rect(button.intX, 41, 60, 14));
    }
    EXPECT_EQ(dialog.TimeLeftLabel()->geometry(), units.Rect(7, 58, 331, 10));
    EXPECT_EQ(dialog.TimeLeftLabel()->text(), "Time left: 10 seconds of 10 seconds");
    EXPECT_EQ(dialog.ApplyToAllBox()->text(), "Apply to All");
    EXPECT_EQ(dialog.ApplyToAllBox()->geometry(), units.Rect(7, 69, 331, 10));
    EXPECT_FALSE(dialog.ApplyToAllBox()->isChecked());
    // No close button, no system menu.
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint);

    // Without a time-out the line stays empty and nothing counts down.
    FileExistsDialog waiting(Question(-1), nullptr);
    EXPECT_TRUE(waiting.TimeLeftLabel()->text().isEmpty());
}

TEST(FileExistsDialogTest, OnlyAButtonEndsItAndApplyToAllIsReadWhenItIsPressed)
{
    FileExistsDialog dialog(Question(-1), nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::keyClick(dialog.Button(ui::FileExistsAnswer::Overwrite), Qt::Key_Enter);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible()) << "Enter, Escape and a close request end nothing";
    EXPECT_FALSE(dialog.Model().IsFinished());

    // On the box itself: the rest of the template's wide control is empty.
    QTest::mouseClick(dialog.ApplyToAllBox(), Qt::LeftButton, {},
                      QPoint(4, dialog.ApplyToAllBox()->height() / 2));
    QTest::mouseClick(dialog.Button(ui::FileExistsAnswer::Skip), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Reply().action, ui::FileExistsAnswer::Skip);
    EXPECT_TRUE(dialog.Reply().bApplyToAll);
}

TEST(FileExistsDialogTest, TheCountdownTicksEachSecondAndItsRunOutTakesTheDefaultForTheRestOfTheRun)
{
    std::int64_t intNow = 0;
    FileExistsDialog dialog(Question(1500, ui::FileExistsAnswer::Rename), nullptr,
                            [&intNow] { return intNow; });
    dialog.show();
    EXPECT_EQ(dialog.TimeLeftLabel()->text(), "Time left: 1 seconds of 1 seconds");
    intNow += 999;
    dialog.Poll();
    EXPECT_EQ(dialog.TimeLeftLabel()->text(), "Time left: 1 seconds of 1 seconds")
        << "not a whole tick yet";
    intNow += 1;
    dialog.Poll();
    EXPECT_EQ(dialog.TimeLeftLabel()->text(), "Time left: 0 seconds of 1 seconds");
    EXPECT_TRUE(dialog.isVisible());
    intNow += 1000;
    dialog.Poll();
    EXPECT_FALSE(dialog.isVisible()) << "500 - 1000 is clamped to 0: the next tick runs it out";
    EXPECT_EQ(dialog.Reply().action, ui::FileExistsAnswer::Rename);
    EXPECT_TRUE(dialog.Reply().bApplyToAll) << "a run-out answers for every later clash";
}

TEST(QtPresenterTest, AsksTheClashAndTheMessageBoxesModallyAndCancelEndsTheOpenOne)
{
    QtPresenter presenter;

    WhenModalOpens([](QWidget* pModal) {
        auto* pDialog = dynamic_cast<FileExistsDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        QTest::mouseClick(pDialog->Button(ui::FileExistsAnswer::Rename), Qt::LeftButton);
    });
    const api::FileExistsReply reply = presenter.AskFileExists(Question(-1));
    EXPECT_EQ(reply.action, ui::FileExistsAnswer::Rename);
    EXPECT_FALSE(reply.bApplyToAll);

    WhenModalOpens([](QWidget* pModal) {
        auto* pBox = qobject_cast<QMessageBox*>(pModal);
        ASSERT_NE(pBox, nullptr);
        EXPECT_EQ(pBox->windowTitle(), "Velmora Pullbay");
        EXPECT_EQ(pBox->text(), "Open the folder?");
        EXPECT_EQ(pBox->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        pBox->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(presenter.ShowMessageBox(L"Open the folder?", L"Velmora Pullbay",
                                       api::MessageBoxButtons::YesNo),
              api::MessageBoxAnswer::Yes);

    WhenModalOpens([](QWidget* pModal) {
        auto* pBox = qobject_cast<QMessageBox*>(pModal);
        ASSERT_NE(pBox, nullptr);
        EXPECT_EQ(pBox->standardButtons(), QMessageBox::Ok);
        pBox->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(presenter.ShowMessageBox(L"No files to download", L"Velmora Pullbay",
                                       api::MessageBoxButtons::Ok),
              api::MessageBoxAnswer::Ok);

    // The run ending closes whatever is open: a question is No, a clash Skip.
    WhenModalOpens([&presenter](QWidget*) { presenter.CancelDialogs(); });
    EXPECT_EQ(presenter.ShowMessageBox(L"Open the folder?", L"Velmora Pullbay",
                                       api::MessageBoxButtons::YesNo),
              api::MessageBoxAnswer::No);
    WhenModalOpens([&presenter](QWidget*) { presenter.CancelDialogs(); });
    EXPECT_EQ(presenter.AskFileExists(Question(-1, ui::FileExistsAnswer::Overwrite)).action,
              ui::FileExistsAnswer::Skip);
}

}  // namespace
}  // namespace pullbay::dialogs
