// The file-exists dialog's logic: the answers with apply-to-all, and the
// countdown driven by explicit ticks and by an injected clock.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ui/FileExistsModel.h"

namespace pullbay::ui {
namespace {

FileExistsSettings Settings(std::int32_t intTimeOut,
                            FileExistsAnswer defaultAction = FileExistsAnswer::Skip)
{
    FileExistsSettings settings;
    settings.strTimeLeftText = L"Time left: [Current] of [Total]";
    settings.strSecondsText = L"seconds";
    settings.strMinutesText = L"minutes";
    settings.strHoursText = L"hours";
    settings.intTimeOut = intTimeOut;
    settings.defaultAction = defaultAction;
    return settings;
}

TEST(FileExistsModelTest, ButtonsAnswerWithTheCheckBoxAsScope)
{
    struct Case {
        FileExistsAnswer answer;
        bool bChecked;
    };
    const Case cases[] = {
        {FileExistsAnswer::Overwrite, false},
        {FileExistsAnswer::Skip, true},
        {FileExistsAnswer::Rename, true},
        {FileExistsAnswer::Rename, false},
    };
    for (const Case& test : cases) {
        FileExistsModel model(Settings(-1, FileExistsAnswer::Overwrite), L"q");
        model.SetApplyToAllChecked(true);
        model.SetApplyToAllChecked(test.bChecked);
        model.Choose(test.answer);
        EXPECT_TRUE(model.IsFinished());
        EXPECT_FALSE(model.IsTimedOut());
        EXPECT_EQ(model.Action(), test.answer);
        EXPECT_EQ(model.ApplyToAll(), test.bChecked);

        // Once ended, nothing changes the answer.
        model.SetApplyToAllChecked(!test.bChecked);
        model.Choose(FileExistsAnswer::Skip == test.answer ? FileExistsAnswer::Rename
                                                           : FileExistsAnswer::Skip);
        EXPECT_EQ(model.Action(), test.answer);
        EXPECT_EQ(model.ApplyToAll(), test.bChecked);
    }
}

TEST(FileExistsModelTest, WithoutTimeOutTheDialogWaits)
{
    for (const std::int32_t intTimeOut : {-1, -5}) {
        FileExistsModel model(Settings(intTimeOut), L"The file /d/a.txt already exists.");
        EXPECT_EQ(model.Question(), L"The file /d/a.txt already exists.");
        EXPECT_FALSE(model.HasCountdown());
        EXPECT_EQ(model.TimeLeftText(), L"");
        model.Tick(std::numeric_limits<std::int64_t>::max());
        EXPECT_FALSE(model.IsFinished());
    }
}

TEST(FileExistsModelTest, ZeroTimeOutAnswersTheDefaultForAllAtOnce)
{
    const FileExistsModel model(Settings(0, FileExistsAnswer::Rename), L"q");
    EXPECT_TRUE(model.IsFinished());
    EXPECT_TRUE(model.IsTimedOut());
    EXPECT_EQ(model.Action(), FileExistsAnswer::Rename);
    EXPECT_TRUE(model.ApplyToAll());
}

TEST(FileExistsModelTest, CountdownLinesUntilTheRunOut)
{
    struct Case {
        std::int32_t intTimeOut;
        std::vector<std::wstring> lines;  // first line, then after each tick
    };
    const Case cases[] = {
        {10000, {L"Time left: 10 seconds of 10 seconds", L"Time left: 9 seconds of 10 seconds"}},
        {1500, {L"Time left: 1 seconds of 1 seconds", L"Time left: 0 seconds of 1 seconds"}},
        {1000, {L"Time left: 1 seconds of 1 seconds"}},
        {999, {L"Time left: 0 seconds of 0 seconds"}},
        {61000,
         {L"Time left: 1 minutes 1 seconds of 1 minutes 1 seconds",
          L"Time left: 1 minutes of 1 minutes 1 seconds"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.intTimeOut);
        FileExistsModel model(Settings(test.intTimeOut), L"q");
        model.SetApplyToAllChecked(false);
        ASSERT_TRUE(model.HasCountdown());
        int intTicks = 0;
        while (!model.IsFinished()) {
            if (static_cast<std::size_t>(intTicks) < test.lines.size()) {
                EXPECT_EQ(model.TimeLeftText(), test.lines[static_cast<std::size_t>(intTicks)]);
            }
            model.Tick(FileExistsModel::kTickMilliseconds);
            ++intTicks;
        }
        EXPECT_EQ(intTicks, (test.intTimeOut + 999) / 1000);
        EXPECT_EQ(model.RemainingMilliseconds(), 0);
        EXPECT_TRUE(model.IsTimedOut());
        EXPECT_EQ(model.Action(), FileExistsAnswer::Skip);
        EXPECT_TRUE(model.ApplyToAll());
    }
}

TEST(FileExistsModelTest, PartialTicksAddUpAndHugeJumpsEndTheCountdown)
{
    FileExistsModel model(Settings(3000), L"q");
    model.Tick(400);
    model.Tick(0);
    model.Tick(-5000);
    EXPECT_EQ(model.RemainingMilliseconds(), 3000);
    model.Tick(600);
    EXPECT_EQ(model.RemainingMilliseconds(), 2000);
    model.Tick(std::numeric_limits<std::int64_t>::max());
    EXPECT_TRUE(model.IsTimedOut());

    FileExistsModel chosen(Settings(3000), L"q");
    chosen.Choose(FileExistsAnswer::Overwrite);
    chosen.Tick(5000);
    EXPECT_FALSE(chosen.IsTimedOut());
    EXPECT_EQ(chosen.Action(), FileExistsAnswer::Overwrite);
}

TEST(FileExistsModelTest, InjectedClockDrivesTheCountdown)
{
    std::int64_t intNow = 50000;
    FileExistsModel model(Settings(2000), L"q", [&intNow] { return intNow; });
    intNow += 999;
    model.Poll();
    EXPECT_EQ(model.RemainingMilliseconds(), 2000);
    intNow += 1;
    model.Poll();
    EXPECT_EQ(model.RemainingMilliseconds(), 1000);
    // A clock that steps back costs no time and gives none back.
    intNow -= 10000;
    model.Poll();
    EXPECT_EQ(model.RemainingMilliseconds(), 1000);
    intNow += 1000;
    model.Poll();
    EXPECT_TRUE(model.IsFinished());
    EXPECT_TRUE(model.ApplyToAll());
}

}  // namespace
}  // namespace pullbay::ui
