#pragma once
// An open key of the per-user registry store (see RegistryStore.h for where
// it lives and RegistryNames.h for how names map to files). Key and value
// names match without regard to ASCII letter case; enumerations give them as
// they were first written. Every write is atomic: a reader, or the store after
// a crash, sees the old value or the new one, never a mix.
//
// Threads: Open, Create, Close and moves need the object to themselves; the
// other members may run on several threads at once, and any number of
// objects and processes may use the same keys. Concurrent writers of the same
// value: the last one to finish wins.
//
// Failures are HRESULTs with the original platform's codes: a missing key or
// value HResultFromWin32(2), an unusable name E_INVALIDARG, a closed key
// HResultFromWin32(6), a damaged entry HResultFromWin32(1009), other
// file-system failures their errno's Windows code.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/HResult.h"
#include "platform/registry/FileDescriptor.h"
#include "platform/registry/RegistryTypes.h"

namespace pullbay::platform {

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(RegistryKey&&) noexcept = default;
    RegistryKey& operator=(RegistryKey&&) noexcept = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens an existing key ("Software\Velmora\Pullbay\Standard 7"; an empty
    // path opens the root or the parent itself). On failure the object keeps
    // the key it had.
    HRESULT Open(RegistryRoot root, std::wstring_view strSubKey);
    HRESULT Open(const RegistryKey& parent, std::wstring_view strSubKey);
    // Opens the key, creating every missing level (its folder mode 0700).
    HRESULT Create(RegistryRoot root, std::wstring_view strSubKey);
    HRESULT Create(const RegistryKey& parent, std::wstring_view strSubKey);
    void Close();
    bool IsOpen() const { return m_directory.IsValid(); }

    // The type and bytes of a value; the empty name is the default value.
    HRESULT QueryValue(std::wstring_view strName, std::uint32_t& uintType,
                       std::vector<std::uint8_t>& data) const;
    // Creates or replaces a value (data above 4 GiB: E_INVALIDARG).
    HRESULT SetValue(std::wstring_view strName, std::uint32_t uintType,
                     std::span<const std::uint8_t> data);
    // REG_SZ and REG_DWORD values; a value of another type (or a REG_DWORD
    // that is not 4 bytes) is HResultFromWin32(13), invalid data.
    HRESULT QueryStringValue(std::wstring_view strName, std::wstring& strText) const;
    HRESULT SetStringValue(std::wstring_view strName, std::wstring_view strText);
    HRESULT QueryDwordValue(std::wstring_view strName, std::uint32_t& uintValue) const;
    HRESULT SetDwordValue(std::wstring_view strName, std::uint32_t uintValue);
    HRESULT DeleteValue(std::wstring_view strName);

    // Deletes a subkey (a path below this key) with all of its subkeys and
    // values. It disappears at once for every reader; its files are removed
    // afterwards.
    HRESULT DeleteSubKey(std::wstring_view strSubKey);

    // Names of the subkeys and of the values (the default value as ""), in
    // the case they were created with, ordered without regard to ASCII case.
    HRESULT EnumSubKeys(std::vector<std::wstring>& names) const;
    HRESULT EnumValues(std::vector<std::wstring>& names) const;

private:
    HRESULT OpenLevels(FileDescriptor start, const std::vector<std::wstring>& levels, bool bCreate);
    HRESULT OpenFrom(RegistryRoot root, std::wstring_view strSubKey, bool bCreate);
    HRESULT OpenFrom(const RegistryKey& parent, std::wstring_view strSubKey, bool bCreate);

    FileDescriptor m_directory;
};

}  // namespace pullbay::platform
