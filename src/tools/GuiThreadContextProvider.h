#pragma once
// Carries calls from worker threads onto the GUI thread (the QApplication's
// thread): a call made on the GUI thread runs at once; a call from another
// thread is queued, the GUI thread is woken by a posted event, and a
// synchronous caller waits until its call has run.
//
// Threads: construct and destroy on the GUI thread (destruction from a worker
// is also safe, see below); CallFromGuiThread from any thread; the accessors
// marked "GUI thread" only there (debug builds abort elsewhere).
//
// Design. The provider itself is plain C++ and may be released on any thread
// (it is shared-owned, and a worker may hold the last reference). Its Qt side
// is a private receiver object that lives on the GUI thread and handles the
// two private events: "run the pending calls" (1194) and "tear down" (1195).
// The pending list, the events and the receiver pointer live in a state
// shared by the provider and the receiver, so neither outlives what it uses.
// The receiver is deleted only on the GUI thread: directly when the provider
// is destroyed there, through deleteLater() when that happens inside one of
// the receiver's own handlers or when the tear-down is requested by a worker.
//
// Batches. The GUI thread holds the list's mutex while it runs a batch, so the
// calls of all workers run strictly in arrival order and a worker that queues
// during a batch waits for it to end. The batch is taken out of the list
// before it runs: a queued call that pumps events (a modal dialog) and so
// re-enters the handler finds the list empty and nothing runs twice. The
// mutex is recursive for that re-entry; a call made on the GUI thread takes
// no lock at all. A queued call that throws is recorded for the GUI thread;
// its synchronous caller is released and the calls behind it still run.
//
// Acknowledge. The GUI thread counts the private events it takes up; a caller
// waits for the count to pass the value it saw after queuing, so one handling
// releases every waiting caller and an earlier one releases none.
#include <QEvent>
#include <QPointer>
#include <cstdint>
#include <memory>

#include "tools/IWorkHolderExecutor.h"

class QObject;

namespace pullbay::tools {

class GuiThreadContextProvider {
public:
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
    // The private messages, used as hints for the registered event types.
    static constexpr int kRunPendingCallsMessage = 1194;
    static constexpr int kTearDownMessage = 1195;
    // A worker re-posts "run the pending calls" at this interval until the
    // GUI thread acknowledges it.
    static constexpr std::uint32_t kAcknowledgeWaitMs = 2000;
    // Destruction from a worker: "tear down" is re-posted at this interval
    // until acknowledged, then the tear-down is awaited at most this long.
    static constexpr std::uint32_t kTearDownRepostMs = 40;
    static constexpr std::uint32_t kTearDownWaitMs = 10000;

    // GUI thread only, else UnexpectedException "Object must be created from
    // the GUI thread". The parent window is only observed (never owned); the
    // completion time-out bounds a synchronous caller's wait (kInfinite: none).
    GuiThreadContextProvider(QObject* pParentWindow, std::uint32_t uintCompletionTimeOutMs,
                             std::uint32_t uintAcknowledgeWaitMs = kAcknowledgeWaitMs);
    ~GuiThreadContextProvider();

    GuiThreadContextProvider(const GuiThreadContextProvider&) = delete;
    GuiThreadContextProvider& operator=(const GuiThreadContextProvider&) = delete;

    // Any thread. On the GUI thread: runs the executor at once and returns its
    // result (exceptions reach the caller). Elsewhere: queues it, returns 0
    // once the GUI thread has acknowledged (asynchronous) or once it has run
    // (synchronous). After the completion time-out a synchronous caller still
    // waits while its call runs (it may write the caller's answer slots); a
    // call that has not started is withdrawn and TimeOutException thrown.
    // A null executor: ArgumentNullPointerException.
    long CallFromGuiThread(std::shared_ptr<IWorkHolderExecutor> pExecutor, bool bSynchronous);

    // Any thread.
    bool IsGuiThread() const;
    // How many "run the pending calls" events were posted, repeats included.
    std::uint32_t GetRunPendingCallsPostCount() const;

    // The registered event types of the two private messages.
    static QEvent::Type RunPendingCallsEventType();
    static QEvent::Type TearDownEventType();

private:
    class Receiver;
    class SharedState;

    std::shared_ptr<SharedState> m_pState;
    QPointer<QObject> m_pParentWindow;
};

}  // namespace pullbay::tools
