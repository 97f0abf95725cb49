// Calls carried from workers onto the GUI thread (the test's main thread):
// order, batching, waiting, repeats, failures and tear-down.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/Exceptions.h"
#include "core/HappensBefore.h"
#include "core/ThrowSite.h"
#include "platform/sync/Event.h"
#include "tools/GuiThreadContextProvider.h"
#include "tools/WorkHolderBase.h"

namespace pullbay::tools {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kInfinite = GuiThreadContextProvider::kInfinite;

// Polls the condition for up to 10 s, pumping the GUI thread's events or
// (bPump false) leaving the GUI thread deaf meanwhile.
template <typename Predicate>
bool PumpUntil(Predicate predicate, bool bPump = true)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!predicate() && std::chrono::steady_clock::now() < deadline) {
        if (bPump) {
            QCoreApplication::processEvents();
        }
        std::this_thread::sleep_for(1ms);
    }
    return predicate();
}

// A thread joined while the GUI thread keeps pumping.
class Worker {
public:
    explicit Worker(std::function<void()> body)
        : m_thread([this, body = std::move(body)] {
              body();
              m_bDone = true;
          })
    {
    }
    ~Worker()
    {
        PumpUntil([this] { return IsDone(); });
        m_thread.join();
    }
    bool IsDone() const { return m_bDone; }

private:
    std::atomic<bool> m_bDone{false};
    std::thread m_thread;
};
using Workers = std::vector<std::unique_ptr<Worker>>;

bool AllDone(const Workers& workers)
{
    return std::all_of(workers.begin(), workers.end(), [](const auto& p) { return p->IsDone(); });
}

std::shared_ptr<IWorkHolderExecutor> Call(std::function<void()> routine)
{
    return MakeWorkHolder<0, void()>(std::move(routine));
}

// One worker per call (routine, synchronous); each queues after the previous
// one has posted while the GUI thread is deaf: one batch in this order awaits.
Workers QueueInOrder(GuiThreadContextProvider& provider,
                     std::vector<std::pair<std::function<void()>, bool>> calls)
{
    Workers workers;
    const std::uint32_t uintPostsBefore = provider.GetRunPendingCallsPostCount();
    for (auto& [routine, bSynchronous] : calls) {
        workers.push_back(
            std::make_unique<Worker>([&provider, pCall = Call(routine), bSync = bSynchronous] {
                provider.CallFromGuiThread(pCall, bSync);
            }));
        const auto uintPosts = uintPostsBefore + workers.size();
        EXPECT_TRUE(
            PumpUntil([&] { return provider.GetRunPendingCallsPostCount() >= uintPosts; }, false));
    }
    return workers;
}

// Counts the private events as the GUI thread receives them.
class DeliveryCounter : public QObject {
public:
    DeliveryCounter() { QCoreApplication::instance()->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        // Sees the provider's events before the receiver does.
        core::HappensAfter(pEvent);
        m_uintRuns += pEvent->type() == GuiThreadContextProvider::RunPendingCallsEventType();
        m_uintTearDowns += pEvent->type() == GuiThreadContextProvider::TearDownEventType();
        return false;
    }
    std::atomic<std::uint32_t> m_uintRuns{0};
    std::atomic<std::uint32_t> m_uintTearDowns{0};
};

TEST(GuiThreadContextProviderTest, RunsAtOnceOnTheGuiThreadEvenInsideAQueuedCall)
{
    GuiThreadContextProvider provider(nullptr, kInfinite);
    const auto pDouble =
        MakeWorkHolder<1, long(long)>([](long intValue) { return 2 * intValue; }, 21L);
    EXPECT_EQ(provider.CallFromGuiThread(pDouble, false), 42);
    EXPECT_THROW(provider.CallFromGuiThread(nullptr, true), core::ArgumentNullPointerException);

    long intInner = 0;
    Worker worker([&] {
        const auto pOuter = Call([&] { intInner = provider.CallFromGuiThread(pDouble, true); });
        provider.CallFromGuiThread(pOuter, true);
    });
    EXPECT_TRUE(PumpUntil([&] { return intInner == 42; }));
}

TEST(GuiThreadContextProviderTest, CallsFromWorkersRunInArrivalOrderInOneBatch)
{
    // No repeats within the test's time: one handling must release every caller.
    GuiThreadContextProvider provider(nullptr, kInfinite, 60000);
    DeliveryCounter counter;
    std::vector<int> order;
    std::vector<std::uint32_t> runEventsSeen;
    const auto record = [&](int intCall) {
        return std::make_pair(std::function<void()>([&, intCall] {
                                  order.push_back(intCall);
                                  runEventsSeen.push_back(counter.m_uintRuns);
                              }),
                              false);
    };
    Workers workers = QueueInOrder(provider, {record(0), record(1), record(2)});
    EXPECT_TRUE(PumpUntil([&] { return AllDone(workers); }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(runEventsSeen, (std::vector<std::uint32_t>{1, 1, 1}));
}

TEST(GuiThreadContextProviderTest, SynchronousCallerWaitsForTheRunAsynchronousOnlyForTheAcknowledge)
{
    GuiThreadContextProvider provider(nullptr, kInfinite);
    std::atomic<bool> bRan{false};
    std::atomic<bool> bRanBeforeReturn{false};
    Worker([&] {
        provider.CallFromGuiThread(Call([&] { bRan = true; }), true);
        bRanBeforeReturn = bRan.load();
    });
    EXPECT_TRUE(bRanBeforeReturn);

    // This call waits for its caller to return: it would time out if the
    // asynchronous caller waited for it.
    platform::Event callerReturned;
    std::atomic<bool> bCallerReturnedFirst{false};
    Worker([&] {
        provider.CallFromGuiThread(Call([&] { bCallerReturnedFirst = callerReturned.Wait(5000); }),
                                   false);
        callerReturned.Set();
    });
    EXPECT_TRUE(bCallerReturnedFirst);
}

TEST(GuiThreadContextProviderTest, TimedOutCallerStillWaitsWhileItsCallRuns)
{
    GuiThreadContextProvider provider(nullptr, 10);
    // A slow call, and behind it in the same batch one that answers into a
    // slot on its caller's stack: the call must not outlive that slot.
    Workers workers = QueueInOrder(provider, {{[] { std::this_thread::sleep_for(200ms); }, false}});
    std::atomic<bool> bAnswered{false};
    workers.push_back(std::make_unique<Worker>([&] {
        int intAnswer = 0;
        provider.CallFromGuiThread(
            MakeWorkHolder<1, void(int&)>([](int& intOut) { intOut = 1; }, intAnswer), true);
        bAnswered = intAnswer == 1;
    }));
    ASSERT_TRUE(PumpUntil([&] { return provider.GetRunPendingCallsPostCount() >= 2; }, false));
    EXPECT_TRUE(PumpUntil([&] { return AllDone(workers); }));
    EXPECT_TRUE(bAnswered);
}

TEST(GuiThreadContextProviderTest, RepostsUntilTheGuiThreadAcknowledges)
{
    GuiThreadContextProvider provider(nullptr, kInfinite, 20);
    DeliveryCounter counter;
    int intRuns = 0;
    Worker worker([&] { provider.CallFromGuiThread(Call([&] { ++intRuns; }), false); });

    ASSERT_TRUE(PumpUntil([&] { return provider.GetRunPendingCallsPostCount() >= 3; }, false));
    EXPECT_FALSE(worker.IsDone());
    ASSERT_TRUE(PumpUntil([&] { return worker.IsDone(); }));
    const std::uint32_t uintPosts = provider.GetRunPendingCallsPostCount();
    EXPECT_TRUE(PumpUntil([&] { return counter.m_uintRuns == uintPosts; }));
    EXPECT_EQ(intRuns, 1);
}

TEST(GuiThreadContextProviderTest, ThrowingCallIsRecordedAndReleasesEveryCaller)
{
    const std::pair<std::function<void()>, const wchar_t*> cases[] = {
        {[] { throw core::AbortedException(L"Test::Fail", L"test", 1); }, L"AbortedException"},
        {[] { throw std::runtime_error("broken"); }, L"UnexpectedException"},
        {[] { throw 7; }, L"UnexpectedException"},
    };
    for (const auto& [fail, strRecordedClass] : cases) {
        SCOPED_TRACE(testing::Message() << "recorded as " << strRecordedClass);
        core::ClearRecordedFailure();
        GuiThreadContextProvider provider(nullptr, kInfinite);
        int intFirstBehind = 0;
        int intSecondBehind = 0;
        Workers workers = QueueInOrder(
            provider,
            {{fail, true}, {[&] { ++intFirstBehind; }, false}, {[&] { ++intSecondBehind; }, true}});
        EXPECT_TRUE(PumpUntil([&] { return AllDone(workers); }));
        EXPECT_EQ(intFirstBehind, 1);
        EXPECT_EQ(intSecondBehind, 1);
        const auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
        ASSERT_NE(pRecord, nullptr);
        EXPECT_STREQ(pRecord->GetClassName(), strRecordedClass);
    }
    core::ClearRecordedFailure();
}

TEST(GuiThreadContextProviderTest, ConstructionOffTheGuiThreadIsRefused)
{
    std::wstring strMessage;
    std::wstring strRecorded;
    std::thread([&] {
        try {
            GuiThreadContextProvider provider(nullptr, kInfinite);
        } catch (const core::UnexpectedException& failure) {
            strMessage = failure.GetMessage();
        }
        if (const auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId())) {
            strRecorded = pRecord->GetClassName();
        }
        core::ClearRecordedFailure();
    }).join();
    EXPECT_TRUE(
        strMessage.ends_with(L" Additional info: Object must be created from the GUI thread"));
    EXPECT_EQ(strRecorded, L"UnexpectedException");
}

TEST(GuiThreadContextProviderTest, DestructionOnAWorkerWaitsForTheTearDownOnTheGuiThread)
{
    DeliveryCounter counter;
    std::atomic<std::uint32_t> uintTearDownsSeen{0};
    Worker([&, pOwner = std::make_shared<GuiThreadContextProvider>(nullptr, kInfinite)]() mutable {
        pOwner.reset();
        uintTearDownsSeen = counter.m_uintTearDowns.load();
    });
    EXPECT_GE(uintTearDownsSeen, 1u);
}

TEST(GuiThreadContextProviderTest, ReleasedInsideItsOwnBatchDropsTheRestAndReleasesTheirCallers)
{
    // The callers reach the provider through its owner, as the control's
    // event raiser does, and the page may destroy the control in an event.
    auto pProvider = std::make_shared<GuiThreadContextProvider>(nullptr, kInfinite);
    bool bBehindRan = false;
    Workers workers = QueueInOrder(
        *pProvider, {{[&] { pProvider.reset(); }, true}, {[&] { bBehindRan = true; }, true}});
    EXPECT_TRUE(PumpUntil([&] { return AllDone(workers); }));
    EXPECT_EQ(pProvider, nullptr);
    EXPECT_FALSE(bBehindRan);
}

}  // namespace
}  // namespace pullbay::tools
