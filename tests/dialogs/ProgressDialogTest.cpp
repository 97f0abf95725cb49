// The progress dialog and its Panel, offscreen: the dock layout in numbers
// for a known client size, the two bars and the detail line for two files of
// 1 MiB, the skip buttons reaching the engine, Enter, Escape and close
// requests that end nothing, and the end once the engine has no file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <cstdint>
#include <memory>

#include "dialogs/Panel.h"
#include "dialogs/ProgressDialog.h"
#include "ui/ProgressStatistic.h"

namespace pullbay::dialogs {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// The engine as the dialog sees it, set by the test.
class ScriptedSource : public api::IProgressSource {
public:
    ui::ProgressTexts Texts() const override { return texts; }
    ui::ProgressTimeTexts TimeTexts() const override { return {}; }
    ui::ProgressEngineState State() const override { return state; }
    void SkipCurrent() override { ++intSkipCurrent; }
    void SkipAll() override { ++intSkipAll; }

    ui::ProgressTexts texts;
    ui::ProgressEngineState state;
    int intSkipCurrent = 0;
    int intSkipAll = 0;
};

TEST(PanelTest, ItemsTakeTheirSlotsFromTheSpaceLeftAndPlaceTheirChildren)
{
    QWidget parent;
    Panel panel(&parent);
    QWidget bottom(&panel);
    QWidget right(&panel);
    QWidget centred(&panel);
    QWidget rest(&panel);
    QWidget hidden(&panel);
    auto item = [](QWidget* pChild, Panel::Dock dock, Panel::SizeMode mode, int intSlot) {
        Panel::Item result;
        result.pChild = pChild;
        result.dock = dock;
        result.sizeMode = mode;
        result.intSlotSize = intSlot;
        return result;
    };
    Panel::Item first = item(&bottom, Panel::Dock::Bottom, Panel::SizeMode::Absolute, 50);
    first.intMarginLeft = first.intMarginTop = first.intMarginRight = first.intMarginBottom = 8;
    panel.AddItem(first);
    Panel::Item second = item(&right, Panel::Dock::Right, Panel::SizeMode::Absolute, 70);
    second.horizontal = Panel::Align::Right;
    second.vertical = Panel::Align::Centre;
    second.intMarginRight = 8;
    second.intWidth = 40;
    second.intHeight = 21;
    panel.AddItem(second);
    right.resize(33, 17);
    Panel::Item third = item(&centred, Panel::Dock::Top, Panel::SizeMode::ChildSize, 0);
    third.horizontal = Panel::Align::Centre;
    third.vertical = Panel::Align::Top;
    centred.resize(100, 30);
    panel.AddItem(third);
    Panel::Item hiddenItem = item(&hidden, Panel::Dock::Top, Panel::SizeMode::Absolute, 10);
    hiddenItem.bVisible = false;
    panel.AddItem(hiddenItem);
    Panel::Item fourth = item(&rest, Panel::Dock::Bottom, Panel::SizeMode::Percent, 50);
    fourth.intMarginTop = 3;
    panel.AddItem(fourth);
    // Adding an item of the same child again replaces it (and moves it last).
    panel.AddItem(fourth);
    ASSERT_EQ(panel.Items().size(), 5u);

    panel.setGeometry(0, 0, 400, 200);
    panel.Layout();
    const auto& items = panel.Items();
    EXPECT_EQ(items[0].slot, QRect(0, 150, 400, 50));
    EXPECT_EQ(items[0].child, QRect(8, 158, 384, 34));
    EXPECT_EQ(items[1].slot, QRect(330, 0, 70, 150));
    EXPECT_EQ(items[1].child, QRect(352, 65, 40, 21))
        << "right-aligned with its margin, centred vertically";
    EXPECT_EQ(items[2].slot, QRect(0, 0, 330, 30)) << "the child's own height";
    EXPECT_EQ(items[2].child, QRect(115, 0, 100, 30));
    EXPECT_TRUE(items[3].slot.isNull()) << "a hidden item takes no part";
    EXPECT_EQ(items[4].slot, QRect(0, 90, 330, 60)) << "half of the 120 pixels left";
    EXPECT_EQ(items[4].child, QRect(0, 93, 330, 57));
    EXPECT_EQ(bottom.geometry(), items[0].child);
    EXPECT_EQ(rest.geometry(), items[4].child);
}

TEST(ProgressDialogTest, LaysOutItsControlsAndShowsTwoFilesOfOneMebibyte)
{
    std::int64_t intNow = 5000;
    const auto clock = [&intNow] { return intNow; };
    ui::ProgressStatistic statistic(2 * kMiB, clock);
    auto pFirst = std::make_shared<int>(1);
    auto pSecond = std::make_shared<int>(2);
    statistic.UpdateItemProgress(pFirst, kMiB, kMiB);
    intNow += 1000;
    statistic.UpdateItemProgress(pSecond, kMiB / 2, kMiB);
    auto pSource = std::make_shared<ScriptedSource>();
    pSource->state.bEngineAlive = true;
    pSource->state.bHasCurrentItem = true;
    pSource->state.strCurrentUrl = L"http://example.test/files/b.bin";
    pSource->state.ReadStatistic(statistic);

    ProgressDialog dialog(pSource, L"Velmora Pullbay", nullptr, clock);
    dialog.resize(500, 160);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Velmora Pullbay");
    // From the bottom: the button row, the total bar, the detail line, the
    // file's bar, and the URL in what is left.
    EXPECT_EQ(dialog.ButtonPanel()->geometry(), QRect(8, 118, 484, 34));
    EXPECT_EQ(dialog.TotalBar()->geometry(), QRect(8, 92, 484, 18));
    EXPECT_EQ(dialog.DetailLabel()->geometry(), QRect(8, 69, 484, 15));
    EXPECT_EQ(dialog.ItemBar()->geometry(), QRect(8, 39, 484, 18));
    EXPECT_EQ(dialog.UrlLabel()->geometry(), QRect(8, 12, 484, 19));
    // Skip All rightmost, Skip Current 8 pixels before it.
    const QRect skipAll = dialog.SkipAllButton()->geometry();
    const QRect skipCurrent = dialog.SkipCurrentButton()->geometry();
    EXPECT_EQ(skipAll.right(), 483);
    EXPECT_EQ(skipCurrent.right() + 1, skipAll.left() - 5 - 8);

    dialog.Tick();
    EXPECT_EQ(dialog.ItemBar()->value(), 500);
    EXPECT_EQ(dialog.TotalBar()->value(), 750);
    EXPECT_TRUE(dialog.DetailLabel()->text().startsWith("1.50 MB of 2.00 MB("));
    EXPECT_EQ(dialog.UrlLabel()->toolTip(), "http://example.test/files/b.bin");

    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible()) << "Enter, Escape and a close request end nothing";
    dialog.SkipCurrentButton()->click();
    dialog.SkipAllButton()->click();
    EXPECT_EQ(pSource->intSkipCurrent, 1);
    EXPECT_EQ(pSource->intSkipAll, 1);

    // The engine has no current file: the dialog ends at the next tick.
    pSource->state.bHasCurrentItem = false;
    intNow += 200;
    dialog.Tick();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 1);
}

TEST(ProgressDialogTest, TextsShortenedForAnEarlyTickGrowBackOnceLaidOut)
{
    auto pSource = std::make_shared<ScriptedSource>();
    pSource->state.bEngineAlive = true;
    pSource->state.bHasCurrentItem = true;
    pSource->state.strCurrentUrl = L"http://example.test/a/rather/long/path/to/the/file.bin";
    ProgressDialog dialog(pSource, L"Velmora Pullbay", nullptr);
    dialog.Tick();  // before the panels have placed the labels
    dialog.resize(600, 160);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.UrlLabel()->text(), "http://example.test/a/rather/long/path/to/the/file.bin");
    dialog.resize(200, 160);
    QApplication::processEvents();
    EXPECT_TRUE(dialog.UrlLabel()->text().contains(QChar(0x2026)))
        << "shortened in a narrow dialog";
}

TEST(ProgressDialogTest, AnEmptyButtonTextStillGivesAButtonOfFourteenByTen)
{
    auto pSource = std::make_shared<ScriptedSource>();
    pSource->texts.strSkipAllButtonText.clear();
    ProgressDialog dialog(pSource, L"Velmora Pullbay", nullptr);
    EXPECT_EQ(dialog.SkipAllButton()->size(), QSize(14, 10));
}

TEST(ProgressDialogTest, TheBarsTakeTheControlsBackgroundColour)
{
    class ColouredSource : public ScriptedSource {
    public:
        std::uint32_t BarBackgroundColor() const override { return 0x00336699; }  // 0x00BBGGRR
    };
    ProgressDialog dialog(std::make_shared<ColouredSource>(), L"Velmora Pullbay", nullptr);
    EXPECT_EQ(dialog.ItemBar()->palette().color(QPalette::Base), QColor(0x99, 0x66, 0x33));
    EXPECT_EQ(dialog.TotalBar()->palette().color(QPalette::Base), QColor(0x99, 0x66, 0x33));
}

}  // namespace
}  // namespace pullbay::dialogs
