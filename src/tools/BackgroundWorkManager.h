#pragma once
// A small pool of low-priority worker threads that run IWorkItems: a work
// stack (last submitted, first run), coalescing of duplicate submissions, a
// barrier that lets the GUI thread wait for the running work while it keeps
// handling its events, and a bounded shutdown.
//
// Threads: construct, Start, WaitForRunningWork and destroy on the owner's
// thread (the GUI thread; debug builds abort elsewhere, except that
// WaitForRunningWork returns at once on a worker); AddWork, SetPumpMode and
// the accessors on any thread, workers included.
//
// Ownership. The lists, the lock and the barrier state live in a shared state
// that every worker co-owns with the pool. A worker that does not end within
// the stop time-out is detached (a thread is never killed on Linux) and may
// finish its item after the pool is gone: it then only touches that state and
// its own thread record, never the pool object.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/ThreadAffinity.h"
#include "tools/IWorkItem.h"

namespace pullbay::tools {

class BackgroundWorkManager {
public:
    // Pump modes of the barrier.
    static constexpr std::uint32_t kPumpAllEvents = 0;
    static constexpr std::uint32_t kPumpSelectedEvents = 1;

    // Each worker gets this long to end at shutdown before it is detached.
    static constexpr std::uint32_t kStopWaitMs = 6000;
    // The barrier handles the caller's events after every wait of this length.
    static constexpr std::uint32_t kPumpIntervalMs = 100;
    // An idle worker looks at its stop flag at least this often.
    static constexpr std::uint32_t kIdleWaitMs = 3000;

    // Owner's thread. One worker, or one per processor when
    // bUseProcessorCount is set. No thread starts before Start. The pump mode
    // starts as kPumpSelectedEvents. Tests shorten the time-outs.
    explicit BackgroundWorkManager(bool bUseProcessorCount,
                                   std::uint32_t uintStopWaitMs = kStopWaitMs,
                                   std::uint32_t uintPumpIntervalMs = kPumpIntervalMs,
                                   std::uint32_t uintIdleWaitMs = kIdleWaitMs);
    // Owner's thread, never a worker of this pool. Stops every worker; one
    // that does not end within the stop time-out is detached and left to
    // finish its item. Work still waiting is released without being run.
    ~BackgroundWorkManager();

    BackgroundWorkManager(const BackgroundWorkManager&) = delete;
    BackgroundWorkManager& operator=(const BackgroundWorkManager&) = delete;
    BackgroundWorkManager(BackgroundWorkManager&&) = delete;
    BackgroundWorkManager& operator=(BackgroundWorkManager&&) = delete;

    // Owner's thread. Starts the workers, each ten nice steps below the
    // calling thread (at most 19), and returns once each has taken up its
    // thread id and priority. A second call does nothing: there
    // is no restart.
    void Start();

    // Any thread. Pushes the item on the work stack and wakes the workers.
    // False, and nothing queued, when the same item is running or the pool
    // is shutting down. The same item still waiting is replaced: the new
    // entry goes to the top of the stack. Distinct items never coalesce.
    // A null item: ArgumentNullPointerException.
    bool AddWork(std::shared_ptr<IWorkItem> pWorkItem, std::uint64_t uintParameter);

    // GUI thread. Returns once every worker has finished the item it was
    // running when the barrier began (waiting work stays queued), handling
    // the caller's events every pump interval meanwhile. Returns at once when
    // called on a worker, while another barrier is in progress (including
    // from an event handled by this one), or before Start. An event handler
    // may destroy the pool meanwhile: the barrier then returns.
    void WaitForRunningWork();

    // Any thread.
    void SetPumpMode(std::uint32_t uintMode);
    std::size_t GetThreadCount() const { return m_records.size(); }

    // Any thread. The worker threads of every pool in the process that have
    // not yet left their thread procedure, detached ones included.
    static std::uint32_t GetLiveWorkerCount();

private:
    class SharedState;
    class ThreadRecord;
    class PoolLocker;

    static void RunThread(std::shared_ptr<ThreadRecord> pRecord);
    static long ThreadProc(ThreadRecord* pParam);
    static void ProcessWorkQueue(ThreadRecord* pThreadInfo);
    bool IsWorkerThread() const;

    const core::ThreadAffinity m_ownerThread;
    const std::shared_ptr<SharedState> m_pState;
    std::vector<std::shared_ptr<ThreadRecord>> m_records;
    std::size_t m_uintStartedCount = 0;
    bool m_bStarted = false;
};

}  // namespace pullbay::tools
