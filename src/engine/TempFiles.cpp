#include "engine/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/FileStream.h"
#include "core/TextUnits.h"
#include "core/UniqueFd.h"
#include "core/UserTempRoot.h"
#include "core/Win32Errors.h"
#include "engine/CommitCopies.h"

namespace pullbay::engine {

namespace {

constexpr std::size_t kCopyBlockBytes = 64 * 1024;

using core::UniqueFd;
using detail::CreateLockedCopy;
using detail::CreateUniqueFile;
using detail::SweepAbandonedCopies;

// Removes a half-made file unless the work that makes it completes.
class PartialFileGuard {
public:
    PartialFileGuard(int intFolderFd, std::string strName)
        : m_intFolderFd(intFolderFd), m_strName(std::move(strName))
    {
    }
    ~PartialFileGuard()
    {
        if (!m_bDismissed) {
            ::unlinkat(m_intFolderFd, m_strName.c_str(), 0);
        }
    }
    PartialFileGuard(const PartialFileGuard&) = delete;
    PartialFileGuard& operator=(const PartialFileGuard&) = delete;

    void Dismiss() { m_bDismissed = true; }

private:
    int m_intFolderFd;
    std::string m_strName;
    bool m_bDismissed = false;
};

HRESULT HResultFromErrno(int intErrno)
{
    return HResultFromWin32(core::Win32CodeFromErrno(intErrno));
}

// A path cut at an embedded NUL would name another file than the text says.
bool HasEmbeddedNul(std::wstring_view strPath)
{
    return strPath.find(L'\0') != std::wstring_view::npos;
}

// Trailing "/" removed, except for the root itself. A trailing "/" would make
// the kernel follow a symbolic link even under O_NOFOLLOW.
std::wstring WithoutTrailingSlashes(std::wstring strPath)
{
    while (strPath.size() > 1 && strPath.back() == L'/') {
        strPath.pop_back();
    }
    return strPath;
}

std::wstring AppendName(const std::wstring& strFolder, std::wstring_view strName)
{
    std::wstring strPath = strFolder;
    if (strPath.empty() || strPath.back() != L'/') {
        strPath += L'/';
    }
    strPath += strName;
    return strPath;
}

[[noreturn]] void ThrowCommitFailure(int intErrno, const std::wstring& strDestPath)
{
    const std::wstring strPrefix = L"Unable to write '" + strDestPath + L"':";
    // ThrowErrnoException returns only for 0, which a failed call never leaves.
    core::ThrowErrnoException(intErrno != 0 ? intErrno : EIO, strPrefix.c_str());
    std::abort();
}

std::string FsPathOrThrow(const std::wstring& strPath, const std::wstring& strDestPath)
{
    if (strPath.empty() || HasEmbeddedNul(strPath)) {
        ThrowCommitFailure(EINVAL, strDestPath);
    }
    return core::ToUtf8(strPath);
}

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string ParentFolder(const std::string& strPath)
{
    const std::size_t uintSlash = strPath.find_last_of('/');
    if (uintSlash == std::string::npos) {
        return ".";
    }
    return uintSlash == 0 ? std::string("/") : strPath.substr(0, uintSlash);
}

bool WriteAll(int intFd, const char* pData, std::size_t uintSize)
{
    while (uintSize > 0) {
        const ssize_t intWritten = ::write(intFd, pData, uintSize);
        if (intWritten < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        pData += intWritten;
        uintSize -= static_cast<std::size_t>(intWritten);
    }
    return true;
}

// Copies the whole of one file into another; false with errno set on failure.
bool CopyContents(int intFromFd, int intToFd)
{
    std::vector<char> buffer(kCopyBlockBytes);
    for (;;) {
        const ssize_t intRead = ::read(intFromFd, buffer.data(), buffer.size());
        if (intRead < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (intRead == 0) {
            return true;
        }
        if (!WriteAll(intToFd, buffer.data(), static_cast<std::size_t>(intRead))) {
            return false;
        }
    }
}

// Whether a failed rename means that the file system does not know the
// flag (or the system the call).
bool IsFlagRefused(int intErrno)
{
    return intErrno == EINVAL || intErrno == ENOSYS || intErrno == EOPNOTSUPP;
}

// The commit across file systems: the copy gets a hidden new name beside the
// destination and takes the final name only once it is complete on disk.
CommitResult CopyAcrossFileSystems(const std::string& strFrom, const std::string& strTo,
                                   const std::wstring& strDestPath, CommitMode mode)
{
    struct stat destination {};
    if (::lstat(strTo.c_str(), &destination) == 0) {
        // Nothing is copied for a name that is taken already.
        if (mode == CommitMode::NoReplace) {
            return CommitResult::TargetExists;
        }
        if (S_ISDIR(destination.st_mode)) {
            ThrowCommitFailure(EISDIR, strDestPath);
        }
    }
    UniqueFd source(::open(strFrom.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat sourceInfo {};
    if (!source.IsOpen() || ::fstat(source.Get(), &sourceInfo) != 0) {
        ThrowCommitFailure(errno, strDestPath);
    }
    const std::string strFolder = ParentFolder(strTo);
    UniqueFd folder(::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsOpen()) {
        ThrowCommitFailure(errno, strDestPath);
    }
    std::string strCopyName;
    UniqueFd copy(CreateLockedCopy(folder.Get(), strCopyName));
    if (!copy.IsOpen()) {
        ThrowCommitFailure(errno, strDestPath);
    }
    PartialFileGuard guard(folder.Get(), strCopyName);
    // The moved file keeps the temporary file's permissions, as a rename does.
    if (::fchmod(copy.Get(), sourceInfo.st_mode & 07777) != 0 ||
        !CopyContents(source.Get(), copy.Get()) || ::fsync(copy.Get()) != 0) {
        ThrowCommitFailure(errno, strDestPath);
    }
    // The stored file carries no marker. From here on the copy is unmarked:
    // a death before the rename leaves a stray copy that no sweep takes,
    // never a marked file under the final name.
    ::fremovexattr(copy.Get(), kCopyMarkerAttribute);
    if (!copy.Close()) {
        ThrowCommitFailure(errno, strDestPath);
    }
    if (mode == CommitMode::NoReplace) {
        if (detail::RenameWithoutReplacing(folder.Get(), strCopyName.c_str(), AT_FDCWD,
                                           strTo.c_str()) != 0) {
            if (errno == EEXIST) {
                return CommitResult::TargetExists;  // the guard removes the copy
            }
            ThrowCommitFailure(errno, strDestPath);
        }
    } else if (::renameat(folder.Get(), strCopyName.c_str(), AT_FDCWD, strTo.c_str()) != 0) {
        ThrowCommitFailure(errno, strDestPath);
    }
    guard.Dismiss();
    // The new name itself is durable only once the folder is flushed.
    ::fsync(folder.Get());
    return CommitResult::Committed;
}

// Empties the folder open as intFolderFd and closes it. Every entry is
// looked at without following links, and a sub-folder is entered through
// O_NOFOLLOW, so a link swapped in after the look is not entered either.
bool EmptyFolder(int intFolderFd)
{
    DIR* pFolder = ::fdopendir(intFolderFd);
    if (pFolder == nullptr) {
        ::close(intFolderFd);
        return false;
    }
    // Names first: removing entries while reading the folder may skip some.
    std::vector<std::string> names;
    while (const dirent* pEntry = ::readdir(pFolder)) {
        if (pEntry->d_name[0] != '.') {
            names.emplace_back(pEntry->d_name);
        }
    }
    for (const std::string& strName : names) {
        struct stat info {};
        if (::fstatat(intFolderFd, strName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            const int intChildFd = ::openat(intFolderFd, strName.c_str(),
                                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (intChildFd >= 0) {
                EmptyFolder(intChildFd);
            }
        } else {
            ::unlinkat(intFolderFd, strName.c_str(), 0);
        }
    }
    ::closedir(pFolder);
    return true;
}

}  // namespace

std::wstring GetTempFolder(const std::wstring& strName)
{
    const std::string strRoot = core::UserTempRoot::Path();
    if (strRoot.empty()) {
        return std::wstring();
    }
    return AppendName(core::FromUtf8(strRoot), strName) + L'/';
}

namespace {

bool IsPrivateFolder(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Makes sure the folder exists (its last level only, mode 0700, and the
// per-user root when that is its missing parent) and opens it, checked on
// the open folder (so what is checked is what is used) to be a real
// directory of the current user that no one else may write: a folder in a
// shared directory can be planted by anyone. The descriptor (and in info
// what it is), or -1 with hr (and errno) set.
int OpenTempFolder(const std::wstring& strTrimmed, HRESULT& hr, struct stat& info)
{
    const std::string strFolderUtf8 = core::ToUtf8(strTrimmed);
    if (const int intError = core::UserTempRoot::CreateFolderIn(strFolderUtf8)) {
        errno = intError;
        hr = HResultFromErrno(intError);
        return -1;
    }
    const int intFd =
        ::open(strFolderUtf8.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (intFd < 0) {
        // A symbolic link or a file where the folder should be.
        hr = errno == ELOOP || errno == ENOTDIR ? E_ACCESSDENIED : HResultFromErrno(errno);
        return -1;
    }
    if (::fstat(intFd, &info) != 0) {
        hr = HResultFromErrno(errno);
    } else if (!IsPrivateFolder(info)) {
        hr = E_ACCESSDENIED;
    } else {
        hr = S_OK;
        return intFd;
    }
    ::close(intFd);
    return -1;
}

// The temporary folder the thread used last, kept open (see
// CreateTempFileStream); closed when the thread ends.
struct KeptFolder {
    std::wstring strTrimmed;
    int intFd = -1;
    dev_t uintDevice = 0;
    ino_t uintInode = 0;
    uid_t uintOwner = 0;

    ~KeptFolder() { Forget(); }
    void Forget()
    {
        if (intFd >= 0) {
            ::close(intFd);
            intFd = -1;
        }
    }
};
thread_local KeptFolder t_keptFolder;

// The open, checked folder: the kept one while the path still names that
// very directory and it is still private (one lstat), else made, opened and
// checked anew. Owned by the thread's record; -1 with hr set.
int KeptTempFolder(const std::wstring& strTrimmed, HRESULT& hr)
{
    KeptFolder& kept = t_keptFolder;
    const std::string strFolderUtf8 = core::ToUtf8(strTrimmed);
    if (kept.intFd >= 0 && kept.strTrimmed == strTrimmed) {
        struct stat info {};
        if (::lstat(strFolderUtf8.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_dev == kept.uintDevice && info.st_ino == kept.uintInode &&
            info.st_uid == kept.uintOwner && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
            return kept.intFd;
        }
    }
    kept.Forget();
    struct stat info {};
    const int intFd = OpenTempFolder(strTrimmed, hr, info);
    if (intFd >= 0) {
        kept.strTrimmed = strTrimmed;
        kept.intFd = intFd;
        kept.uintDevice = info.st_dev;
        kept.uintInode = info.st_ino;
        kept.uintOwner = info.st_uid;
    }
    return intFd;
}

}  // namespace

HRESULT CreateTempFileName(const std::wstring& strFolder, std::wstring& strPath)
{
    const std::wstring strTrimmed = WithoutTrailingSlashes(strFolder);
    if (strTrimmed.empty() || HasEmbeddedNul(strTrimmed)) {
        return E_INVALIDARG;
    }
    HRESULT hr = S_OK;
    struct stat info {};
    UniqueFd folder(OpenTempFolder(strTrimmed, hr, info));
    if (!folder.IsOpen()) {
        return hr;
    }
    std::string strName;
    UniqueFd file(CreateUniqueFile(folder.Get(), "PBT", S_IRUSR | S_IWUSR, strName));
    if (!file.IsOpen()) {
        return HResultFromErrno(errno);
    }
    strPath = AppendName(strTrimmed, core::FromUtf8(strName));
    return S_OK;
}

HRESULT CreateTempFileStream(const std::wstring& strFolder,
                             std::unique_ptr<core::FileStream>& pStream, std::wstring& strPath)
{
    const std::wstring strTrimmed = WithoutTrailingSlashes(strFolder);
    if (strTrimmed.empty() || HasEmbeddedNul(strTrimmed)) {
        return E_INVALIDARG;
    }
    HRESULT hr = S_OK;
    const int intFolderFd = KeptTempFolder(strTrimmed, hr);
    if (intFolderFd < 0) {
        return hr;
    }
    std::string strName;
    const int intFd = CreateUniqueFile(intFolderFd, "PBT", S_IRUSR | S_IWUSR, strName, O_RDWR);
    if (intFd < 0) {
        return HResultFromErrno(errno);
    }
    pStream = core::FileStream::AdoptNewFile(intFd);
    strPath = AppendName(strTrimmed, core::FromUtf8(strName));
    return S_OK;
}

bool DeleteFolderContents(const std::wstring& strFolder)
{
    const std::wstring strTrimmed = WithoutTrailingSlashes(strFolder);
    if (strTrimmed.empty() || HasEmbeddedNul(strTrimmed)) {
        return false;
    }
    const int intFd =
        ::open(core::ToUtf8(strTrimmed).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return intFd >= 0 && EmptyFolder(intFd);
}

namespace {

// The process's file-creation mask, read without changing it (umask(2)
// would, and that races with other threads creating files).
mode_t ProcessUmask()
{
    std::FILE* pStatus = std::fopen("/proc/self/status", "re");
    mode_t uintMask = 022;
    if (pStatus == nullptr) {
        return uintMask;
    }
    char line[256];
    while (std::fgets(line, sizeof line, pStatus) != nullptr) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            unsigned uintValue = 0;
            const char* pBegin = line + 6;
            while (*pBegin == ' ' || *pBegin == '\t') {
                ++pBegin;
            }
            const char* pEnd = pBegin + std::strcspn(pBegin, "\n");
            if (std::from_chars(pBegin, pEnd, uintValue, 8).ec == std::errc()) {
                uintMask = static_cast<mode_t>(uintValue & 0777);
            }
            break;
        }
    }
    std::fclose(pStatus);
    return uintMask;
}

}  // namespace

void RemoveAbandonedCopies(const std::wstring& strFolder)
{
    if (strFolder.empty() || HasEmbeddedNul(strFolder)) {
        return;
    }
    UniqueFd folder(::open(core::ToUtf8(strFolder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.IsOpen()) {
        SweepAbandonedCopies(folder.Get());
    }
}

void SetStoredFileMode(const std::wstring& strTempPath)
{
    if (!strTempPath.empty() && !HasEmbeddedNul(strTempPath)) {
        ::chmod(core::ToUtf8(strTempPath).c_str(), 0666 & ~ProcessUmask());
    }
}

std::uint32_t StoredFileMode()
{
    return 0666 & ~ProcessUmask();
}

void CommitFile(const std::wstring& strTempPath, const std::wstring& strDestPath)
{
    CommitFile(strTempPath, strDestPath, StoredFileMode());
}

CommitResult CommitFile(const std::wstring& strTempPath, const std::wstring& strDestPath,
                        std::uint32_t uintStoredMode, CommitMode mode)
{
    const std::string strFrom = FsPathOrThrow(strTempPath, strDestPath);
    const std::string strTo = FsPathOrThrow(strDestPath, strDestPath);
    // The temporary file was private (0600); the stored file is the user's
    // like any file they save.
    ::chmod(strFrom.c_str(), static_cast<mode_t>(uintStoredMode & 07777));
    const int intMoved =
        mode == CommitMode::NoReplace
            ? detail::RenameWithoutReplacing(AT_FDCWD, strFrom.c_str(), AT_FDCWD, strTo.c_str())
            : ::rename(strFrom.c_str(), strTo.c_str());
    if (intMoved == 0) {
        return CommitResult::Committed;
    }
    if (errno == EEXIST && mode == CommitMode::NoReplace) {
        return CommitResult::TargetExists;
    }
    if (errno != EXDEV) {
        ThrowCommitFailure(errno, strDestPath);
    }
    if (CopyAcrossFileSystems(strFrom, strTo, strDestPath, mode) == CommitResult::TargetExists) {
        return CommitResult::TargetExists;
    }
    // The file is in place; a source that cannot be removed goes with the
    // temporary folder's clean-up.
    ::unlink(strFrom.c_str());
    return CommitResult::Committed;
}

namespace detail {

int RenameWithoutReplacing(int intFromFolderFd, const char* strFrom, int intToFolderFd,
                           const char* strTo)
{
    if (::renameat2(intFromFolderFd, strFrom, intToFolderFd, strTo, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (!IsFlagRefused(errno)) {
        return -1;
    }
    return LinkThenUnlink(intFromFolderFd, strFrom, intToFolderFd, strTo);
}

int LinkThenUnlink(int intFromFolderFd, const char* strFrom, int intToFolderFd, const char* strTo)
{
    if (::linkat(intFromFolderFd, strFrom, intToFolderFd, strTo, 0) == 0) {
        // The file is in place under both names; the old one goes. One that
        // cannot go is a temporary file the folder's clean-up removes.
        ::unlinkat(intFromFolderFd, strFrom, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) {
        return -1;  // EEXIST among them: an entry is there
    }
    // No hard links either (FAT, some FUSE file systems): a look just
    // before the rename is all such a file system allows.
    struct stat info {};
    if (::fstatat(intToFolderFd, strTo, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(intFromFolderFd, strFrom, intToFolderFd, strTo);
}

}  // namespace detail

}  // namespace pullbay::engine
