#pragma once
// Where the per-user registry store lives, and operations on a whole key
// path. Any thread may call them.
//
// The store is "$XDG_CONFIG_HOME/pullbay/registry" ("$HOME/.config" when the
// variable is unset, empty or not an absolute path), read at every call, so a
// process (or a test) can point it elsewhere. Under it, "HKEY_CURRENT_USER"
// is the root of RegistryRoot::CurrentUser; RegistryRoot::ClassesRoot is its
// key "Software\Classes".
#include <filesystem>
#include <string_view>

#include "core/HResult.h"
#include "platform/registry/RegistryTypes.h"

namespace pullbay::platform {

// The store folder for the current environment; E_FAIL when neither the
// environment nor the user database names a home folder.
HRESULT GetRegistryStoreFolder(std::filesystem::path& folder);

// The folder of a root, with bCreate creating every missing folder on the way
// (mode 0700); HResultFromWin32(2) when it is missing and not to be created.
HRESULT GetRegistryRootFolder(bool bCreate, std::filesystem::path& folder);

// Deletes the key named by the path with all of its subkeys and values; the
// root itself cannot be deleted (E_INVALIDARG).
HRESULT DeleteRegistryKey(RegistryRoot root, std::wstring_view strSubKey);

}  // namespace pullbay::platform
