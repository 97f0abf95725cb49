#include "bridge/NativeMessageReader.h"

#include <unistd.h>

#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

#include "bridge/NativeMessageFraming.h"

namespace pullbay::bridge {

// What the reading thread shares with the GUI thread: the context its calls
// are queued to (gone once the reader is destroyed) and the messages read,
// handed over under the lock. Each queued call takes one entry, so the
// callbacks run in reading order, and one that destroys the reader stops
// the rest.
struct NativeMessageReader::Shared {
    struct Entry {
        std::string strMessage;
        std::optional<End> end;
    };

    std::mutex mutex;
    QObject* pContext = nullptr;
    std::deque<Entry> entries;
    std::atomic<bool> bFinished{false};

    // Reading thread.
    void Hand(Entry entry, NativeMessageReader* pReader)
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

NativeMessageReader::NativeMessageReader(OnMessage onMessage, OnEnd onEnd, int fdInput)
    : m_onMessage(std::move(onMessage)),
      m_onEnd(std::move(onEnd)),
      m_fdInput(fdInput),
      m_pShared(std::make_shared<Shared>())
{
    m_pShared->pContext = &m_context;
}

NativeMessageReader::~NativeMessageReader()
{
    {
        std::lock_guard lock(m_pShared->mutex);
        m_pShared->pContext = nullptr;
    }
    if (m_thread.joinable()) {
        // A thread still blocked in read() is left to the process's end; it
        // only touches the shared part, which it co-owns.
        if (m_pShared->bFinished.load()) {
            m_thread.join();
        } else {
            m_thread.detach();
        }
    }
}

void NativeMessageReader::Start()
{
    m_thread = std::thread([pShared = m_pShared, this, fdInput = m_fdInput] {
        NativeMessageDecoder decoder;
        char buffer[65536];
        End end = End::Closed;
        for (;;) {
            const ssize_t intRead = ::read(fdInput, buffer, sizeof buffer);
            if (intRead < 0 && errno == EINTR) {
                continue;
            }
            if (intRead <= 0) {
                end = decoder.HasPartial() ? End::Truncated : End::Closed;
                break;
            }
            decoder.Feed(std::string_view(buffer, static_cast<std::size_t>(intRead)));
            while (std::optional<std::string> strMessage = decoder.Next()) {
                pShared->Hand({std::move(*strMessage), std::nullopt}, this);
            }
            if (decoder.OverlongLength()) {
                end = End::Overlong;
                break;
            }
        }
        pShared->Hand({std::string(), end}, this);
        pShared->bFinished = true;
    });
}

void NativeMessageReader::DeliverNext()
{
    std::optional<Shared::Entry> entry = m_pShared->Take();
    if (!entry) {
        return;
    }
    if (entry->end) {
        m_onEnd(*entry->end);
    } else {
        m_onMessage(std::move(entry->strMessage));
    }
}

}  // namespace pullbay::bridge
