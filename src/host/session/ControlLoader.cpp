#include "host/session/ControlLoader.h"

#include <dlfcn.h>

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "host/session/HexText.h"
#include "platform/com/ComActivation.h"
#include "pullbay/Identity.h"

namespace pullbay::host {

std::string ControlLoader::ModulePath()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "libpullbay.so";
    }
    return (exe.parent_path() / "libpullbay.so").string();
}

HRESULT ControlLoader::CallModuleEntryPoint(const char* pName, std::string& strError)
{
    const std::string strPath = ModulePath();
    void* hModule = ::dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (hModule == nullptr) {
        const char* pReason = ::dlerror();
        strError =
            "cannot load " + strPath + ": " + (pReason != nullptr ? pReason : "unknown error");
        return com::CO_E_ERRORINDLL;
    }
    using EntryPoint = HRESULT (*)();
    auto pEntry = reinterpret_cast<EntryPoint>(::dlsym(hModule, pName));
    HRESULT hr = com::CO_E_ERRORINDLL;
    if (pEntry == nullptr) {
        strError = strPath + " has no " + pName;
    } else {
        hr = pEntry();
        if (Failed(hr)) {
            strError = std::string(pName) + " failed with " + HexText(hr);
        }
    }
    ::dlclose(hModule);
    return hr;
}

HRESULT ControlLoader::CreateControl(com::ComPtr<com::IDispatch>& pControl, std::string& strError)
{
    auto create = [&pControl]() {
        com::Guid clsid;
        HRESULT hr = com::CLSIDFromProgID(api::kProgId, clsid);
        if (Succeeded(hr)) {
            hr = com::CoCreateInstance(clsid, api::IID_IPullbay, pControl.PutVoid());
        }
        return hr;
    };
    HRESULT hr = create();
    if (hr == com::REGDB_E_CLASSNOTREG || hr == com::CO_E_CLASSSTRING) {
        hr = CallModuleEntryPoint("DllRegisterServer", strError);
        if (Failed(hr)) {
            return hr;
        }
        hr = create();
    }
    if (Failed(hr)) {
        strError = "cannot create the control: " + HexText(hr);
    }
    return hr;
}

}  // namespace pullbay::host
