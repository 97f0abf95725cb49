// The progress dialog's texts, bar positions, tick timing and commands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "ui/ProgressModel.h"
#include "ui/ProgressStatistic.h"

namespace pullbay::ui {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct ManualClock {
    std::shared_ptr<std::int64_t> pNow = std::make_shared<std::int64_t>(7000000);

    std::function<std::int64_t()> Function() const
    {
        return [pNow = pNow] { return *pNow; };
    }
    void Advance(std::int64_t intMilliseconds) const { *pNow += intMilliseconds; }
};

ProgressEngineState RunningState(std::uint64_t uintTransferred, std::uint64_t uintTotal)
{
    ProgressEngineState state;
    state.bEngineAlive = true;
    state.bHasCurrentItem = true;
    state.strCurrentUrl = L"http://example.test/file.bin";
    state.uintTransferred = uintTransferred;
    state.uintTotal = uintTotal;
    state.dblRate = 512.0 * 1024.0;
    state.dblItemFraction = 0.25;
    state.dblTotalFraction = 0.5;
    state.dblTimeLeft = 17.9;
    return state;
}

TEST(ProgressModelTest, SecondOfTwoMebibyteFilesHalfDone)
{
    ManualClock clock;
    ProgressStatistic statistic(2 * kMiB, clock.Function());
    auto pFirst = std::make_shared<int>(1);
    auto pSecond = std::make_shared<int>(2);
    statistic.UpdateItemProgress(pFirst, kMiB, kMiB);
    clock.Advance(1000);
    statistic.UpdateItemProgress(pSecond, kMiB / 2, kMiB);

    ProgressEngineState state;
    state.bEngineAlive = true;
    state.bHasCurrentItem = true;
    state.strCurrentUrl = L"http://example.test/b.bin";
    state.ReadStatistic(statistic);

    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, clock.Function());
    EXPECT_TRUE(model.Tick(state));
    EXPECT_EQ(model.GetTotalBarPosition(), 750);
    EXPECT_EQ(model.GetItemBarPosition(), 500);
    EXPECT_EQ(model.GetUrl(), L"http://example.test/b.bin");
    EXPECT_EQ(model.GetDataAmountText(), L"1.50 MB of 2.00 MB");
    EXPECT_EQ(model.GetProgressText().rfind(L"1.50 MB of 2.00 MB(1 MB/s, ", 0), 0u);
}

TEST(ProgressModelTest, DetailLineJoinsDataAmountAndRateWithoutSeparator)
{
    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, ManualClock{}.Function());
    model.Tick(RunningState(kMiB + kMiB / 2, 10 * kMiB));
    EXPECT_EQ(model.GetProgressText(), L"1.50 MB of 10.00 MB(512 kB/s, 17 seconds left)");
    EXPECT_FALSE(model.IsWaitingForRetry());
}

TEST(ProgressModelTest, WaitingForRetryReplacesRateAndTimeLeft)
{
    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, ManualClock{}.Function());
    ProgressEngineState state = RunningState(kMiB + kMiB / 2, 10 * kMiB);
    state.bWaitingForRetry = true;
    EXPECT_TRUE(model.Tick(state));
    EXPECT_TRUE(model.IsWaitingForRetry());
    EXPECT_EQ(model.GetProgressText(), L"1.50 MB of 10.00 MB(Error! Waiting for retry...)");

    state.bWaitingForRetry = false;
    EXPECT_TRUE(model.Tick(state));
    EXPECT_EQ(model.GetDetailsText(), L"(512 kB/s, 17 seconds left)");
}

TEST(ProgressModelTest, TextsAreReadAtEveryTick)
{
    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, ManualClock{}.Function());
    model.Tick(RunningState(4096, 2 * kMiB));
    ProgressTexts texts;
    texts.strDataAmountText = L"[Total]/[Current] [Current]";
    texts.strDownloadDetailsText = L" [TimeLeft] @ [Rate]";
    texts.strKilobytesText = L"KiB";
    texts.strMegabytesText = L"MiB";
    texts.strKilobyteRateText = L"KiB/s";
    model.SetTexts(texts);
    EXPECT_TRUE(model.Tick(RunningState(4096, 2 * kMiB)));
    EXPECT_EQ(model.GetProgressText(), L"2.00 MiB/4 KiB 4 KiB 17 seconds @ 512 KiB/s");
}

TEST(ProgressModelTest, BarPositionsTruncateAndStayInRange)
{
    const struct {
        double dblFraction;
        int intExpected;
    } cases[] = {
        {0.0, 0},    {0.0009, 0}, {0.0019, 1}, {0.4999, 499},  {0.75, 750},     {1.0, 1000},
        {1.7, 1000}, {-0.3, 0},   {kNaN, 0},   {kInfinity, 0}, {-kInfinity, 0}, {1e300, 1000},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(ProgressModel::ToBarPosition(testCase.dblFraction), testCase.intExpected)
            << testCase.dblFraction;
    }
}

TEST(ProgressModelTest, NonFiniteStatisticsGiveShortNeutralTexts)
{
    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, ManualClock{}.Function());
    ProgressEngineState state = RunningState(0, 0);
    state.dblRate = kNaN;
    state.dblTimeLeft = kInfinity;
    state.dblItemFraction = kNaN;
    state.dblTotalFraction = -kInfinity;
    EXPECT_TRUE(model.Tick(state));
    EXPECT_EQ(model.GetItemBarPosition(), 0);
    EXPECT_EQ(model.GetTotalBarPosition(), 0);
    EXPECT_EQ(model.GetDetailsText(), L"(-- kB/s, -- left)");
}

TEST(ProgressModelTest, TicksFallDueEveryTwoHundredMilliseconds)
{
    ManualClock clock;
    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, clock.Function());
    const ProgressEngineState state = RunningState(kMiB, 2 * kMiB);

    EXPECT_FALSE(model.IsTickDue());
    EXPECT_EQ(model.GetMillisecondsUntilNextTick(), 200);
    clock.Advance(199);
    EXPECT_FALSE(model.Poll(state));
    EXPECT_EQ(model.GetUrl(), L"");
    clock.Advance(1);
    EXPECT_TRUE(model.IsTickDue());
    EXPECT_TRUE(model.Poll(state));
    EXPECT_EQ(model.GetMillisecondsUntilNextTick(), 200);

    // Nothing new to show: the tick runs but reports no change.
    clock.Advance(200);
    EXPECT_FALSE(model.Poll(state));
    EXPECT_EQ(model.GetMillisecondsUntilNextTick(), 200);

    // A clock that goes backwards does not stall the ticks.
    clock.Advance(-5000);
    EXPECT_TRUE(model.IsTickDue());
}

TEST(ProgressModelTest, ChangeIsJudgedByWhatIsShown)
{
    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, ManualClock{}.Function());
    const ProgressEngineState base = RunningState(kMiB, 2 * kMiB);
    model.Tick(base);
    ProgressEngineState state = base;
    state.strCurrentUrl = L"http://example.test/other";
    EXPECT_TRUE(model.Tick(state));
    state.dblItemFraction = 0.2509;
    EXPECT_FALSE(model.Tick(state));  // same bar position
    state.dblItemFraction = 0.9;
    EXPECT_TRUE(model.Tick(state));
    state.uintTransferred += 2 * kMiB;
    EXPECT_TRUE(model.Tick(state));
    EXPECT_FALSE(model.Tick(state));
}

TEST(ProgressModelTest, EndsWhenEngineIsGoneOrHasNoCurrentItem)
{
    {
        ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, ManualClock{}.Function());
        model.Tick(RunningState(kMiB, 2 * kMiB));
        ProgressEngineState done = RunningState(kMiB, 2 * kMiB);
        done.bHasCurrentItem = false;
        EXPECT_TRUE(model.Tick(done));
        EXPECT_TRUE(model.IsFinished());
        EXPECT_FALSE(model.AreSkipButtonsEnabled());
        EXPECT_FALSE(model.IsTickDue());
        EXPECT_FALSE(model.Tick(RunningState(0, 2 * kMiB)));
        EXPECT_EQ(model.GetDataAmountText(), L"1.00 MB of 2.00 MB");
    }
    {
        ManualClock clock;
        ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, clock.Function());
        model.Tick(RunningState(kMiB, 2 * kMiB));
        clock.Advance(200);
        EXPECT_TRUE(model.Poll(ProgressEngineState{}));
        EXPECT_TRUE(model.IsFinished());
        EXPECT_EQ(model.GetProgressText(), L"");
    }
}

TEST(ProgressModelTest, OnlySkipButtonsReachTheEngine)
{
    using Command = ProgressModel::Command;
    using Request = ProgressModel::EngineRequest;
    ProgressModel model(ProgressTimeTexts{}, ProgressTexts{}, ManualClock{}.Function());
    EXPECT_TRUE(model.AreSkipButtonsEnabled());
    EXPECT_EQ(model.OnCommand(Command::SkipCurrent), Request::SkipCurrent);
    EXPECT_EQ(model.OnCommand(Command::SkipAll), Request::SkipAll);
    EXPECT_EQ(model.OnCommand(Command::Ok), Request::None);
    EXPECT_EQ(model.OnCommand(Command::Cancel), Request::None);
    EXPECT_FALSE(model.IsFinished());

    model.Tick(ProgressEngineState{});
    EXPECT_EQ(model.OnCommand(Command::SkipAll), Request::None);
}

}  // namespace
}  // namespace pullbay::ui
