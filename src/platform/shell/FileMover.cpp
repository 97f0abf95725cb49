#include "platform/shell/FileMover.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/TextUnits.h"
#include "core/UniqueFd.h"

namespace pullbay::platform::shell {

namespace {

using core::UniqueFd;

// The folder part of a path: "" for a bare name (the current folder), "/"
// for an entry of the root.
std::string ParentOf(const std::string& strPath)
{
    const std::size_t uintSlash = strPath.find_last_of('/');
    if (uintSlash == std::string::npos) {
        return std::string();
    }
    return uintSlash == 0 ? std::string("/") : strPath.substr(0, uintSlash);
}

// Follows links: a link to a folder serves as the folder, as it does for
// every other write into the destination.
bool IsFolder(const std::string& strPath)
{
    struct stat info {};
    return ::stat(strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// strFolder and the missing folders above it (mode 0777 less the umask).
bool MakeFolders(const std::string& strFolder)
{
    if (strFolder.empty() || IsFolder(strFolder)) {
        return true;
    }
    if (!MakeFolders(ParentOf(strFolder))) {
        return false;
    }
    // Someone else may have made it meanwhile; a folder is what was wanted.
    return ::mkdir(strFolder.c_str(), 0777) == 0 || (errno == EEXIST && IsFolder(strFolder));
}

bool CopyBytes(int intFrom, int intTo)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t intRead = ::read(intFrom, buffer.data(), buffer.size());
        if (intRead < 0 && errno == EINTR) {
            continue;
        }
        if (intRead <= 0) {
            return intRead == 0;
        }
        std::size_t uintDone = 0;
        while (uintDone < static_cast<std::size_t>(intRead)) {
            const ssize_t intWritten = ::write(intTo, buffer.data() + uintDone,
                                               static_cast<std::size_t>(intRead) - uintDone);
            if (intWritten < 0 && errno == EINTR) {
                continue;
            }
            if (intWritten <= 0) {
                return false;
            }
            uintDone += static_cast<std::size_t>(intWritten);
        }
    }
}

// Across file systems: the copy goes to a hidden new file beside the target,
// is flushed, and only then renamed into place, so the target never holds a
// partial file; the source goes last.
bool CopyFileAcross(const std::string& strFrom, const std::string& strTo, mode_t uintMode)
{
    UniqueFd source(::open(strFrom.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!source.IsOpen()) {
        return false;
    }
    const std::string strFolder = ParentOf(strTo);
    std::string strTemplate = (strFolder.empty() ? std::string(".") : strFolder);
    strTemplate += strTemplate.back() == '/' ? ".pbmove-XXXXXX" : "/.pbmove-XXXXXX";
    std::vector<char> name(strTemplate.begin(), strTemplate.end());
    name.push_back('\0');
    UniqueFd copy(::mkostemp(name.data(), O_CLOEXEC));
    if (!copy.IsOpen()) {
        return false;
    }
    bool bCopied = CopyBytes(source.Get(), copy.Get()) &&
                   ::fchmod(copy.Get(), uintMode & 07777) == 0 && ::fsync(copy.Get()) == 0;
    bCopied = copy.Close() && bCopied;
    if (bCopied && ::rename(name.data(), strTo.c_str()) == 0) {
        ::unlink(strFrom.c_str());
        return true;
    }
    ::unlink(name.data());
    return false;
}

bool MoveEntry(const std::string& strFrom, const std::string& strTo);

// Moves every entry of strFrom into the existing folder strTo; strFrom goes
// once it is empty.
bool MergeFolder(const std::string& strFrom, const std::string& strTo)
{
    // The names are read first: moving entries out while reading the folder
    // may skip some.
    std::vector<std::string> names;
    DIR* pFolder = ::opendir(strFrom.c_str());
    if (pFolder == nullptr) {
        return false;
    }
    while (const dirent* pEntry = ::readdir(pFolder)) {
        const std::string strName = pEntry->d_name;
        if (strName != "." && strName != "..") {
            names.push_back(strName);
        }
    }
    ::closedir(pFolder);
    bool bAll = true;
    for (const std::string& strName : names) {
        bAll = MoveEntry(strFrom + '/' + strName, strTo + '/' + strName) && bAll;
    }
    if (bAll) {
        ::rmdir(strFrom.c_str());
    }
    return bAll;
}

bool MoveEntry(const std::string& strFrom, const std::string& strTo)
{
    // A link among the sources is moved as the link, never followed.
    struct stat source {};
    if (::lstat(strFrom.c_str(), &source) != 0) {
        return false;
    }
    struct stat target {};
    const bool bTargetExists = ::stat(strTo.c_str(), &target) == 0;
    if (bTargetExists && target.st_dev == source.st_dev && target.st_ino == source.st_ino) {
        return true;
    }
    if (!MakeFolders(ParentOf(strTo))) {
        return false;
    }
    if (S_ISDIR(source.st_mode)) {
        if (bTargetExists) {
            return S_ISDIR(target.st_mode) && MergeFolder(strFrom, strTo);
        }
        // A folder moved into itself fails here (EINVAL) and is not merged.
        if (::rename(strFrom.c_str(), strTo.c_str()) == 0) {
            return true;
        }
        return errno == EXDEV && ::mkdir(strTo.c_str(), source.st_mode & 07777) == 0 &&
               MergeFolder(strFrom, strTo);
    }
    if (bTargetExists && S_ISDIR(target.st_mode)) {
        return false;
    }
    if (::rename(strFrom.c_str(), strTo.c_str()) == 0) {
        return true;
    }
    return errno == EXDEV && S_ISREG(source.st_mode) &&
           CopyFileAcross(strFrom, strTo, source.st_mode);
}

bool IsUsablePath(const std::wstring& strPath)
{
    return !strPath.empty() && strPath.find(L'\0') == std::wstring::npos;
}

}  // namespace

bool FileMover::Move(const std::vector<std::wstring>& sources,
                     const std::vector<std::wstring>& targets) const
{
    if (sources.size() != targets.size()) {
        return false;
    }
    if (sources.empty()) {
        return true;
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (!IsUsablePath(sources[i]) || !IsUsablePath(targets[i])) {
            return false;
        }
    }
    if (m_consent && !m_consent(sources, targets)) {
        return false;
    }
    bool bAll = true;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        bAll = MoveEntry(core::ToUtf8(sources[i]), core::ToUtf8(targets[i])) && bAll;
    }
    return bAll;
}

}  // namespace pullbay::platform::shell
