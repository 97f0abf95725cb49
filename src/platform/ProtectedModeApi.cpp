#include "platform/ProtectedModeApi.h"

#include <dlfcn.h>

#include <cstdlib>
#include <utility>

namespace pullbay::platform {

namespace {

// The identifier's layout at the library's interface.
struct ProtectedModeGuid {
    std::uint32_t uintData1;
    std::uint16_t uintData2;
    std::uint16_t uintData3;
    std::uint8_t data4[8];
};

ProtectedModeGuid ToProtectedModeGuid(const com::Guid& guid)
{
    const auto& b = guid.bytes;
    ProtectedModeGuid result{};
    result.uintData1 = (static_cast<std::uint32_t>(b[0]) << 24) |
                       (static_cast<std::uint32_t>(b[1]) << 16) |
                       (static_cast<std::uint32_t>(b[2]) << 8) | b[3];
    result.uintData2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
    result.uintData3 = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
    for (int i = 0; i < 8; ++i) {
        result.data4[i] = b[8 + i];
    }
    return result;
}

template <typename FunctionType>
FunctionType Resolve(void* hLibrary, const char* strName)
{
    return reinterpret_cast<FunctionType>(::dlsym(hLibrary, strName));
}

}  // namespace

ProtectedModeApi::ProtectedModeApi(std::string strLibraryName)
    : m_strLibraryName(std::move(strLibraryName))
{
}

ProtectedModeApi::~ProtectedModeApi()
{
    if (m_hLibrary != nullptr) {
        ::dlclose(m_hLibrary);
    }
}

HRESULT ProtectedModeApi::Load()
{
    std::lock_guard lock(m_mutex);
    return LoadLocked();
}

HRESULT ProtectedModeApi::LoadLocked()
{
    if (m_state == LoadState::Loaded) {
        return S_OK;
    }
    if (m_state == LoadState::Unavailable) {
        return E_FAIL;
    }
    void* hLibrary = ::dlopen(m_strLibraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (hLibrary == nullptr) {
        // Perhaps installed later: the next need tries again.
        return E_FAIL;
    }
    const auto pIsProtected =
        Resolve<IsProtectedModeProcessFunction>(hLibrary, "IEIsProtectedModeProcess");
    const auto pGetFolder =
        Resolve<GetWriteableFolderPathFunction>(hLibrary, "IEGetWriteableFolderPath");
    // Nothing calls IEGetWriteableHKCU; it is resolved because a library
    // without it is not the one this code was written for.
    const auto pGetHkcu = Resolve<GetWriteableHkcuFunction>(hLibrary, "IEGetWriteableHKCU");
    if (pIsProtected == nullptr || pGetFolder == nullptr || pGetHkcu == nullptr) {
        // A library of the wrong kind does not change: never again.
        ::dlclose(hLibrary);
        m_state = LoadState::Unavailable;
        return E_FAIL;
    }
    m_hLibrary = hLibrary;
    m_pIsProtectedModeProcess = pIsProtected;
    m_pGetWriteableFolderPath = pGetFolder;
    m_state = LoadState::Loaded;
    return S_OK;
}

bool ProtectedModeApi::IsProtectedModeProcess()
{
    IsProtectedModeProcessFunction pFunction = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (Failed(LoadLocked())) {
            return false;
        }
        pFunction = m_pIsProtectedModeProcess;
    }
    // The library stays loaded while this object lives, so the call needs no lock.
    int bResult = 0;
    const HRESULT hr = pFunction(&bResult);
    return Succeeded(hr) && bResult != 0;
}

HRESULT ProtectedModeApi::GetWriteableFolderPath(const com::Guid& folderId, std::wstring& strPath)
{
    strPath.clear();
    GetWriteableFolderPathFunction pFunction = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (Failed(LoadLocked())) {
            return E_FAIL;
        }
        pFunction = m_pGetWriteableFolderPath;
    }
    const ProtectedModeGuid guid = ToProtectedModeGuid(folderId);
    wchar_t* pText = nullptr;
    HRESULT hr = pFunction(&guid, &pText);
    if (Succeeded(hr)) {
        if (pText != nullptr) {
            strPath = pText;
        } else {
            // A success without a folder would make the caller write at the root.
            hr = E_FAIL;
        }
    }
    // Freed on failure too: a library may hand out a text with its error.
    std::free(pText);
    return hr;
}

}  // namespace pullbay::platform
