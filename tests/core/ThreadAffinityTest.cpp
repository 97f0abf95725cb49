// The owner-thread check: who owns, who binds first, and that a call from
// another thread ends a debug build while a release build lets it through.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "core/ThreadAffinity.h"
#include "core/ThreadId.h"

namespace pullbay::core {
namespace {

class Gadget {
public:
    void Touch()
    {
        PB_ASSERT_OWNER_THREAD(m_owner);
        ++m_intTouches;
    }
    int m_intTouches = 0;

private:
    ThreadAffinity m_owner;
};

bool AskFromAnotherThread(const ThreadAffinity& affinity)
{
    bool bOwner = true;
    std::thread([&] { bOwner = affinity.IsOwnerThread(); }).join();
    return bOwner;
}

TEST(ThreadAffinityTest, OwnerIsTheConstructingThreadOrTheFirstToAsk)
{
    const ThreadAffinity constructed;
    EXPECT_EQ(constructed.GetOwnerThreadId(), CurrentThreadId());
    EXPECT_TRUE(constructed.IsOwnerThread());
    EXPECT_FALSE(AskFromAnotherThread(constructed));

    const ThreadAffinity unbound(ThreadAffinity::kBindOnFirstUse);
    EXPECT_EQ(unbound.GetOwnerThreadId(), 0u);
    std::uint32_t uintWorker = 0;
    std::thread([&] {
        uintWorker = CurrentThreadId();
        EXPECT_TRUE(unbound.IsOwnerThread());
        EXPECT_TRUE(unbound.IsOwnerThread());
    }).join();
    EXPECT_EQ(unbound.GetOwnerThreadId(), uintWorker);
    EXPECT_FALSE(unbound.IsOwnerThread());
}

TEST(ThreadAffinityTest, ThreadsRacingToBindLeaveExactlyOneOwner)
{
    constexpr int kThreads = 8;
    const ThreadAffinity affinity(ThreadAffinity::kBindOnFirstUse);
    std::latch start(kThreads);
    std::atomic<int> intOwners{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            if (affinity.IsOwnerThread()) {
                ++intOwners;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(intOwners, 1);
}

TEST(ThreadAffinityTest, CallFromAnotherThreadAbortsOnlyInDebugBuilds)
{
    Gadget gadget;
    gadget.Touch();
#ifdef NDEBUG
    std::thread([&] { gadget.Touch(); }).join();
    EXPECT_EQ(gadget.m_intTouches, 2);
#else
    // The child re-runs the binary: forking a process with threads is unsafe.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        std::thread([&] { gadget.Touch(); }).join(),
        "Thread check failed: Gadget::Touch called on thread [0-9]+, owned by thread [0-9]+");
    EXPECT_EQ(gadget.m_intTouches, 1);
#endif
}

}  // namespace
}  // namespace pullbay::core
