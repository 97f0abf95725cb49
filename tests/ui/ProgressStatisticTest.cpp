// Byte counters, fractions, rate and time left of a download run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/ThreadId.h"
#include "ui/ProgressStatistic.h"

namespace pullbay::ui {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// A clock that the test moves by hand; starts at an arbitrary reading so
// that only differences can matter.
struct ManualClock {
    std::shared_ptr<std::int64_t> pNow = std::make_shared<std::int64_t>(500000);

    ProgressStatistic::MillisecondClock Function() const
    {
        return [pNow = pNow] { return *pNow; };
    }
    void Advance(std::int64_t intMilliseconds) const { *pNow += intMilliseconds; }
};

// Stands in for the file items: the statistic only needs their identity.
struct Item {
    std::uint64_t uintDeclaredSize;
};

TEST(ProgressStatisticTest, TwoFilesOfOneMebibyteWithTheSecondHalfDone)
{
    ManualClock clock;
    ProgressStatistic statistic(2 * kMiB, clock.Function());
    auto pFirst = std::make_shared<Item>(Item{kMiB});
    auto pSecond = std::make_shared<Item>(Item{kMiB});

    for (std::uint64_t uintDone = 4096; uintDone <= kMiB; uintDone += 4096) {
        statistic.UpdateItemProgress(pFirst, uintDone, kMiB);
    }
    clock.Advance(1000);
    statistic.UpdateItemProgress(pSecond, kMiB / 4, kMiB);
    statistic.UpdateItemProgress(pSecond, kMiB / 2, kMiB);

    EXPECT_EQ(statistic.GetTransferred(), kMiB + kMiB / 2);
    EXPECT_EQ(statistic.GetTotal(), 2 * kMiB);
    EXPECT_EQ(statistic.GetCurrentItemBytes(), kMiB / 2);
    EXPECT_DOUBLE_EQ(statistic.GetTotalFraction(), 0.75);
    EXPECT_DOUBLE_EQ(statistic.GetItemFraction(), 0.5);
    EXPECT_DOUBLE_EQ(statistic.GetRate(), 1.5 * kMiB);
    EXPECT_DOUBLE_EQ(statistic.GetTimeLeft(), 1.0 / 3.0);
}

TEST(ProgressStatisticTest, CancellingTakesTheFileOutOfTheRun)
{
    ManualClock clock;
    auto pFirst = std::make_shared<Item>(Item{kMiB});
    auto pSecond = std::make_shared<Item>(Item{kMiB});
    auto pThird = std::make_shared<Item>(Item{3000});

    // The current file fails half way: its size and its bytes go.
    {
        ProgressStatistic statistic(2 * kMiB + 3000, clock.Function());
        statistic.UpdateItemProgress(pFirst, kMiB, kMiB);
        statistic.UpdateItemProgress(pSecond, kMiB / 2, kMiB);
        statistic.CancelItemProgress(pSecond, pSecond->uintDeclaredSize);
        EXPECT_EQ(statistic.GetTotal(), kMiB + 3000);
        EXPECT_EQ(statistic.GetTransferred(), kMiB);
        EXPECT_EQ(statistic.GetCurrentItemBytes(), 0u);
        // The next file counts from where the run stands.
        statistic.UpdateItemProgress(pThird, 1000, 3000);
        EXPECT_EQ(statistic.GetTransferred(), kMiB + 1000);
    }
    // A file skipped before it got any bytes (not the current item): only
    // the total drops; the bytes of the current file stay counted.
    {
        ProgressStatistic statistic(2 * kMiB + 3000, clock.Function());
        statistic.UpdateItemProgress(pFirst, 700, kMiB);
        statistic.CancelItemProgress(pSecond, pSecond->uintDeclaredSize);
        EXPECT_EQ(statistic.GetTotal(), kMiB + 3000);
        EXPECT_EQ(statistic.GetTransferred(), 700u);
        EXPECT_EQ(statistic.GetCurrentItemBytes(), 700u);
    }
    // A declared size at or above the total brings the total to 0, never
    // below.
    {
        ProgressStatistic statistic(3000, clock.Function());
        statistic.CancelItemProgress(pFirst, 3000);
        EXPECT_EQ(statistic.GetTotal(), 0u);
        statistic.CancelItemProgress(pFirst, kMiB);
        EXPECT_EQ(statistic.GetTotal(), 0u);
    }
}

TEST(ProgressStatisticTest, RestartOfTheSameFileLowersTransferred)
{
    ManualClock clock;
    ProgressStatistic statistic(10000, clock.Function());
    auto pFirst = std::make_shared<Item>(Item{4000});
    auto pSecond = std::make_shared<Item>(Item{6000});
    statistic.UpdateItemProgress(pFirst, 4000, 4000);
    statistic.UpdateItemProgress(pSecond, 2500, 6000);
    // The failed attempt's 2500 bytes are taken back as the retry reports
    // from 0 again.
    statistic.UpdateItemProgress(pSecond, 100, 6000);
    EXPECT_EQ(statistic.GetTransferred(), 4100u);
    EXPECT_EQ(statistic.GetCurrentItemBytes(), 100u);
    statistic.UpdateItemProgress(pSecond, 0, 6000);
    EXPECT_EQ(statistic.GetTransferred(), 4000u);
    EXPECT_DOUBLE_EQ(statistic.GetItemFraction(), 0.0);
}

TEST(ProgressStatisticTest, AFileThatWentAwayIsNotTheCurrentOne)
{
    ManualClock clock;
    ProgressStatistic statistic(10000, clock.Function());
    auto pGone = std::make_shared<Item>(Item{1000});
    statistic.UpdateItemProgress(pGone, 500, 1000);
    pGone.reset();
    // The new item may well live at the address of the old one; it still
    // starts at 0 bytes of its own.
    auto pNext = std::make_shared<Item>(Item{1000});
    statistic.UpdateItemProgress(pNext, 200, 1000);
    EXPECT_EQ(statistic.GetTransferred(), 700u);
    EXPECT_EQ(statistic.GetCurrentItemBytes(), 200u);
}

TEST(ProgressStatisticTest, RateAndTimeLeftFollowTheClock)
{
    ManualClock clock;
    ProgressStatistic statistic(10000, clock.Function());
    auto pItem = std::make_shared<Item>(Item{10000});
    EXPECT_EQ(statistic.GetTimeLeft(), 0.0);

    clock.Advance(2000);
    statistic.UpdateItemProgress(pItem, 4000, 10000);
    EXPECT_DOUBLE_EQ(statistic.GetRate(), 2000.0);
    EXPECT_DOUBLE_EQ(statistic.GetTimeLeft(), 3.0);

    clock.Advance(2000);
    statistic.UpdateItemProgress(pItem, 5000, 10000);
    EXPECT_DOUBLE_EQ(statistic.GetRate(), 1250.0);
    EXPECT_DOUBLE_EQ(statistic.GetTimeLeft(), 4.0);

    // More bytes than declared: nothing left to wait for, not an unsigned
    // difference wrapped round to centuries.
    clock.Advance(1000);
    statistic.UpdateItemProgress(pItem, 12000, 10000);
    EXPECT_EQ(statistic.GetTimeLeft(), 0.0);
}

TEST(ProgressStatisticTest, NonFiniteValuesAreReportedAsComputed)
{
    ManualClock clock;
    auto pItem = std::make_shared<Item>(Item{0});
    // No time elapsed, no bytes: 0 / 0.
    {
        ProgressStatistic statistic(0, clock.Function());
        statistic.UpdateItemProgress(pItem, 0, 0);
        EXPECT_TRUE(std::isnan(statistic.GetRate()));
        EXPECT_TRUE(std::isnan(statistic.GetItemFraction()));
        EXPECT_TRUE(std::isnan(statistic.GetTotalFraction()));
        EXPECT_EQ(statistic.GetTimeLeft(), 0.0);
    }
    // No time elapsed, some bytes, nothing declared: infinities.
    {
        ProgressStatistic statistic(0, clock.Function());
        statistic.UpdateItemProgress(pItem, 10, 0);
        EXPECT_TRUE(std::isinf(statistic.GetRate()));
        EXPECT_TRUE(std::isinf(statistic.GetItemFraction()));
        EXPECT_TRUE(std::isinf(statistic.GetTotalFraction()));
        EXPECT_EQ(statistic.GetTimeLeft(), 0.0);
    }
}

TEST(ProgressStatisticTest, NullItemsAreRefusedAndRecorded)
{
    ProgressStatistic statistic(100);
    const std::uint32_t uintThread = core::CurrentThreadId();
    core::ExceptionManager::ClearException(uintThread);
    try {
        statistic.CancelItemProgress(nullptr, 10);
        FAIL() << "no exception";
    } catch (const core::ArgumentNullPointerException& exception) {
        EXPECT_STREQ(exception.GetFunction(), L"ProgressStatistic::CancelItemProgress");
    }
    const auto pRecorded = core::ExceptionManager::GetException(uintThread);
    ASSERT_NE(pRecorded, nullptr);
    EXPECT_EQ(pRecorded->GetTypeId(), core::ArgumentNullPointerException::kTypeId);
    EXPECT_EQ(statistic.GetTotal(), 100u);

    EXPECT_THROW(statistic.UpdateItemProgress(nullptr, 1, 1), core::ArgumentNullPointerException);
    EXPECT_EQ(statistic.GetTransferred(), 0u);
    core::ExceptionManager::ClearException(uintThread);
}

}  // namespace
}  // namespace pullbay::ui
