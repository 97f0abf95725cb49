#include "core/UserTempRoot.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace pullbay::core {

namespace {

constexpr std::size_t kPasswdBufferBytes = 16384;

// Trailing "/" removed, except for the root itself.
std::string WithoutTrailingSlashes(std::string strPath)
{
    while (strPath.size() > 1 && strPath.back() == '/') {
        strPath.pop_back();
    }
    return strPath;
}

// strFolder, "/" and strName, without a second "/" after the root.
std::string Join(const std::string& strFolder, const char* strName)
{
    return strFolder == "/" ? strFolder + strName : strFolder + '/' + strName;
}

const char* NonEmptyVariable(const char* strName)
{
    const char* strValue = std::getenv(strName);
    return strValue != nullptr && *strValue != '\0' ? strValue : nullptr;
}

// HOME when it is an absolute path, else the user database's home folder;
// empty when neither is known.
std::string HomeFolder()
{
    if (const char* strHome = NonEmptyVariable("HOME"); strHome != nullptr && strHome[0] == '/') {
        return WithoutTrailingSlashes(strHome);
    }
    const long intSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(intSize > 0 ? static_cast<std::size_t>(intSize) : kPasswdBufferBytes);
    passwd entry{};
    passwd* pResult = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &pResult) != 0 ||
        pResult == nullptr || pResult->pw_dir == nullptr || pResult->pw_dir[0] != '/') {
        return std::string();
    }
    return WithoutTrailingSlashes(pResult->pw_dir);
}

// The length of strPath's parent part ("/a/b" -> 2, "/a" -> 1).
std::size_t ParentLength(const std::string& strPath)
{
    const std::size_t uintSlash = strPath.find_last_of('/');
    return uintSlash == std::string::npos || uintSlash == 0 ? 1 : uintSlash;
}

}  // namespace

UserTempRoot::Location UserTempRoot::Find()
{
    Location location;
    if (const char* strTemp = NonEmptyVariable("TMPDIR")) {
        location.strPath = WithoutTrailingSlashes(strTemp);
        location.uintExistingBytes = location.strPath.size();
        return location;
    }
    location.bPerUser = true;
    std::string strCache;
    if (const char* strXdg = NonEmptyVariable("XDG_CACHE_HOME");
        strXdg != nullptr && strXdg[0] == '/') {
        // A missing XDG_CACHE_HOME folder may be made (the base-directory
        // rules allow it); its parent is taken as it is.
        strCache = WithoutTrailingSlashes(strXdg);
        location.uintExistingBytes = ParentLength(strCache);
    } else {
        const std::string strHome = HomeFolder();
        if (strHome.empty()) {
            location.uintExistingBytes = 0;
            return location;
        }
        strCache = Join(strHome, ".cache");
        location.uintExistingBytes = strHome.size();
    }
    location.strPath = Join(strCache, kCacheFolderName);
    return location;
}

std::string UserTempRoot::Path()
{
    return Find().strPath;
}

int UserTempRoot::Create(std::string& strPath)
{
    const Location location = Find();
    strPath = location.strPath;
    if (strPath.empty()) {
        return ENOENT;
    }
    if (strPath.find('\0') != std::string::npos) {
        return EINVAL;
    }
    if (location.bPerUser) {
        if (const int intError = CreateLevels(strPath.c_str(), location.uintExistingBytes)) {
            return intError;
        }
    }
    // A link to a folder serves as the folder: the user may keep ~/.cache
    // elsewhere.
    struct stat info {};
    if (::stat(strPath.c_str(), &info) != 0) {
        return errno;
    }
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

int UserTempRoot::CreateFolderIn(const std::string& strFolder)
{
    if (strFolder.empty() || strFolder.find('\0') != std::string::npos) {
        return EINVAL;
    }
    if (::mkdir(strFolder.c_str(), S_IRWXU) == 0 || errno == EEXIST) {
        return 0;
    }
    if (errno != ENOENT) {
        return errno;
    }
    const Location location = Find();
    const std::string strTrimmed = WithoutTrailingSlashes(strFolder);
    const std::size_t uintParent = strTrimmed.find_last_of('/');
    if (!location.bPerUser || location.strPath.empty() || uintParent == std::string::npos ||
        WithoutTrailingSlashes(strTrimmed.substr(0, uintParent)) != location.strPath) {
        return ENOENT;
    }
    if (const int intError = CreateLevels(location.strPath.c_str(), location.uintExistingBytes)) {
        return intError;
    }
    return ::mkdir(strFolder.c_str(), S_IRWXU) == 0 || errno == EEXIST ? 0 : errno;
}

int UserTempRoot::CreateLevels(const char* strPath, std::size_t uintExistingBytes)
{
    char buffer[kMaxPathBytes];
    const std::size_t uintLength = std::strlen(strPath);
    if (uintLength >= sizeof buffer) {
        return ENAMETOOLONG;
    }
    std::memcpy(buffer, strPath, uintLength + 1);
    for (std::size_t i = uintExistingBytes + 1; i <= uintLength; ++i) {
        if (i != uintLength && buffer[i] != '/') {
            continue;
        }
        if (buffer[i - 1] == '/') {
            continue;  // a run of separators names no new level
        }
        const char chSaved = buffer[i];
        buffer[i] = '\0';
        const bool bMade = ::mkdir(buffer, S_IRWXU) == 0 || errno == EEXIST;
        const int intError = errno;
        buffer[i] = chSaved;
        if (!bMade) {
            return intError;
        }
    }
    return 0;
}

}  // namespace pullbay::core
