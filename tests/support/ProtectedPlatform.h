#pragma once
// A platform of class 6 running in Protected Mode, with a writeable folder
// of the test's own, installed for a test's scope: the Protected Mode paths
// of the engine and the run can be exercised on Linux.
#include <memory>
#include <string>
#include <utility>

#include "platform/IPlatform.h"

namespace pullbay::test {

class ProtectedPlatform : public platform::IPlatform {
public:
    explicit ProtectedPlatform(std::wstring strFolder) : m_strFolder(std::move(strFolder)) {}
    int PlatformClass() const override { return 6; }
    bool IsProtectedModeProcess() override { return true; }
    HRESULT GetWriteableFolderPath(const com::Guid&, std::wstring& strPath) override
    {
        strPath = m_strFolder;
        return S_OK;
    }

private:
    std::wstring m_strFolder;
};

// Installs a ProtectedPlatform until the scope ends, then puts back the
// platform it replaced.
class ProtectedPlatformScope {
public:
    explicit ProtectedPlatformScope(std::wstring strFolder)
        : m_pPrevious(platform::SetPlatformForTesting(
              std::make_shared<ProtectedPlatform>(std::move(strFolder))))
    {
    }
    ~ProtectedPlatformScope() { platform::SetPlatformForTesting(m_pPrevious); }
    ProtectedPlatformScope(const ProtectedPlatformScope&) = delete;
    ProtectedPlatformScope& operator=(const ProtectedPlatformScope&) = delete;

private:
    std::shared_ptr<platform::IPlatform> m_pPrevious;
};

}  // namespace pullbay::test
