// The worker pool: stack order, coalescing, failing items, the barrier with
// the GUI thread (the test's main thread) kept responsive, priority and
// shutdown.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "platform/sync/Event.h"
#include "tools/BackgroundWorkManager.h"
#include "tools/GuiThreadContextProvider.h"
#include "tools/WorkHolderBase.h"

namespace pullbay::tools {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class FunctionItem : public IWorkItem {
public:
    explicit FunctionItem(std::function<void()> body) : m_body(std::move(body)) {}
    long Execute(std::uint64_t) override
    {
        m_body();
        ++m_intRuns;
        return 0;
    }
    std::atomic<int> m_intRuns{0};

private:
    std::function<void()> m_body;
};

std::shared_ptr<FunctionItem> Item(std::function<void()> body = [] {})
{
    return std::make_shared<FunctionItem>(std::move(body));
}

// Polls for up to 10 s, handling the GUI thread's events meanwhile.
template <typename Predicate>
bool PumpUntil(Predicate predicate)
{
    const auto deadline = Clock::now() + 10s;
    while (!predicate() && Clock::now() < deadline) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return predicate();
}

// Records the order in which items ran.
struct Journal {
    std::shared_ptr<FunctionItem> Entry(std::string strName)
    {
        return Item([this, strName] {
            std::lock_guard lock(m_mutex);
            m_names += strName;
        });
    }
    std::string Names()
    {
        std::lock_guard lock(m_mutex);
        return m_names;
    }
    std::mutex m_mutex;
    std::string m_names;
};

// A started pool with one worker held inside a gate item.
struct BlockedPool {
    explicit BlockedPool(std::uint32_t uintStopWaitMs = BackgroundWorkManager::kStopWaitMs,
                         bool bUseProcessorCount = false)
        : m_pPool(std::make_unique<BackgroundWorkManager>(bUseProcessorCount, uintStopWaitMs, 10))
    {
        m_pPool->Start();
        EXPECT_TRUE(m_pPool->AddWork(m_pGate, 0));
        EXPECT_TRUE(m_entered.Wait(10000));
    }
    platform::Event m_entered;
    platform::Event m_open{true};
    std::shared_ptr<FunctionItem> m_pGate = Item([this] {
        m_entered.Set();
        m_open.Wait();
    });
    std::unique_ptr<BackgroundWorkManager> m_pPool;
};

TEST(BackgroundWorkManagerTest, RunsWaitingWorkLastInFirstOutAndCoalescesDuplicates)
{
    struct Case {
        const char* strSubmissions;
        const char* strExpected;
    };
    for (const Case& test : {Case{"ABC", "CBA"}, Case{"ABA", "AB"}, Case{"AABBA", "AB"}}) {
        SCOPED_TRACE(test.strSubmissions);
        Journal journal;
        std::shared_ptr<FunctionItem> items[] = {journal.Entry("A"), journal.Entry("B"),
                                                 journal.Entry("C")};
        BlockedPool blocked;
        for (const char* p = test.strSubmissions; *p != '\0'; ++p) {
            EXPECT_TRUE(blocked.m_pPool->AddWork(items[*p - 'A'], 0));
        }
        // The running gate is refused and not run again.
        EXPECT_FALSE(blocked.m_pPool->AddWork(blocked.m_pGate, 0));
        blocked.m_open.Set();
        const std::string strExpected = test.strExpected;
        EXPECT_TRUE(PumpUntil([&] { return journal.Names().size() >= strExpected.size(); }));
        blocked.m_pPool.reset();
        EXPECT_EQ(journal.Names(), strExpected);
        EXPECT_EQ(blocked.m_pGate->m_intRuns, 1);
    }
}

TEST(BackgroundWorkManagerTest, FailingItemsAreRecordedAndTheWorkerGoesOn)
{
    struct Case {
        const char* strName;
        std::function<void()> fail;
        std::uint32_t uintRecordedType;
    };
    const Case cases[] = {
        {"std", [] { throw std::runtime_error("foreign"); }, core::UnexpectedException::kTypeId},
        {"int", [] { throw 7; }, core::UnexpectedException::kTypeId},
        {"own", [] { PB_THROW(core::TimeOutException); }, core::TimeOutException::kTypeId},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.strName);
        std::atomic<std::uint32_t> uintWorkerId{0};
        auto pFailing = Item([&] {
            uintWorkerId = core::CurrentThreadId();
            core::ClearRecordedFailure();
            test.fail();
        });
        auto pNext = Item();
        BlockedPool blocked;
        ASSERT_TRUE(blocked.m_pPool->AddWork(pNext, 0));
        ASSERT_TRUE(blocked.m_pPool->AddWork(pFailing, 0));
        blocked.m_open.Set();
        ASSERT_TRUE(PumpUntil([&] { return pNext->m_intRuns == 1; }));
        const auto pRecord = core::ExceptionManager::GetException(uintWorkerId);
        ASSERT_NE(pRecord, nullptr);
        EXPECT_EQ(pRecord->GetTypeId(), test.uintRecordedType);
        // It left the running list: a new submission is taken.
        EXPECT_TRUE(blocked.m_pPool->AddWork(pFailing, 0));
    }
}

TEST(BackgroundWorkManagerTest, BarrierWaitsForRunningWorkWhileTheGuiThreadHandlesItsEvents)
{
    for (const std::uint32_t uintMode :
         {BackgroundWorkManager::kPumpAllEvents, BackgroundWorkManager::kPumpSelectedEvents}) {
        SCOPED_TRACE(uintMode);
        GuiThreadContextProvider provider(nullptr, GuiThreadContextProvider::kInfinite);
        BackgroundWorkManager pool(false, BackgroundWorkManager::kStopWaitMs, 10);
        pool.SetPumpMode(uintMode);
        pool.Start();
        // The running item needs the GUI thread twice: a synchronous call and a timer.
        platform::Event entered;
        platform::Event timerFired{true};
        std::atomic<bool> bGuiCallRan{false};
        auto pRunning = Item([&] {
            entered.Set();
            provider.CallFromGuiThread(MakeWorkHolder<0, void()>([&] { bGuiCallRan = true; }),
                                       true);
            timerFired.Wait();
        });
        platform::Event laterOpen{true};
        auto pWaiting = Item([&] { laterOpen.Wait(); });
        ASSERT_TRUE(pool.AddWork(pRunning, 0));
        ASSERT_TRUE(entered.Wait(10000));
        ASSERT_TRUE(pool.AddWork(pWaiting, 0));

        QObject context;
        QTimer::singleShot(20ms, &context, [&] { timerFired.Set(); });
        // Should the barrier wait for the waiting item too, it fails here instead of hanging.
        QTimer::singleShot(10s, &context, [&] { laterOpen.Set(); });
        pool.WaitForRunningWork();
        EXPECT_TRUE(bGuiCallRan);
        EXPECT_EQ(pRunning->m_intRuns, 1);
        EXPECT_EQ(pWaiting->m_intRuns, 0);
        laterOpen.Set();
        EXPECT_TRUE(PumpUntil([&] { return pWaiting->m_intRuns == 1; }));

        // With the worker idle the barrier passes, and leaves the worker free.
        pool.WaitForRunningWork();
        auto pAfter = Item();
        ASSERT_TRUE(pool.AddWork(pAfter, 0));
        EXPECT_TRUE(PumpUntil([&] { return pAfter->m_intRuns == 1; }));
    }
}

TEST(BackgroundWorkManagerTest, BarrierServesEachGuiCallAtOnceNotAtTheNextPump)
{
    // A pump interval of a minute: were the barrier to serve the worker's
    // synchronous calls only when it pumps, these 50 calls would take
    // 50 minutes and the test would time out; woken by each call, it ends
    // at once.
    GuiThreadContextProvider provider(nullptr, GuiThreadContextProvider::kInfinite);
    BackgroundWorkManager pool(false, BackgroundWorkManager::kStopWaitMs, 60000);
    pool.SetPumpMode(BackgroundWorkManager::kPumpSelectedEvents);
    pool.Start();
    std::atomic<int> intServed{0};
    platform::Event entered;
    auto pEngineLike = Item([&] {
        entered.Set();
        for (int i = 0; i < 50; ++i) {
            provider.CallFromGuiThread(MakeWorkHolder<0, void()>([&] { ++intServed; }), true);
        }
    });
    ASSERT_TRUE(pool.AddWork(pEngineLike, 0));
    ASSERT_TRUE(entered.Wait(10000));
    pool.WaitForRunningWork();
    EXPECT_EQ(intServed, 50);
    EXPECT_EQ(pEngineLike->m_intRuns, 1);
}

TEST(BackgroundWorkManagerTest, BarrierReturnsAtOnceWhereItCannotWait)
{
    // Before Start there is no worker to wait for.
    BackgroundWorkManager(false).WaitForRunningWork();

    // On the only worker, waiting would wait for itself.
    {
        BlockedPool blocked;
        std::atomic<bool> bReturned{false};
        auto pAsks = Item([&] {
            blocked.m_pPool->WaitForRunningWork();
            bReturned = true;
        });
        ASSERT_TRUE(blocked.m_pPool->AddWork(pAsks, 0));
        blocked.m_open.Set();
        EXPECT_TRUE(PumpUntil([&] { return bReturned.load(); }));
    }

    // From an event handled by a barrier in progress, on the same thread.
    {
        BlockedPool blocked;
        bool bInnerReturned = false;
        QObject context;
        QTimer::singleShot(20ms, &context, [&] {
            blocked.m_pPool->WaitForRunningWork();
            bInnerReturned = true;
            blocked.m_open.Set();
        });
        blocked.m_pPool->WaitForRunningWork();
        EXPECT_TRUE(bInnerReturned);
        EXPECT_EQ(blocked.m_pGate->m_intRuns, 1);
    }
}

TEST(BackgroundWorkManagerTest, DestroyingThePoolFromAnEventDuringTheBarrierEndsTheBarrier)
{
    // With two workers or more, the idle ones are parked on lockers by then.
    for (const bool bUseProcessorCount : {false, true}) {
        SCOPED_TRACE(bUseProcessorCount);
        const std::uint32_t uintLiveBefore = BackgroundWorkManager::GetLiveWorkerCount();
        BlockedPool blocked(BackgroundWorkManager::kStopWaitMs, bUseProcessorCount);
        QObject context;
        QTimer::singleShot(100ms, &context, [&] {
            blocked.m_open.Set();
            blocked.m_pPool.reset();
        });
        BackgroundWorkManager* pPool = blocked.m_pPool.get();
        pPool->WaitForRunningWork();
        EXPECT_EQ(blocked.m_pPool, nullptr);
        // Every worker was joined at once, none left blocked on a locker.
        EXPECT_EQ(BackgroundWorkManager::GetLiveWorkerCount(), uintLiveBefore);
    }
}

TEST(BackgroundWorkManagerTest, WorkersRunBelowTheGuiThreadPriority)
{
    const int intGuiNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    if (intGuiNice >= 19) {
        GTEST_SKIP() << "the test already runs at the lowest priority";
    }
    std::atomic<int> intWorkerNice{-100};
    BackgroundWorkManager pool(false);
    pool.Start();
    auto pReads =
        Item([&] { intWorkerNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())); });
    ASSERT_TRUE(pool.AddWork(pReads, 0));
    ASSERT_TRUE(PumpUntil([&] { return pReads->m_intRuns == 1; }));
    EXPECT_GT(intWorkerNice, intGuiNice);
}

TEST(BackgroundWorkManagerTest, ShutdownDetachesAWorkerThatDoesNotEndInTime)
{
    const std::uint32_t uintLiveBefore = BackgroundWorkManager::GetLiveWorkerCount();
    BlockedPool blocked(50);
    auto pQueued = Item();
    const std::weak_ptr<FunctionItem> pQueuedSeen = pQueued;
    ASSERT_TRUE(blocked.m_pPool->AddWork(std::move(pQueued), 0));

    const auto start = Clock::now();
    blocked.m_pPool.reset();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_TRUE(pQueuedSeen.expired());
    EXPECT_EQ(BackgroundWorkManager::GetLiveWorkerCount(), uintLiveBefore + 1);

    // Left to finish its item, the worker then ends on its own.
    blocked.m_open.Set();
    EXPECT_TRUE(
        PumpUntil([&] { return BackgroundWorkManager::GetLiveWorkerCount() == uintLiveBefore; }));
    EXPECT_EQ(blocked.m_pGate->m_intRuns, 1);
}

TEST(BackgroundWorkManagerTest, IdleWorkersPassTheBarrierAndStopWithoutWaitingForTheIdleSlice)
{
    const std::uint32_t uintLiveBefore = BackgroundWorkManager::GetLiveWorkerCount();
    auto pPool = std::make_unique<BackgroundWorkManager>(
        true, BackgroundWorkManager::kStopWaitMs, BackgroundWorkManager::kPumpIntervalMs, 60000);
    pPool->Start();
    EXPECT_EQ(pPool->GetThreadCount(), std::max(1u, std::thread::hardware_concurrency()));
    pPool->WaitForRunningWork();

    const auto start = Clock::now();
    pPool.reset();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(BackgroundWorkManager::GetLiveWorkerCount(), uintLiveBefore);
}

}  // namespace
}  // namespace pullbay::tools
