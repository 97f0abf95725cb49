#include "tools/GuiThreadContextProvider.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "core/Exceptions.h"
#include "core/HappensBefore.h"
#include "core/ThreadAffinity.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "platform/sync/Event.h"

namespace pullbay::tools {

namespace {

struct CallRecord {
    std::shared_ptr<IWorkHolderExecutor> pExecutor;
    // Set once the call has run or has been dropped; null for an
    // asynchronous call. Shared with the waiting caller, which may give up.
    std::shared_ptr<platform::Event> pCompleted;
};

// A queued call's failure stops at the batch: it is recorded for the GUI
// thread, and its caller and the calls behind it carry on.
void RunQueuedCall(IWorkHolderExecutor& executor)
{
    try {
        executor.Execute();
    } catch (const core::Exception& failure) {
        core::ExceptionManager::SetException(core::CurrentThreadId(), failure);
    } catch (...) {
        core::RecordForeignFailure();
    }
}

void ReleaseWaiters(std::vector<CallRecord>& records)
{
    for (CallRecord& record : records) {
        if (record.pCompleted != nullptr) {
            record.pCompleted->Set();
        }
    }
    records.clear();
}

}  // namespace

// What the provider and its receiver share; either may go first.
class GuiThreadContextProvider::SharedState {
public:
    // GUI thread: it becomes the owner.
    SharedState(std::uint32_t uintCompletionTimeOutMs, std::uint32_t uintAcknowledgeWaitMs)
        : m_uintCompletionTimeOutMs(uintCompletionTimeOutMs),
          // A zero interval would turn the wait into a busy loop of posts.
          m_uintAcknowledgeWaitMs(std::max<std::uint32_t>(uintAcknowledgeWaitMs, 1))
    {
    }

    bool IsGuiThread() const { return m_guiThread.IsOwnerThread(); }

    // Any thread. False when the provider is torn down: the call is dropped,
    // as pending calls are at tear-down.
    bool Append(CallRecord record)
    {
        std::lock_guard lock(m_callsMutex);
        if (m_bTornDown) {
            return false;
        }
        m_pending.push_back(std::move(record));
        return true;
    }

    // Any thread. Takes back a call that has not started; waits for a running
    // batch, which holds the mutex, so a call found missing has run (or was
    // dropped) and no longer touches its caller's objects.
    bool Withdraw(const platform::Event* pCompleted)
    {
        std::lock_guard lock(m_callsMutex);
        const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                     [pCompleted](const CallRecord& record) {
                                         return record.pCompleted.get() == pCompleted;
                                     });
        if (it == m_pending.end()) {
            return false;
        }
        m_pending.erase(it);
        return true;
    }

    // Any thread. False once the receiver is gone.
    bool Post(QEvent::Type type)
    {
        std::lock_guard lock(m_receiverMutex);
        if (m_pReceiver == nullptr) {
            return false;
        }
        if (type == RunPendingCallsEventType()) {
            ++m_uintPostCount;
        }
        auto* pEvent = new QEvent(type);
        // Qt's queue orders the post before the delivery, out of
        // ThreadSanitizer's sight.
        core::HappensBefore(pEvent);
        QCoreApplication::postEvent(m_pReceiver, pEvent);
        return true;
    }

    // The acknowledge is a count of private events taken up by the GUI
    // thread. A caller waits for the count to pass the value it saw after
    // queuing: every waiting caller is released by the next handling, and an
    // earlier handling never releases a caller whose call it did not see.
    std::uint64_t GetAcknowledgeCount()
    {
        std::lock_guard lock(m_acknowledgeMutex);
        return m_uintAcknowledged;
    }
    void Acknowledge()
    {
        {
            std::lock_guard lock(m_acknowledgeMutex);
            ++m_uintAcknowledged;
        }
        m_acknowledgeChanged.notify_all();
    }
    bool WaitAcknowledgedAfter(std::uint64_t uintSeen, std::uint32_t uintTimeOutMs)
    {
        std::unique_lock lock(m_acknowledgeMutex);
        const auto acknowledged = [&] { return m_uintAcknowledged > uintSeen; };
        if (uintTimeOutMs == kInfinite) {
            m_acknowledgeChanged.wait(lock, acknowledged);
            return true;
        }
        return m_acknowledgeChanged.wait_for(lock, std::chrono::milliseconds(uintTimeOutMs),
                                             acknowledged);
    }

    // GUI thread: the receiver registers on creation and leaves on deletion,
    // so a worker never posts to a deleted object.
    void Attach(QObject* pReceiver)
    {
        std::lock_guard lock(m_receiverMutex);
        m_pReceiver = pReceiver;
    }
    void Detach()
    {
        std::lock_guard lock(m_receiverMutex);
        m_pReceiver = nullptr;
    }

    // GUI thread, inside the receiver's handler.
    void RunBatch()
    {
        std::lock_guard lock(m_callsMutex);
        std::vector<CallRecord> batch;
        batch.swap(m_pending);
        for (CallRecord& record : batch) {
            // A call of the batch may tear the provider down; the rest is dropped.
            if (!m_bTornDown) {
                RunQueuedCall(*record.pExecutor);
            }
            if (record.pCompleted != nullptr) {
                record.pCompleted->Set();
            }
            record.pExecutor.reset();
        }
    }

    // GUI thread. Pending calls are dropped without running; their waiters
    // are released. The receiver cannot be deleted inside its own handler.
    void TearDown()
    {
        if (m_bTornDown.exchange(true)) {
            return;
        }
        std::vector<CallRecord> dropped;
        {
            std::lock_guard lock(m_callsMutex);
            dropped.swap(m_pending);
        }
        ReleaseWaiters(dropped);
        QObject* pReceiver = nullptr;
        {
            std::lock_guard lock(m_receiverMutex);
            pReceiver = m_pReceiver;
        }
        if (pReceiver == nullptr) {
            return;
        }
        if (m_intHandlerDepth > 0) {
            pReceiver->deleteLater();
        } else {
            delete pReceiver;
        }
    }

    const core::ThreadAffinity m_guiThread;
    const std::uint32_t m_uintCompletionTimeOutMs;
    const std::uint32_t m_uintAcknowledgeWaitMs;
    platform::Event m_batchDone;  // auto-reset: after every batch and the tear-down
    std::atomic<bool> m_bTornDown{false};
    std::atomic<std::uint32_t> m_uintPostCount{0};
    int m_intHandlerDepth = 0;  // GUI thread only: nesting of the receiver's handler

private:
    // Recursive: a queued call that pumps events re-enters the handler.
    std::recursive_mutex m_callsMutex;
    std::vector<CallRecord> m_pending;  // arrival order
    std::mutex m_receiverMutex;
    QObject* m_pReceiver = nullptr;
    std::mutex m_acknowledgeMutex;
    std::condition_variable m_acknowledgeChanged;
    std::uint64_t m_uintAcknowledged = 0;
};

// The Qt side: lives on the GUI thread and handles the private events.
class GuiThreadContextProvider::Receiver final : public QObject {
public:
    explicit Receiver(std::shared_ptr<SharedState> pState) : m_pState(std::move(pState)) {}
    ~Receiver() override { m_pState->Detach(); }

    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

protected:
    bool event(QEvent* pEvent) override
    {
        core::HappensAfter(pEvent);
        const QEvent::Type type = pEvent->type();
        const bool bRun = type == RunPendingCallsEventType();
        if (!bRun && type != TearDownEventType()) {
            return QObject::event(pEvent);
        }
        SharedState& state = *m_pState;
        PB_ASSERT_OWNER_THREAD(state.m_guiThread);
        ++state.m_intHandlerDepth;
        state.Acknowledge();
        if (bRun) {
            state.RunBatch();
        } else {
            state.TearDown();
        }
        --state.m_intHandlerDepth;
        state.m_batchDone.Set();
        return true;
    }

private:
    const std::shared_ptr<SharedState> m_pState;
};

GuiThreadContextProvider::GuiThreadContextProvider(QObject* pParentWindow,
                                                   std::uint32_t uintCompletionTimeOutMs,
                                                   std::uint32_t uintAcknowledgeWaitMs)
{
    const QCoreApplication* pApplication = QCoreApplication::instance();
    if (pApplication == nullptr || QThread::currentThread() != pApplication->thread()) {
        PB_THROW(core::UnexpectedException, L"Object must be created from the GUI thread");
    }
    m_pParentWindow = pParentWindow;
    RunPendingCallsEventType();
    TearDownEventType();
    m_pState = std::make_shared<SharedState>(uintCompletionTimeOutMs, uintAcknowledgeWaitMs);
    // Owned through the state; deleted on the GUI thread by TearDown.
    m_pState->Attach(new Receiver(m_pState));
}

GuiThreadContextProvider::~GuiThreadContextProvider()
{
    if (m_pState->IsGuiThread()) {
        m_pState->TearDown();
        return;
    }
    // Only the GUI thread may delete the receiver: ask it, and wait a while.
    // Should the wait end first, the state outlives this object and the
    // receiver tears down whenever the event arrives.
    SharedState& state = *m_pState;
    state.m_batchDone.Reset();
    const std::uint64_t uintSeen = state.GetAcknowledgeCount();
    bool bPosted = state.Post(TearDownEventType());
    while (bPosted && !state.WaitAcknowledgedAfter(uintSeen, kTearDownRepostMs)) {
        bPosted = state.Post(TearDownEventType());
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kTearDownWaitMs);
    while (!state.m_bTornDown) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        state.m_batchDone.Wait(static_cast<std::uint32_t>(left.count()));
    }
}

long GuiThreadContextProvider::CallFromGuiThread(std::shared_ptr<IWorkHolderExecutor> pExecutor,
                                                 bool bSynchronous)
{
    if (pExecutor == nullptr) {
        PB_THROW(core::ArgumentNullPointerException);
    }
    // Held for the whole call: a queued call may release the provider on the
    // GUI thread while this caller still waits.
    const std::shared_ptr<SharedState> pState = m_pState;
    if (pState->IsGuiThread()) {
        return pExecutor->Execute();
    }

    const std::shared_ptr<platform::Event> pCompleted =
        bSynchronous ? std::make_shared<platform::Event>() : nullptr;
    if (!pState->Append(CallRecord{std::move(pExecutor), pCompleted})) {
        return 0;
    }
    // Posted events are not lost, but the GUI thread may be busy elsewhere;
    // repeats only wake it again (an empty list runs nothing).
    const std::uint64_t uintSeen = pState->GetAcknowledgeCount();
    bool bPosted = pState->Post(RunPendingCallsEventType());
    while (bPosted && !pState->WaitAcknowledgedAfter(uintSeen, pState->m_uintAcknowledgeWaitMs)) {
        bPosted = pState->Post(RunPendingCallsEventType());
    }
    if (pCompleted != nullptr && !pCompleted->Wait(pState->m_uintCompletionTimeOutMs) &&
        pState->Withdraw(pCompleted.get())) {
        PB_THROW(core::TimeOutException);
    }
    return 0;
}

bool GuiThreadContextProvider::IsGuiThread() const
{
    return m_pState->IsGuiThread();
}

std::uint32_t GuiThreadContextProvider::GetRunPendingCallsPostCount() const
{
    return m_pState->m_uintPostCount;
}

QEvent::Type GuiThreadContextProvider::RunPendingCallsEventType()
{
    static const auto type =
        static_cast<QEvent::Type>(QEvent::registerEventType(kRunPendingCallsMessage));
    return type;
}

QEvent::Type GuiThreadContextProvider::TearDownEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType(kTearDownMessage));
    return type;
}

}  // namespace pullbay::tools
