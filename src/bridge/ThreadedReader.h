#pragma once
// Reads a file descriptor on a thread of its own and hands what the reading
// loop makes of it to the GUI thread as queued calls, one entry per call and
// in reading order. The entries wait under a lock; once the reader is
// destroyed, nothing more is handed over and queued calls find nothing, so
// a callback may destroy the reader. A thread still blocked in read() when
// the reader goes is left to the process's end: it only touches the part it
// co-owns.
//
// Threads: construct, Start and destroy on the GUI thread, where the
// callback runs; the loop runs on the reading thread and must not touch the
// reader's owner.
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace pullbay::bridge {

template <typename Entry>
class ThreadedReader {
public:
    using OnEntry = std::function<void(Entry entry)>;
    // Reading thread: hand(entry) for each entry, in order; returns once the
    // input ended (the loop hands its last entry itself).
    using Hand = std::function<void(Entry entry)>;
    using ReadLoop = std::function<void(const Hand& hand)>;

    explicit ThreadedReader(OnEntry onEntry)
        : m_onEntry(std::move(onEntry)), m_pShared(std::make_shared<Shared>())
    {
        m_pShared->pContext = &m_context;
    }

    ~ThreadedReader()
    {
        {
            std::lock_guard lock(m_pShared->mutex);
            m_pShared->pContext = nullptr;
        }
        if (m_thread.joinable()) {
            if (m_pShared->bFinished.load()) {
                m_thread.join();
            } else {
                m_thread.detach();
            }
        }
    }
    ThreadedReader(const ThreadedReader&) = delete;
    ThreadedReader& operator=(const ThreadedReader&) = delete;

    void Start(ReadLoop loop)
    {
        m_thread = std::thread([pShared = m_pShared, this, loop = std::move(loop)] {
            // `this` is used only inside calls that run on the GUI thread
            // while the context (a member) is alive.
            loop([&](Entry entry) { pShared->Hand(std::move(entry), this); });
            pShared->bFinished = true;
        });
    }

private:
    struct Shared {
        std::mutex mutex;
        QObject* pContext = nullptr;  // null once the reader is gone
        std::deque<Entry> entries;
        std::atomic<bool> bFinished{false};

        // Reading thread.
        void Hand(Entry entry, ThreadedReader* pReader)
        {
            std::lock_guard lock(mutex);
            if (pContext != nullptr) {
                entries.push_back(std::move(entry));
                QMetaObject::invokeMethod(
                    pContext, [pReader] { pReader->DeliverNext(); }, Qt::QueuedConnection);
            }
        }

        // GUI thread.
        std::optional<Entry> Take()
        {
            std::lock_guard lock(mutex);
            if (entries.empty()) {
                return std::nullopt;
            }
            Entry entry = std::move(entries.front());
            entries.pop_front();
            return entry;
        }
    };

    // GUI thread: the next entry the reading thread handed over.
    void DeliverNext()
    {
        if (std::optional<Entry> entry = m_pShared->Take()) {
            m_onEntry(std::move(*entry));
        }
    }

    OnEntry m_onEntry;
    QObject m_context;
    std::shared_ptr<Shared> m_pShared;
    std::thread m_thread;
};

}  // namespace pullbay::bridge
