#include "platform/IPlatform.h"

#include <mutex>
#include <utility>

#include "platform/PlatformClass.h"
#include "platform/SystemPlatform.h"

namespace pullbay::platform {

namespace {

std::mutex g_installedMutex;
std::shared_ptr<IPlatform> g_pInstalled;

std::shared_ptr<IPlatform> RealPlatform()
{
    static const std::shared_ptr<IPlatform> s_pPlatform = std::make_shared<SystemPlatform>();
    return s_pPlatform;
}

}  // namespace

std::shared_ptr<IPlatform> CurrentPlatform()
{
    {
        std::lock_guard lock(g_installedMutex);
        if (g_pInstalled != nullptr) {
            return g_pInstalled;
        }
    }
    return RealPlatform();
}

std::shared_ptr<IPlatform> SetPlatformForTesting(std::shared_ptr<IPlatform> pPlatform)
{
    std::shared_ptr<IPlatform> pReal = RealPlatform();
    std::lock_guard lock(g_installedMutex);
    std::shared_ptr<IPlatform> pPrevious = std::exchange(g_pInstalled, std::move(pPlatform));
    return pPrevious != nullptr ? pPrevious : pReal;
}

bool UsesProtectedMode(IPlatform& platform)
{
    return platform.PlatformClass() >= kFirstProtectedModeClass &&
           platform.IsProtectedModeProcess();
}

HRESULT GetWriteableFolder(IPlatform& platform, std::wstring& strFolder)
{
    HRESULT hr = platform.GetWriteableFolderPath(kFolderIdInternetCache, strFolder);
    if (Failed(hr)) {
        hr = platform.GetWriteableFolderPath(kFolderIdLocalAppDataLow, strFolder);
    }
    if (Failed(hr)) {
        strFolder.clear();
    }
    return hr;
}

}  // namespace pullbay::platform
