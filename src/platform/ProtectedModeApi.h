#pragma once
// The browser library's Protected Mode functions, loaded with dlopen on first
// need: IEIsProtectedModeProcess, IEGetWriteableFolderPath and
// IEGetWriteableHKCU, all three required. Any thread may call every member.
//
// The library's side, with C linkage (the original signatures on Linux types):
//   int32_t IEIsProtectedModeProcess(int* pbResult);
//   int32_t IEGetWriteableFolderPath(const ProtectedModeGuid* pFolderId, wchar_t** ppPath);
//   int32_t IEGetWriteableHKCU(void** phKey);
// where ProtectedModeGuid is {uint32_t, uint16_t, uint16_t, uint8_t[8]} and
// the text of IEGetWriteableFolderPath is allocated with malloc; the caller
// frees it.
#include <cstdint>
#include <mutex>
#include <string>

#include "core/HResult.h"
#include "platform/com/Guid.h"

namespace pullbay::platform {

class ProtectedModeApi {
public:
    // The original library's base name, lower-cased, with the Linux suffix;
    // dlopen looks for it along the library search path.
    static constexpr const char* kDefaultLibraryName = "ieframe.so";

    // strLibraryName: a name for the library search path, or a path.
    explicit ProtectedModeApi(std::string strLibraryName = kDefaultLibraryName);
    // Releases the library if it was loaded.
    ~ProtectedModeApi();
    ProtectedModeApi(const ProtectedModeApi&) = delete;
    ProtectedModeApi& operator=(const ProtectedModeApi&) = delete;

    // Makes the functions available: S_OK when they are (now or earlier),
    // E_FAIL when not. A library that cannot be loaded is tried again on the
    // next call; a library that lacks one of the functions is released and
    // never tried again by this object.
    HRESULT Load();

    // True when the library says so; false when the functions are unavailable
    // or the call fails.
    bool IsProtectedModeProcess();

    // The low-integrity folder for a known folder: the call's result (E_FAIL
    // when the functions are unavailable, or when the call succeeds without a
    // text). strPath is set on success and cleared otherwise.
    HRESULT GetWriteableFolderPath(const com::Guid& folderId, std::wstring& strPath);

private:
    using IsProtectedModeProcessFunction = std::int32_t (*)(int*);
    using GetWriteableFolderPathFunction = std::int32_t (*)(const void*, wchar_t**);
    using GetWriteableHkcuFunction = std::int32_t (*)(void**);

    enum class LoadState { NotLoaded, Loaded, Unavailable };

    // With m_mutex held.
    HRESULT LoadLocked();

    const std::string m_strLibraryName;
    std::mutex m_mutex;
    LoadState m_state = LoadState::NotLoaded;
    void* m_hLibrary = nullptr;
    IsProtectedModeProcessFunction m_pIsProtectedModeProcess = nullptr;
    GetWriteableFolderPathFunction m_pGetWriteableFolderPath = nullptr;
};

}  // namespace pullbay::platform
