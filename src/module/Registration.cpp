#include "module/Registration.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "control/Pullbay.h"
#include "platform/registry/RegistryKey.h"
#include "platform/registry/RegistryStore.h"

namespace pullbay::module {

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

// A key to create with its default value (none when null) and named texts.
struct KeyEntry {
    std::wstring strPath;
    std::optional<std::wstring> strDefault;
    std::vector<std::pair<std::wstring, std::wstring>> namedValues;
};

std::wstring Braced(const com::Guid& guid)
{
    return guid.ToString();
}

std::wstring VersionedProgId()
{
    return std::wstring(control::Pullbay::kProgId) + L".1";
}

std::wstring ClassKey()
{
    return L"CLSID\\" + Braced(control::Pullbay::kClsid);
}

std::wstring TypeLibKey()
{
    return L"TypeLib\\" + Braced(control::Pullbay::kLibId);
}

HRESULT WriteKey(const KeyEntry& entry)
{
    RegistryKey key;
    HRESULT hr = key.Create(RegistryRoot::ClassesRoot, entry.strPath);
    if (Succeeded(hr) && entry.strDefault) {
        hr = key.SetStringValue(L"", *entry.strDefault);
    }
    for (const auto& [strName, strValue] : entry.namedValues) {
        if (Succeeded(hr)) {
            hr = key.SetStringValue(strName, strValue);
        }
    }
    return hr;
}

// Deleting a key that is not there is no failure.
HRESULT RemoveKey(const std::wstring& strPath)
{
    const HRESULT hr = platform::DeleteRegistryKey(RegistryRoot::ClassesRoot, strPath);
    return hr == HResultFromWin32(2) ? S_OK : hr;
}

}  // namespace

HRESULT Registration::Register(const std::wstring& strModulePath)
{
    if (strModulePath.empty()) {
        return E_FAIL;
    }
    const std::wstring strClsid = Braced(control::Pullbay::kClsid);
    const std::wstring strProgId = control::Pullbay::kProgId;
    const std::wstring strVersioned = VersionedProgId();
    const std::wstring strClass = ClassKey();
    char buffer[16];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, kMiscStatus);
    const std::wstring strMiscStatus(buffer, converted.ptr);
    const std::wstring strBitmap = strModulePath + L", " + kToolboxBitmapResource;
    const std::wstring strFolder = std::filesystem::path(strModulePath).parent_path().wstring();

    // The class key is removed and written anew, so nothing stale survives.
    HRESULT hr = RemoveKey(strClass);
    const std::vector<KeyEntry> keys = {
        {strVersioned, kDescription, {}},
        {strVersioned + L"\\CLSID", strClsid, {}},
        {strVersioned + L"\\Insertable", std::nullopt, {}},
        {strProgId, kDescription, {}},
        {strProgId + L"\\CLSID", strClsid, {}},
        {strProgId + L"\\CurVer", strVersioned, {}},
        {strClass, kDescription, {{L"AppID", L""}}},
        {strClass + L"\\ProgID", strVersioned, {}},
        {strClass + L"\\VersionIndependentProgID", strProgId, {}},
        {strClass + L"\\Programmable", std::nullopt, {}},
        {strClass + L"\\InprocServer32", strModulePath, {{L"ThreadingModel", L"Apartment"}}},
        {strClass + L"\\Control", std::nullopt, {}},
        {strClass + L"\\Insertable", std::nullopt, {}},
        {strClass + L"\\ToolboxBitmap32", strBitmap, {}},
        {strClass + L"\\MiscStatus", L"0", {}},
        {strClass + L"\\MiscStatus\\1", strMiscStatus, {}},
        {strClass + L"\\TypeLib", Braced(control::Pullbay::kLibId), {}},
        {strClass + L"\\Version", L"1.0", {}},
        // The type library: the control's dispatch table, found through
        // the module's path.
        {TypeLibKey() + L"\\1.0", kDescription, {}},
        {TypeLibKey() + L"\\1.0\\FLAGS", L"0", {}},
        {TypeLibKey() + L"\\1.0\\0\\linux64", strModulePath, {}},
        {TypeLibKey() + L"\\1.0\\HELPDIR", strFolder, {}},
    };
    for (const KeyEntry& entry : keys) {
        if (Succeeded(hr)) {
            hr = WriteKey(entry);
        }
    }
    return hr;
}

HRESULT Registration::Unregister()
{
    HRESULT hr = S_OK;
    for (const std::wstring& strKey :
         {VersionedProgId(), std::wstring(control::Pullbay::kProgId), ClassKey(), TypeLibKey()}) {
        const HRESULT hrKey = RemoveKey(strKey);
        if (Succeeded(hr) && Failed(hrKey)) {
            hr = hrKey;
        }
    }
    return hr;
}

}  // namespace pullbay::module
