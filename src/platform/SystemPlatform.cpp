#include "platform/SystemPlatform.h"

#include <utility>

#include "platform/PlatformClass.h"

namespace pullbay::platform {

SystemPlatform::SystemPlatform(std::string strLibraryName) : m_api(std::move(strLibraryName))
{
}

int SystemPlatform::PlatformClass() const
{
    return ProcessPlatformClass();
}

bool SystemPlatform::IsProtectedModeProcess()
{
    return m_api.IsProtectedModeProcess();
}

HRESULT SystemPlatform::GetWriteableFolderPath(const com::Guid& folderId, std::wstring& strPath)
{
    return m_api.GetWriteableFolderPath(folderId, strPath);
}

}  // namespace pullbay::platform
