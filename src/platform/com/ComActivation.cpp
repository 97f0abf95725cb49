#include "platform/com/ComActivation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

#include "core/TextUnits.h"
#include "platform/registry/RegistryKey.h"

namespace pullbay::com {

namespace {

using GetClassObjectFunction = HRESULT (*)(const Guid*, const Guid*, void**);
using CanUnloadNowFunction = HRESULT (*)();

// Modules loaded by this process, by their path; guarded by g_mutex.
std::mutex g_mutex;
std::map<std::string, void*> g_modules;

HRESULT ModulePathOf(const Guid& clsid, std::wstring& strPath)
{
    platform::RegistryKey key;
    if (Failed(key.Open(platform::RegistryRoot::ClassesRoot,
                        L"CLSID\\" + clsid.ToString() + L"\\InprocServer32")) ||
        Failed(key.QueryStringValue(L"", strPath)) || strPath.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    return S_OK;
}

// The module's handle, loading it on first use.
void* LoadModule(const std::string& strPath)
{
    std::lock_guard lock(g_mutex);
    auto it = g_modules.find(strPath);
    if (it != g_modules.end()) {
        return it->second;
    }
    // RTLD_LOCAL: the module's symbols never mix with the host's.
    void* hModule = ::dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (hModule != nullptr) {
        g_modules.emplace(strPath, hModule);
    }
    return hModule;
}

}  // namespace

HRESULT CLSIDFromProgID(std::wstring_view strProgId, Guid& clsid)
{
    platform::RegistryKey key;
    std::wstring strClsid;
    if (strProgId.empty() ||
        Failed(
            key.Open(platform::RegistryRoot::ClassesRoot, std::wstring(strProgId) + L"\\CLSID")) ||
        Failed(key.QueryStringValue(L"", strClsid))) {
        return CO_E_CLASSSTRING;
    }
    const auto parsed = Guid::Parse(strClsid);
    if (!parsed) {
        return CO_E_CLASSSTRING;
    }
    clsid = *parsed;
    return S_OK;
}

HRESULT CoGetClassObject(const Guid& clsid, const Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    std::wstring strPath;
    const HRESULT hr = ModulePathOf(clsid, strPath);
    if (Failed(hr)) {
        return hr;
    }
    void* hModule = LoadModule(core::ToUtf8(strPath));
    if (hModule == nullptr) {
        return CO_E_ERRORINDLL;
    }
    auto pGetClassObject =
        reinterpret_cast<GetClassObjectFunction>(::dlsym(hModule, "DllGetClassObject"));
    if (pGetClassObject == nullptr) {
        return CO_E_ERRORINDLL;
    }
    return pGetClassObject(&clsid, &iid, ppv);
}

HRESULT CoCreateInstance(const Guid& clsid, const Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    ComPtr<IClassFactory> pFactory;
    HRESULT hr = CoGetClassObject(clsid, IID_IClassFactory, pFactory.PutVoid());
    if (Failed(hr)) {
        return hr;
    }
    return pFactory->CreateInstance(nullptr, iid, ppv);
}

void CoFreeUnusedLibraries()
{
    std::lock_guard lock(g_mutex);
    for (auto it = g_modules.begin(); it != g_modules.end();) {
        auto pCanUnload =
            reinterpret_cast<CanUnloadNowFunction>(::dlsym(it->second, "DllCanUnloadNow"));
        if (pCanUnload != nullptr && pCanUnload() == S_OK) {
            ::dlclose(it->second);
            it = g_modules.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace pullbay::com
