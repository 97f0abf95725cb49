#include "engine/InstanceTempFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string_view>
#include <vector>

#include "core/HexDigits.h"
#include "core/TextUnits.h"
#include "core/UserTempRoot.h"
#include "core/Win32Errors.h"
#include "engine/TempFiles.h"

namespace pullbay::engine {

namespace {

constexpr std::string_view kLockSuffix = ".lock";
constexpr char kNamePrefix = 'i';

std::string Trimmed(const std::wstring& strFolder)
{
    std::string strPath = core::ToUtf8(strFolder);
    while (strPath.size() > 1 && strPath.back() == '/') {
        strPath.pop_back();
    }
    return strPath;
}

// The shared folder, made if missing (0700; the per-user root above it too
// when that is its parent) and opened without following a link; refused
// unless it is a directory of this user that no one else may write (a
// folder in a shared directory can be planted by anyone). intError: the
// errno, or EACCES for a folder that is not privately ours (bNotPrivate).
core::UniqueFd OpenParent(const std::string& strParent, int& intError, bool& bNotPrivate)
{
    intError = 0;
    bNotPrivate = false;
    if (strParent.empty() || strParent.find('\0') != std::string::npos) {
        intError = EINVAL;
        return core::UniqueFd();
    }
    if (const int intMade = core::UserTempRoot::CreateFolderIn(strParent)) {
        intError = intMade;
        return core::UniqueFd();
    }
    core::UniqueFd parent(
        ::open(strParent.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!parent.IsOpen()) {
        intError = errno;
        // A link or a file where the folder should be.
        bNotPrivate = intError == ELOOP || intError == ENOTDIR;
        return core::UniqueFd();
    }
    struct stat info {};
    if (::fstat(parent.Get(), &info) != 0) {
        intError = errno;
        return core::UniqueFd();
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        intError = EACCES;
        bNotPrivate = true;
        return core::UniqueFd();
    }
    return parent;
}

std::vector<std::string> EntryNames(int intFolderFd)
{
    std::vector<std::string> names;
    // The stream takes its own descriptor, so the caller's stays open.
    const int intCopy = ::dup(intFolderFd);
    DIR* pFolder = intCopy >= 0 ? ::fdopendir(intCopy) : nullptr;
    if (pFolder == nullptr) {
        if (intCopy >= 0) {
            ::close(intCopy);
        }
        return names;
    }
    ::rewinddir(pFolder);
    while (const dirent* pEntry = ::readdir(pFolder)) {
        const std::string_view strName = pEntry->d_name;
        if (strName != "." && strName != "..") {
            names.emplace_back(strName);
        }
    }
    ::closedir(pFolder);
    return names;
}

// Removes the entry strName of the folder intFolderFd and, for a folder,
// everything in it. Links are removed, never followed.
void RemoveEntry(int intFolderFd, const std::string& strName)
{
    struct stat info {};
    if (::fstatat(intFolderFd, strName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        const core::UniqueFd child(::openat(intFolderFd, strName.c_str(),
                                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (child.IsOpen()) {
            for (const std::string& strChild : EntryNames(child.Get())) {
                RemoveEntry(child.Get(), strChild);
            }
        }
        ::unlinkat(intFolderFd, strName.c_str(), AT_REMOVEDIR);
    } else {
        ::unlinkat(intFolderFd, strName.c_str(), 0);
    }
}

std::string NewName()
{
    std::random_device random;
    std::string strName(1, kNamePrefix);
    strName += std::to_string(::getpid());
    strName += '-';
    core::AppendHex(strName, random(), 8, core::HexCase::Lower);
    return strName;
}

}  // namespace

InstanceTempFolder::InstanceTempFolder(std::wstring strParent) : m_strParent(std::move(strParent))
{
}

InstanceTempFolder::~InstanceTempFolder()
{
    Remove();
}

void InstanceTempFolder::Fail(std::wstring strFolder, std::wstring strReason)
{
    m_strFailedFolder = std::move(strFolder);
    m_strFailureReason = std::move(strReason);
}

std::wstring InstanceTempFolder::Path()
{
    if (!m_bTried) {
        m_bTried = true;
        const std::string strParent = Trimmed(m_strParent);
        if (strParent.empty()) {
            Fail(std::wstring(), kUnknownTempDirectoryText);
            return std::wstring();
        }
        const std::wstring strParentText = core::FromUtf8(strParent);
        int intError = 0;
        bool bNotPrivate = false;
        const core::UniqueFd parent = OpenParent(strParent, intError, bNotPrivate);
        if (!parent.IsOpen()) {
            Fail(strParentText,
                 bNotPrivate ? std::wstring(kNotPrivateFolderText) : core::ErrnoText(intError));
            return std::wstring();
        }
        SweepAbandoned(m_strParent);
        const std::string strName = NewName();
        const std::string strLock = strName + std::string(kLockSuffix);
        // The claim first, then the folder: a folder is never seen unclaimed.
        core::UniqueFd lock(::openat(parent.Get(), strLock.c_str(),
                                     O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                     S_IRUSR | S_IWUSR));
        if (!lock.IsOpen()) {
            Fail(strParentText, core::ErrnoText(errno));
            return std::wstring();
        }
        if (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0 ||
            ::mkdirat(parent.Get(), strName.c_str(), S_IRWXU) != 0) {
            const int intFailure = errno;
            ::unlinkat(parent.Get(), strLock.c_str(), 0);
            Fail(strParentText, core::ErrnoText(intFailure));
            return std::wstring();
        }
        m_lock = std::move(lock);
        m_strName = strName;
    }
    if (m_strName.empty()) {
        return std::wstring();
    }
    return core::FromUtf8(Trimmed(m_strParent) + '/' + m_strName + '/');
}

void InstanceTempFolder::Clear()
{
    if (m_strName.empty()) {
        return;
    }
    const std::string strFolder = Trimmed(m_strParent) + '/' + m_strName;
    const core::UniqueFd folder(
        ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.IsOpen()) {
        for (const std::string& strEntry : EntryNames(folder.Get())) {
            RemoveEntry(folder.Get(), strEntry);
        }
    }
}

void InstanceTempFolder::Remove()
{
    if (m_strName.empty()) {
        return;
    }
    const core::UniqueFd parent(
        ::open(Trimmed(m_strParent).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (parent.IsOpen()) {
        RemoveEntry(parent.Get(), m_strName);
        // The claim goes last, after the folder it claims.
        ::unlinkat(parent.Get(), (m_strName + std::string(kLockSuffix)).c_str(), 0);
    }
    m_lock.Close();
    m_strName.clear();
}

int InstanceTempFolder::SweepAbandoned(const std::wstring& strParent)
{
    const core::UniqueFd parent(
        ::open(Trimmed(strParent).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!parent.IsOpen()) {
        return 0;
    }
    int intRemoved = 0;
    for (const std::string& strEntry : EntryNames(parent.Get())) {
        if (strEntry.size() <= kLockSuffix.size() + 1 || strEntry.front() != kNamePrefix ||
            !strEntry.ends_with(kLockSuffix)) {
            continue;
        }
        const core::UniqueFd lock(
            ::openat(parent.Get(), strEntry.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
        // Held by a live owner: the try fails and the folder stays.
        if (!lock.IsOpen() || ::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        RemoveEntry(parent.Get(), strEntry.substr(0, strEntry.size() - kLockSuffix.size()));
        ::unlinkat(parent.Get(), strEntry.c_str(), 0);
        ++intRemoved;
    }
    return intRemoved;
}

}  // namespace pullbay::engine
