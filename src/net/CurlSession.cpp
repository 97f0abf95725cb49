#include "net/CurlSession.h"

#include <mutex>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::net {

namespace {

// The thread's cached handles; closed when the thread ends.
struct ThreadHandles {
    CURL* pEasy = nullptr;
    CURLM* pMulti = nullptr;
    bool bInUse = false;

    ~ThreadHandles()
    {
        if (pEasy != nullptr) {
            curl_easy_cleanup(pEasy);
        }
        if (pMulti != nullptr) {
            curl_multi_cleanup(pMulti);
        }
    }
};

thread_local ThreadHandles t_handles;

struct HandlePair {
    CURL* pEasy;
    CURLM* pMulti;
};

HandlePair CreatePair()
{
    EnsureCurlGlobalInit();
    CURL* pEasy = curl_easy_init();
    CURLM* pMulti = curl_multi_init();
    if (pEasy == nullptr || pMulti == nullptr) {
        if (pEasy != nullptr) {
            curl_easy_cleanup(pEasy);
        }
        if (pMulti != nullptr) {
            curl_multi_cleanup(pMulti);
        }
        return {nullptr, nullptr};
    }
    return {pEasy, pMulti};
}

}  // namespace

void EnsureCurlGlobalInit()
{
    // Never cleaned up here: the module's unload does that once for the process.
    static std::once_flag s_once;
    std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::shared_ptr<CurlSession> CurlSession::Open()
{
    if (!t_handles.bInUse) {
        if (t_handles.pEasy == nullptr) {
            const HandlePair pair = CreatePair();
            if (pair.pEasy == nullptr) {
                PB_THROW(core::UnexpectedException, L"InternetOpen error");
            }
            t_handles.pEasy = pair.pEasy;
            t_handles.pMulti = pair.pMulti;
        }
        t_handles.bInUse = true;
        return std::shared_ptr<CurlSession>(
            new CurlSession(t_handles.pEasy, t_handles.pMulti, &t_handles.bInUse));
    }
    const HandlePair pair = CreatePair();
    if (pair.pEasy == nullptr) {
        PB_THROW(core::UnexpectedException, L"InternetOpen error");
    }
    return std::shared_ptr<CurlSession>(new CurlSession(pair.pEasy, pair.pMulti, nullptr));
}

CurlSession::CurlSession(CURL* pEasy, CURLM* pMulti, bool* pThreadInUse)
    : m_pEasy(pEasy), m_pMulti(pMulti), m_pThreadInUse(pThreadInUse)
{
}

CurlSession::~CurlSession()
{
    if (m_pThreadInUse != nullptr) {
        // Options are cleared, the connection and DNS caches stay.
        curl_easy_reset(m_pEasy);
        *m_pThreadInUse = false;
    } else {
        curl_easy_cleanup(m_pEasy);
        curl_multi_cleanup(m_pMulti);
    }
}

}  // namespace pullbay::net
