#include "host/cli/RuntimeFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace pullbay::host {

namespace {

std::string TemporaryDirectory()
{
    const char* pTmp = std::getenv("TMPDIR");
    std::string strTmp = pTmp != nullptr && *pTmp != '\0' ? pTmp : "/tmp";
    while (strTmp.size() > 1 && strTmp.back() == '/') {
        strTmp.pop_back();
    }
    return strTmp;
}

// A folder of this user that no one else may enter, as Qt requires (it
// warns about any mode but 0700). Links are not followed: a name planted in
// a shared folder is refused.
bool IsPrivateFolder(const std::string& strPath)
{
    struct stat info {};
    if (::lstat(strPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return false;
    }
    return (info.st_mode & 07777) == S_IRWXU || ::chmod(strPath.c_str(), S_IRWXU) == 0;
}

}  // namespace

RuntimeFolder::RuntimeFolder()
{
    const char* pCurrent = std::getenv("XDG_RUNTIME_DIR");
    if (pCurrent != nullptr && *pCurrent != '\0') {
        return;
    }
    const std::string strTmp = TemporaryDirectory();
    std::string strPath = strTmp + "/pullbay-runtime-" + std::to_string(::geteuid());
    if ((::mkdir(strPath.c_str(), S_IRWXU) != 0 && errno != EEXIST) || !IsPrivateFolder(strPath)) {
        std::string strTemplate = strTmp + "/pullbay-runtime-XXXXXX";
        if (::mkdtemp(strTemplate.data()) == nullptr) {
            return;  // Qt falls back to its own default and says so
        }
        strPath = strTemplate;
        m_bOwned = true;
    }
    m_strPath = strPath;
    ::setenv("XDG_RUNTIME_DIR", m_strPath.c_str(), 1);
}

RuntimeFolder::~RuntimeFolder()
{
    if (m_bOwned) {
        std::error_code error;
        std::filesystem::remove_all(m_strPath, error);
    }
}

}  // namespace pullbay::host
