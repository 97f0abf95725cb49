#include "tools/BackgroundWorkManager.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

#include "core/Exceptions.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "platform/sync/Event.h"

namespace pullbay::tools {

namespace {

// Workers run at the bottom of the normal priority band (two steps below
// normal, above the idle level): ten nice steps below the thread that starts
// them, never beyond the lowest nice value. QThread::setPriority does nothing
// under SCHED_OTHER, so the nice value is set on the thread's own id.
constexpr int kWorkerNiceIncrement = 10;
constexpr int kLowestNice = 19;

std::atomic<std::uint32_t> g_uintLiveWorkers{0};

std::size_t ThreadCountFor(bool bUseProcessorCount)
{
    // hardware_concurrency may not know the count: 0.
    return bUseProcessorCount ? std::max(1u, std::thread::hardware_concurrency()) : 1u;
}

struct WorkEntry {
    std::shared_ptr<IWorkItem> pItem;
    std::uint64_t uintParameter = 0;
};

void LowerCurrentThreadPriority()
{
    const auto tid = static_cast<id_t>(::gettid());
    errno = 0;
    const int intNice = ::getpriority(PRIO_PROCESS, tid);
    if (intNice == -1 && errno != 0) {
        return;
    }
    // Raising the nice value needs no privilege; should it fail anyway the
    // worker simply runs at normal priority.
    ::setpriority(PRIO_PROCESS, tid, std::min(intNice + kWorkerNiceIncrement, kLowestNice));
}

// Handles the calling thread's pending events once.
// kPumpAllEvents: every pending event, user input included.
// kPumpSelectedEvents: the selection is the provider's private events, timers,
// paint and text; Qt cannot filter by event type while pumping, so this pass
// handles every posted event (the provider's events, update requests, queued
// calls) and every due timer, and holds back all user input. Mouse input,
// which the selection also names, cannot be told apart from keyboard input by
// the event loop's flags, so it waits with it until the barrier ends. There
// is no cap of 100 events: a pass handles what is pending when it starts.
void PumpEvents(std::uint32_t uintMode)
{
    if (uintMode == BackgroundWorkManager::kPumpAllEvents) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

// Handles the calling thread's events, waiting for the next one when none
// is pending (a posted event, a due timer or a wake-up ends the wait).
void PumpEventsUntilWoken(std::uint32_t uintMode)
{
    const auto flags = uintMode == BackgroundWorkManager::kPumpAllEvents
                           ? QEventLoop::AllEvents
                           : QEventLoop::ExcludeUserInputEvents;
    QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents);
}

// Wakes the GUI thread out of a barrier's wait (any thread).
void WakeGuiThread()
{
    if (QCoreApplication* pApplication = QCoreApplication::instance()) {
        if (QAbstractEventDispatcher* pDispatcher =
                QAbstractEventDispatcher::instance(pApplication->thread())) {
            pDispatcher->wakeUp();
        }
    }
}

}  // namespace

// The lists, the barrier and the time-outs: co-owned by the pool, its
// workers and a barrier in progress, so any of them may go last.
class BackgroundWorkManager::SharedState {
public:
    SharedState(std::size_t uintThreadCount, std::uint32_t uintStopWaitMs,
                std::uint32_t uintPumpIntervalMs, std::uint32_t uintIdleWaitMs)
        : m_uintStopWaitMs(uintStopWaitMs),
          // Zero intervals would turn the waits into busy loops.
          m_uintPumpIntervalMs(std::max<std::uint32_t>(uintPumpIntervalMs, 1)),
          m_uintIdleWaitMs(std::max<std::uint32_t>(uintIdleWaitMs, 1))
    {
        for (std::size_t uintIndex = 0; uintIndex < uintThreadCount; ++uintIndex) {
            m_wakeEvents.push_back(std::make_shared<platform::Event>());
        }
    }

    // Any thread.
    bool AddWork(std::shared_ptr<IWorkItem> pWorkItem, std::uint64_t uintParameter)
    {
        // Released after the lock: the last reference may run a destructor
        // that calls back into the pool.
        WorkEntry displaced;
        {
            std::lock_guard lock(m_mutex);
            if (m_bStopping) {
                return false;
            }
            // The same object is the same work; distinct objects never
            // coalesce.
            const auto isSame = [pItem = pWorkItem.get()](const WorkEntry& entry) {
                return entry.pItem.get() == pItem;
            };
            if (std::any_of(m_running.begin(), m_running.end(), isSame)) {
                return false;
            }
            const auto it = std::find_if(m_waiting.begin(), m_waiting.end(), isSame);
            if (it != m_waiting.end()) {
                displaced = std::move(*it);
                m_waiting.erase(it);
            }
            m_waiting.push_back(WorkEntry{std::move(pWorkItem), uintParameter});
        }
        for (const auto& pWake : m_wakeEvents) {
            pWake->Set();
        }
        return true;
    }

    // Worker. The top of the stack moves to the running list.
    std::optional<WorkEntry> TakeNext()
    {
        std::lock_guard lock(m_mutex);
        if (m_bStopping || m_waiting.empty()) {
            return std::nullopt;
        }
        m_running.push_back(std::move(m_waiting.back()));
        m_waiting.pop_back();
        return m_running.back();
    }

    // Worker, after the item has run.
    void FinishRunning(const WorkEntry& finished)
    {
        WorkEntry removed;  // released after the lock
        std::lock_guard lock(m_mutex);
        const auto it =
            std::find_if(m_running.begin(), m_running.end(), [&finished](const WorkEntry& entry) {
                return entry.pItem == finished.pItem &&
                       entry.uintParameter == finished.uintParameter;
            });
        if (it != m_running.end()) {
            removed = std::move(*it);
            m_running.erase(it);
        }
    }

    // Owner's thread, at shutdown. From now on nothing is queued and nothing
    // more is taken; a barrier's lockers are let go. Returns the waiting
    // entries for the caller to release outside the lock.
    std::vector<WorkEntry> Stop()
    {
        std::vector<WorkEntry> dropped;
        std::vector<std::shared_ptr<platform::Event>> releases;
        {
            std::lock_guard lock(m_mutex);
            m_bStopping = true;
            dropped.swap(m_waiting);
            releases = m_barrierReleases;
        }
        for (const auto& pRelease : releases) {
            pRelease->Set();
        }
        return dropped;
    }

    bool IsStopping() const
    {
        std::lock_guard lock(m_mutex);
        return m_bStopping;
    }

    // Barrier side, on the barrier's thread. The release events of the
    // lockers are kept here so that a shutdown during the barrier frees the
    // workers they block. False when the pool is stopping.
    bool KeepRelease(std::shared_ptr<platform::Event> pRelease)
    {
        std::lock_guard lock(m_mutex);
        if (m_bStopping) {
            return false;
        }
        m_barrierReleases.push_back(std::move(pRelease));
        return true;
    }
    void ReleaseKept()
    {
        std::vector<std::shared_ptr<platform::Event>> releases;
        {
            std::lock_guard lock(m_mutex);
            releases.swap(m_barrierReleases);
        }
        for (const auto& pRelease : releases) {
            pRelease->Set();
        }
    }

    std::size_t GetThreadCount() const { return m_wakeEvents.size(); }
    std::shared_ptr<platform::Event> SharedWakeEvent(std::size_t uintIndex) const
    {
        return m_wakeEvents[uintIndex];
    }

    const std::uint32_t m_uintStopWaitMs;
    const std::uint32_t m_uintPumpIntervalMs;
    const std::uint32_t m_uintIdleWaitMs;
    std::atomic<std::uint32_t> m_uintPumpMode{kPumpSelectedEvents};
    // The barrier lock. Only ever tried, and tried again on the same thread
    // by a barrier started from an event that the first one pumps: a
    // std::mutex may not be try-locked by its owner, a flag may.
    std::atomic_flag m_barrierHeld;

private:
    mutable std::mutex m_mutex;        // guards the members below
    std::vector<WorkEntry> m_waiting;  // a stack: the end is the top
    std::vector<WorkEntry> m_running;
    std::vector<std::shared_ptr<platform::Event>> m_barrierReleases;
    bool m_bStopping = false;
    // Fixed at construction; each worker's record holds its own too.
    std::vector<std::shared_ptr<platform::Event>> m_wakeEvents;
};

// One per worker; shared by the pool and the worker's thread.
class BackgroundWorkManager::ThreadRecord {
public:
    ThreadRecord(std::shared_ptr<platform::Event> pWake, std::shared_ptr<SharedState> pPool)
        : m_pWake(std::move(pWake)), m_pPool(std::move(pPool))
    {
    }

    std::thread m_thread;                            // owner's thread only
    const std::shared_ptr<platform::Event> m_pWake;  // auto-reset
    std::atomic<std::uint32_t> m_uintThreadId{0};
    std::atomic<bool> m_bStop{false};
    const std::shared_ptr<SharedState> m_pPool;
    platform::Event m_started;      // the worker has taken up its id and priority
    platform::Event m_ended{true};  // manual-reset: the worker is leaving
};

// The barrier in progress, on the barrier's thread: holds the barrier lock
// and lets every locker go when it ends, however it ends.
class BackgroundWorkManager::PoolLocker {
public:
    // Keeps a worker busy until the barrier lets it go.
    class WorkItem final : public IWorkItem {
    public:
        explicit WorkItem(std::shared_ptr<platform::Event> pRelease)
            : m_pRelease(std::move(pRelease))
        {
        }

        long Execute(std::uint64_t) override
        {
            m_started.Set();
            WakeGuiThread();
            m_pRelease->Wait();
            return 0;
        }
        bool WaitStarted(std::uint32_t uintTimeOutMs) { return m_started.Wait(uintTimeOutMs); }

    private:
        const std::shared_ptr<platform::Event> m_pRelease;
        platform::Event m_started;
    };

    explicit PoolLocker(std::shared_ptr<SharedState> pState)
        : m_pState(std::move(pState)), m_bHeld(!m_pState->m_barrierHeld.test_and_set())
    {
    }
    ~PoolLocker()
    {
        if (m_bHeld) {
            m_pState->ReleaseKept();
            m_pState->m_barrierHeld.clear();
        }
    }
    PoolLocker(const PoolLocker&) = delete;
    PoolLocker& operator=(const PoolLocker&) = delete;

    bool IsHeld() const { return m_bHeld; }

    // Queues one locker; null when the pool no longer takes work.
    std::shared_ptr<WorkItem> Submit()
    {
        auto pRelease = std::make_shared<platform::Event>();
        if (!m_pState->KeepRelease(pRelease)) {
            return nullptr;
        }
        auto pLocker = std::make_shared<WorkItem>(pRelease);
        if (!m_pState->AddWork(pLocker, 0)) {
            return nullptr;
        }
        return pLocker;
    }

private:
    const std::shared_ptr<SharedState> m_pState;
    const bool m_bHeld;
};

BackgroundWorkManager::BackgroundWorkManager(bool bUseProcessorCount, std::uint32_t uintStopWaitMs,
                                             std::uint32_t uintPumpIntervalMs,
                                             std::uint32_t uintIdleWaitMs)
    : m_pState(std::make_shared<SharedState>(ThreadCountFor(bUseProcessorCount), uintStopWaitMs,
                                             uintPumpIntervalMs, uintIdleWaitMs))
{
    for (std::size_t uintIndex = 0; uintIndex < m_pState->GetThreadCount(); ++uintIndex) {
        m_records.push_back(
            std::make_shared<ThreadRecord>(m_pState->SharedWakeEvent(uintIndex), m_pState));
    }
}

BackgroundWorkManager::~BackgroundWorkManager()
{
    PB_ASSERT_OWNER_THREAD(m_ownerThread);
    // Released last, on this thread and outside the lock.
    const std::vector<WorkEntry> dropped = m_pState->Stop();
    for (const auto& pRecord : m_records) {
        pRecord->m_bStop = true;
        pRecord->m_pWake->Set();
    }
    for (const auto& pRecord : m_records) {
        std::thread& thread = pRecord->m_thread;
        if (!thread.joinable()) {
            continue;
        }
        if (thread.get_id() == std::this_thread::get_id()) {
            // Destroyed by its own worker: it cannot wait for itself.
            thread.detach();
        } else if (pRecord->m_ended.Wait(m_pState->m_uintStopWaitMs)) {
            thread.join();
        } else {
            // Still inside an item. A thread cannot be killed safely here, so
            // it is left to finish that item; it holds its record and the
            // shared state and never comes back to this object.
            thread.detach();
        }
    }
}

void BackgroundWorkManager::Start()
{
    PB_ASSERT_OWNER_THREAD(m_ownerThread);
    if (m_bStarted) {
        return;
    }
    m_bStarted = true;
    // No ideal processor: on Linux affinity is a hard binding, not a hint,
    // and the scheduler spreads the workers well enough.
    for (const auto& pRecord : m_records) {
        pRecord->m_bStop = false;
        g_uintLiveWorkers.fetch_add(1);
        try {
            pRecord->m_thread = std::thread(&BackgroundWorkManager::RunThread, pRecord);
        } catch (const std::system_error&) {
            g_uintLiveWorkers.fetch_sub(1);
            PB_THROW(core::UnexpectedException, L"Cannot start a worker thread");
        }
        // Its id must be known before a barrier asks whether it runs on a worker.
        pRecord->m_started.Wait();
        ++m_uintStartedCount;
    }
}

bool BackgroundWorkManager::AddWork(std::shared_ptr<IWorkItem> pWorkItem,
                                    std::uint64_t uintParameter)
{
    if (pWorkItem == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pWorkItem");
    }
    return m_pState->AddWork(std::move(pWorkItem), uintParameter);
}

void BackgroundWorkManager::WaitForRunningWork()
{
    // Asked before the barrier lock is tried, so that a worker's call never
    // holds the lock for a moment and turns away the GUI thread's barrier.
    if (IsWorkerThread()) {
        return;
    }
    PB_ASSERT_OWNER_THREAD(m_ownerThread);
    if (m_uintStartedCount == 0) {
        return;
    }
    // An event handled below may destroy the pool: from the first pump on,
    // only these locals are used.
    const std::shared_ptr<SharedState> pState = m_pState;
    const std::size_t uintWorkers = m_uintStartedCount;
    PoolLocker locker(pState);
    if (!locker.IsHeld()) {
        return;
    }
    // With an event loop the barrier sleeps in it: a call the worker posts
    // to the GUI thread wakes it at once (a synchronous GUI-thread call
    // would otherwise wait for the next pump, up to 100 ms, and a run of
    // many files would crawl), a started locker wakes it too, and the timer
    // keeps the pump at least every interval.
    const bool bEventLoop = QCoreApplication::instance() != nullptr;
    std::unique_ptr<QTimer> pPumpTimer;
    if (bEventLoop) {
        pPumpTimer = std::make_unique<QTimer>();
        pPumpTimer->start(static_cast<int>(pState->m_uintPumpIntervalMs));
    }
    // The work stack puts each locker next in line; a started locker blocks
    // its worker, so the next one lands on another worker.
    for (std::size_t uintIndex = 0; uintIndex < uintWorkers; ++uintIndex) {
        std::shared_ptr<PoolLocker::WorkItem> pLocker = locker.Submit();
        if (pLocker == nullptr) {
            return;
        }
        while (!pLocker->WaitStarted(bEventLoop ? 0 : pState->m_uintPumpIntervalMs)) {
            if (bEventLoop) {
                PumpEventsUntilWoken(pState->m_uintPumpMode);
            } else {
                PumpEvents(pState->m_uintPumpMode);
            }
            if (pState->IsStopping()) {
                return;
            }
        }
    }
    // Every worker is parked on a locker: the work running at the start has
    // ended. Leaving the scope lets the lockers go.
}

void BackgroundWorkManager::SetPumpMode(std::uint32_t uintMode)
{
    m_pState->m_uintPumpMode = uintMode;
}

std::uint32_t BackgroundWorkManager::GetLiveWorkerCount()
{
    return g_uintLiveWorkers;
}

bool BackgroundWorkManager::IsWorkerThread() const
{
    const std::uint32_t uintCurrent = core::CurrentThreadId();
    return std::any_of(m_records.begin(), m_records.end(), [uintCurrent](const auto& pRecord) {
        return pRecord->m_uintThreadId == uintCurrent;
    });
}

void BackgroundWorkManager::RunThread(std::shared_ptr<ThreadRecord> pRecord)
{
    {
        // Nothing leaves the thread: an escaping exception would end the process.
        try {
            ThreadProc(pRecord.get());
        } catch (const core::Exception& failure) {
            core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
        } catch (...) {
            core::RecordForeignFailure();
        }
        pRecord->m_ended.Set();
        // A detached worker may hold the last references to its record and
        // the shared state: they go here, before the thread counts as gone.
        pRecord.reset();
    }
    g_uintLiveWorkers.fetch_sub(1);
}

long BackgroundWorkManager::ThreadProc(ThreadRecord* pParam)
{
    if (pParam == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pParam");
    }
    // There is no apartment to enter on Linux; the worker only takes up its
    // id and its priority before it starts on the work stack.
    pParam->m_uintThreadId = core::CurrentThreadId();
    LowerCurrentThreadPriority();
    pParam->m_started.Set();
    ProcessWorkQueue(pParam);
    return 0;
}

void BackgroundWorkManager::ProcessWorkQueue(ThreadRecord* pThreadInfo)
{
    if (pThreadInfo == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pThreadInfo");
    }
    SharedState& state = *pThreadInfo->m_pPool;
    while (!pThreadInfo->m_bStop) {
        std::optional<WorkEntry> entry = state.TakeNext();
        if (!entry) {
            pThreadInfo->m_pWake->Wait(state.m_uintIdleWaitMs);
            continue;
        }
        // A failing item never ends the worker: it is recorded for this
        // thread and the worker moves on.
        try {
            entry->pItem->Execute(entry->uintParameter);
        } catch (const core::Exception& failure) {
            core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
        } catch (...) {
            core::RecordForeignFailure();
        }
        state.FinishRunning(*entry);
        // The last reference may be this one: the item goes here, unlocked.
        entry.reset();
    }
}

}  // namespace pullbay::tools
