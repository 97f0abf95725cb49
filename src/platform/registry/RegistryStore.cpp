#include "platform/registry/RegistryStore.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "core/Win32Errors.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/registry/RegistryKey.h"

namespace pullbay::platform {

namespace {

constexpr const char* kCurrentUserFolder = "HKEY_CURRENT_USER";

std::filesystem::path HomeFromUserDatabase()
{
    long intBufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (intBufferSize <= 0) {
        intBufferSize = 16384;
    }
    std::vector<char> buffer(static_cast<std::size_t>(intBufferSize));
    passwd entry{};
    passwd* pResult = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &pResult) != 0 ||
        pResult == nullptr || pResult->pw_dir == nullptr) {
        return {};
    }
    return pResult->pw_dir;
}

// Creates every missing folder of an absolute path, each with mode 0700.
HRESULT CreateFolders(const std::filesystem::path& folder)
{
    std::filesystem::path prefix;
    for (const std::filesystem::path& part : folder) {
        prefix /= part;
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return HResultFromErrno(errno);
        }
    }
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        return HResultFromErrno(errno);
    }
    return S_ISDIR(status.st_mode) ? S_OK : HResultFromErrno(ENOTDIR);
}

}  // namespace

HRESULT GetRegistryStoreFolder(std::filesystem::path& folder)
{
    std::filesystem::path base;
    if (const char* strConfig = std::getenv("XDG_CONFIG_HOME");
        strConfig != nullptr && strConfig[0] == '/') {
        base = strConfig;
    } else {
        std::filesystem::path home;
        if (const char* strHome = std::getenv("HOME"); strHome != nullptr && strHome[0] == '/') {
            home = strHome;
        } else {
            home = HomeFromUserDatabase();
        }
        if (home.empty() || !home.is_absolute()) {
            return E_FAIL;
        }
        base = home / ".config";
    }
    folder = base / "pullbay" / "registry";
    return S_OK;
}

HRESULT GetRegistryRootFolder(bool bCreate, std::filesystem::path& folder)
{
    std::filesystem::path store;
    HRESULT hr = GetRegistryStoreFolder(store);
    if (Failed(hr)) {
        return hr;
    }
    std::filesystem::path root = store / kCurrentUserFolder;
    if (bCreate) {
        hr = CreateFolders(root);
        if (Failed(hr)) {
            return hr;
        }
    }
    folder = std::move(root);
    return S_OK;
}

HRESULT DeleteRegistryKey(RegistryRoot root, std::wstring_view strSubKey)
{
    RegistryKey rootKey;
    const HRESULT hr = rootKey.Open(root, L"");
    return Failed(hr) ? hr : rootKey.DeleteSubKey(strSubKey);
}

}  // namespace pullbay::platform
