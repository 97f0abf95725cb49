#pragma once
// What the system asks of its platform: the platform class, whether the
// process runs in Protected Mode, and the low-integrity writeable folders.
// One implementation is installed for the whole process (the real platform
// unless a test installs another); any thread may call every function here.
#include <memory>
#include <string>

#include "core/HResult.h"
#include "platform/com/Guid.h"

namespace pullbay::platform {

class IPlatform {
public:
    virtual ~IPlatform() = default;

    // 0 to 6, fixed for the life of the process.
    virtual int PlatformClass() const = 0;
    // Asked afresh on every call.
    virtual bool IsProtectedModeProcess() = 0;
    // The writeable folder for a known folder; strPath is set on success.
    virtual HRESULT GetWriteableFolderPath(const com::Guid& folderId, std::wstring& strPath) = 0;
};

// {352481E8-33BE-4251-BA85-6007CAEDCF9D}
inline constexpr com::Guid kFolderIdInternetCache = com::Guid::FromParts(
    0x352481E8, 0x33BE, 0x4251, {0xBA, 0x85, 0x60, 0x07, 0xCA, 0xED, 0xCF, 0x9D});
// {A520A1A4-1780-4FF6-BD18-167343C5AF16}
inline constexpr com::Guid kFolderIdLocalAppDataLow = com::Guid::FromParts(
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16});

// The installed platform; never null.
std::shared_ptr<IPlatform> CurrentPlatform();

// Installs pPlatform for the whole process (null: the real platform again)
// and returns the one it replaces, so a test can put it back.
std::shared_ptr<IPlatform> SetPlatformForTesting(std::shared_ptr<IPlatform> pPlatform);

// Protected Mode handling applies: class 5 or more and the process in
// Protected Mode. The class is tested first, so a platform outside the table
// never asks the browser library.
bool UsesProtectedMode(IPlatform& platform);

// The folder for low-integrity files: the writeable folder of the Internet
// Cache, or when that fails the one of LocalAppDataLow. Returns the last
// call's result; strFolder is empty on failure.
HRESULT GetWriteableFolder(IPlatform& platform, std::wstring& strFolder);

}  // namespace pullbay::platform
