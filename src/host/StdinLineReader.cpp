#include "host/StdinLineReader.h"

#include <unistd.h>

#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace pullbay::host {

// What the reading thread shares with the GUI thread: the context its calls
// are queued to (gone once the reader is destroyed) and the lines read, handed
// over under the lock. Each queued call takes one entry, so the callbacks run
// in reading order, and one that destroys the reader stops the rest.
struct StdinLineReader::Shared {
    struct Entry {
        std::string strLine;
        bool bOverlong = false;
        bool bEnd = false;
    };

    std::mutex mutex;
    QObject* pContext = nullptr;
    std::deque<Entry> entries;
    std::atomic<bool> bFinished{false};

    // Reading thread.
    void Hand(Entry entry, StdinLineReader* pReader)
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

StdinLineReader::StdinLineReader(OnLine onLine, OnEnd onEnd, int fdInput)
    : m_onLine(std::move(onLine)),
      m_onEnd(std::move(onEnd)),
      m_fdInput(fdInput),
      m_pShared(std::make_shared<Shared>())
{
    m_pShared->pContext = &m_context;
}

StdinLineReader::~StdinLineReader()
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

void StdinLineReader::DeliverNext()
{
    std::optional<Shared::Entry> entry = m_pShared->Take();
    if (!entry) {
        return;
    }
    if (entry->bEnd) {
        m_onEnd();
    } else {
        m_onLine(std::move(entry->strLine), entry->bOverlong);
    }
}

void StdinLineReader::Start()
{
    m_thread = std::thread([pShared = m_pShared, fd = m_fdInput, this] {
        // `this` is used only inside calls that run on the GUI thread while
        // the context (a member) is alive: it is never touched here.
        std::string strLine;
        bool bOverlong = false;
        char buffer[65536];
        for (;;) {
            const ssize_t intRead = ::read(fd, buffer, sizeof buffer);
            if (intRead < 0 && errno == EINTR) {
                continue;
            }
            if (intRead <= 0) {
                break;
            }
            for (ssize_t i = 0; i < intRead; ++i) {
                const char ch = buffer[i];
                if (ch != '\n') {
                    if (strLine.size() < kMaxLineBytes) {
                        strLine += ch;
                    } else {
                        bOverlong = true;
                    }
                    continue;
                }
                if (!strLine.empty() && strLine.back() == '\r') {
                    strLine.pop_back();
                }
                if (bOverlong) {
                    strLine.clear();
                }
                pShared->Hand({std::move(strLine), bOverlong, false}, this);
                strLine.clear();
                bOverlong = false;
            }
        }
        if (!strLine.empty() || bOverlong) {
            if (bOverlong) {
                strLine.clear();
            }
            pShared->Hand({std::move(strLine), bOverlong, false}, this);
        }
        pShared->Hand({{}, false, true}, this);
        pShared->bFinished = true;
    });
}

}  // namespace pullbay::host
