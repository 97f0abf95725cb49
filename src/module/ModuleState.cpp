#include "module/ModuleState.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include <curl/curl.h>

#include "control/Pullbay.h"
#include "control/SettingsKey.h"
#include "core/ExceptionManager.h"
#include "core/TextUnits.h"
#include "module/CrashDumpHandler.h"
#include "platform/PlatformClass.h"
#include "platform/com/ErrorInfo.h"

namespace pullbay::module {

namespace {

// Constant-initialised: the library constructor may run before the
// dynamic initialisers of this file.
std::atomic<std::uint32_t> g_uintLocks{0};

// Constructed on first use for the same reason (a namespace-scope string
// would be constructed over the value the constructor already stored).
std::wstring& SettingsKeyStorage()
{
    static std::wstring s_strSettingsKey;
    return s_strSettingsKey;
}

}  // namespace

void ModuleState::Lock()
{
    ++g_uintLocks;
}

void ModuleState::Unlock()
{
    --g_uintLocks;
}

std::uint32_t ModuleState::LockCount()
{
    return g_uintLocks.load();
}

std::wstring ModuleState::ModulePath()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&ModuleState::ModulePath), &info) == 0 ||
        info.dli_fname == nullptr) {
        return std::wstring();
    }
    char resolved[PATH_MAX];
    const char* strPath =
        ::realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
    return core::FromUtf8(strPath);
}

const std::wstring& ModuleState::SettingsKey()
{
    return SettingsKeyStorage();
}

void ModuleState::Attach()
{
    CrashDumpHandler::Install(model::PropertyHolder::kVersion);
    core::ExceptionManager::Initialize();
    // libcurl's global start-up stands where the socket library's was.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    SettingsKeyStorage() = control::SettingsKeyFor(platform::ProcessPlatformClass());
    com::RegisterProgId(control::Pullbay::kClsid, control::Pullbay::kProgId);
}

void ModuleState::Detach()
{
    curl_global_cleanup();
    core::ExceptionManager::Release();
    CrashDumpHandler::Uninstall();
}

}  // namespace pullbay::module
