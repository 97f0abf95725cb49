#pragma once
// The platform the process really runs on: the class from the OS version (0
// on Linux, so Protected Mode handling never applies) and the Protected Mode
// functions of the browser library, loaded on first need. Any thread.
#include <string>

#include "platform/IPlatform.h"
#include "platform/ProtectedModeApi.h"

namespace pullbay::platform {

class SystemPlatform final : public IPlatform {
public:
    explicit SystemPlatform(std::string strLibraryName = ProtectedModeApi::kDefaultLibraryName);

    int PlatformClass() const override;
    bool IsProtectedModeProcess() override;
    HRESULT GetWriteableFolderPath(const com::Guid& folderId, std::wstring& strPath) override;

private:
    ProtectedModeApi m_api;
};

}  // namespace pullbay::platform
