#pragma once
// The HTTP session of one transfer: the calling thread's libcurl handles.
// Connections, DNS results and TLS sessions live in these handles, so every
// transfer that a thread makes after the first reuses them (libcurl does not
// share connections between threads that run at the same time, so each
// thread has its own pair). Owned by the transfer that opened it and used
// only on the thread that opened it.
#include <curl/curl.h>

#include <memory>

namespace pullbay::net {

class CurlSession {
public:
    // The calling thread's handles, or a private pair when the thread's are
    // already in use by an enclosing transfer. Throws UnexpectedException
    // ("InternetOpen error") when libcurl cannot provide them.
    static std::shared_ptr<CurlSession> Open();

    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    CURL* Easy() const { return m_pEasy; }
    CURLM* Multi() const { return m_pMulti; }

private:
    CurlSession(CURL* pEasy, CURLM* pMulti, bool* pThreadInUse);

    CURL* m_pEasy;
    CURLM* m_pMulti;
    // The in-use flag of the thread's cached pair, cleared on close; null
    // for a private pair, which is closed instead.
    bool* m_pThreadInUse;
};

// libcurl's process-wide initialisation, done once before the first handle.
void EnsureCurlGlobalInit();

}  // namespace pullbay::net
