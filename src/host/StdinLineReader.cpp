#include "host/StdinLineReader.h"

#include <unistd.h>

#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace pullbay::host {

// What the reading thread shares with the GUI thread: the context its calls
// are queued to, gone once the reader is destroyed.
struct StdinLineReader::Shared {
    std::mutex mutex;
    QObject* pContext = nullptr;
    std::atomic<bool> bFinished{false};

    template <typename Call>
    void Post(Call call)
    {
        std::lock_guard lock(mutex);
        if (pContext != nullptr) {
            QMetaObject::invokeMethod(pContext, std::move(call), Qt::QueuedConnection);
        }
    }
};

StdinLineReader::StdinLineReader(OnLine onLine, OnEnd onEnd, int fdInput)
    : m_onLine(std::move(onLine)), m_onEnd(std::move(onEnd)), m_fdInput(fdInput), m_pShared(std::make_shared<Shared>())
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

void StdinLineReader::Start()
{
    m_thread = std::thread([pShared = m_pShared, fd = m_fdInput, this] {
        // `this` is used only inside calls that run on the GUI thread while
        // the context (a member) is alive.
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
                pShared->Post([this, strText = std::move(strLine), bOverlong] { m_onLine(strText, bOverlong); });
                strLine.clear();
                bOverlong = false;
            }
        }
        if (!strLine.empty() || bOverlong) {
            if (bOverlong) {
                strLine.clear();
            }
            pShared->Post([this, strText = std::move(strLine), bOverlong] { m_onLine(strText, bOverlong); });
        }
        pShared->Post([this] { m_onEnd(); });
        pShared->bFinished = true;
    });
}

}  // namespace pullbay::host
