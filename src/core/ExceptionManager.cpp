#include "core/ExceptionManager.h"

#include <map>
#include <mutex>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::core {

namespace {

struct Registry {
    std::map<std::uint32_t, std::unique_ptr<Exception>> records;
};

// The count and the registry pointer change only under this mutex; the
// registry is created with the first user and deleted with the last.
std::mutex g_mutex;
std::size_t g_uintUsers = 0;
Registry* g_pRegistry = nullptr;

}  // namespace

void ExceptionManager::Initialize()
{
    std::lock_guard lock(g_mutex);
    if (g_uintUsers++ == 0) {
        g_pRegistry = new Registry();
    }
}

void ExceptionManager::Release()
{
    Registry* pDoomed = nullptr;
    {
        std::lock_guard lock(g_mutex);
        if (g_uintUsers == 0) {
            return;
        }
        if (--g_uintUsers == 0) {
            pDoomed = g_pRegistry;
            g_pRegistry = nullptr;
        }
    }
    delete pDoomed;
}

bool ExceptionManager::IsInitialized()
{
    std::lock_guard lock(g_mutex);
    return g_pRegistry != nullptr;
}

void ExceptionManager::SetException(std::uint32_t uintThreadId, const Exception& exception)
{
    // The copy is made before the lock is taken, so no allocation of the
    // exception's texts happens under it.
    auto pCopy = std::make_unique<Exception>(exception);
    std::unique_ptr<Exception> pOld;
    std::lock_guard lock(g_mutex);
    if (g_pRegistry != nullptr) {
        pOld = std::exchange(g_pRegistry->records[uintThreadId], std::move(pCopy));
    }
}

void ExceptionManager::PushStdException(std::uint32_t uintThreadId)
{
    {
        std::lock_guard lock(g_mutex);
        if (g_pRegistry == nullptr || g_pRegistry->records.count(uintThreadId) != 0) {
            return;
        }
    }
    auto pRecord = std::make_unique<Exception>(
        UnexpectedException(L"ExceptionManager::PushStdException", PB_SOURCE_FILE, __LINE__));
    std::lock_guard lock(g_mutex);
    if (g_pRegistry != nullptr) {
        // Another record may have arrived meanwhile (from this thread only,
        // so only through re-entry); the earlier, more specific one stays.
        g_pRegistry->records.try_emplace(uintThreadId, std::move(pRecord));
    }
}

void ExceptionManager::ClearException(std::uint32_t uintThreadId)
{
    std::unique_ptr<Exception> pOld;
    std::lock_guard lock(g_mutex);
    if (g_pRegistry != nullptr) {
        auto it = g_pRegistry->records.find(uintThreadId);
        if (it != g_pRegistry->records.end()) {
            pOld = std::move(it->second);
            g_pRegistry->records.erase(it);
        }
    }
}

std::unique_ptr<Exception> ExceptionManager::GetException(std::uint32_t uintThreadId)
{
    std::lock_guard lock(g_mutex);
    if (g_pRegistry == nullptr) {
        return nullptr;
    }
    auto it = g_pRegistry->records.find(uintThreadId);
    return it == g_pRegistry->records.end() ? nullptr : std::make_unique<Exception>(*it->second);
}

}  // namespace pullbay::core
