#include "engine/CommitCopies.h"

#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/UniqueFd.h"
#include "engine/TempFiles.h"

namespace pullbay::engine::detail {

namespace {

// GetTempFileName gives up after 65535 names; random 32-bit names collide so
// rarely that a few tries are plenty.
constexpr int kMaxNameAttempts = 100;

using core::UniqueFd;

}  // namespace

// "PBT" + up to eight upper-case hex digits + ".tmp".
std::string NewTempName(std::string_view strPrefix)
{
    thread_local std::mt19937 generator{std::random_device{}()};
    const std::uint32_t uintNumber = static_cast<std::uint32_t>(generator());
    char digits[8];
    const auto result = std::to_chars(digits, digits + sizeof digits, uintNumber, 16);
    std::string strName(strPrefix);
    for (const char* p = digits; p != result.ptr; ++p) {
        strName += (*p >= 'a' && *p <= 'f') ? static_cast<char>(*p - 'a' + 'A') : *p;
    }
    strName += ".tmp";
    return strName;
}

// Creates a new file strPrefix<hex>.tmp in the open folder, opened with
// intAccess (O_WRONLY or O_RDWR); -1 with errno set when that fails for a
// reason other than a name in use.
int CreateUniqueFile(int intFolderFd, std::string_view strPrefix, mode_t uintMode,
                     std::string& strName, int intAccess)
{
    for (int intAttempt = 0; intAttempt < kMaxNameAttempts; ++intAttempt) {
        strName = NewTempName(strPrefix);
        const int intFd = ::openat(intFolderFd, strName.c_str(),
                                   intAccess | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, uintMode);
        if (intFd >= 0 || errno != EEXIST) {
            return intFd;
        }
    }
    errno = EEXIST;
    return -1;
}

namespace {

// The prefix of the hidden copy a commit across file systems makes beside
// its destination.
constexpr std::string_view kCopyPrefix = ".PBT";

// Whether strName is a name NewTempName gives with kCopyPrefix:
// ".PBT" + 1 to 8 upper-case hex digits + ".tmp". Nothing else is ever
// taken for an abandoned copy.
bool IsCopyName(std::string_view strName)
{
    constexpr std::string_view kSuffix = ".tmp";
    if (!strName.starts_with(kCopyPrefix) || !strName.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view strDigits =
        strName.substr(kCopyPrefix.size(), strName.size() - kCopyPrefix.size() - kSuffix.size());
    if (strDigits.empty() || strDigits.size() > 8) {
        return false;
    }
    for (const char ch : strDigits) {
        if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'))) {
            return false;
        }
    }
    return true;
}

// The marker value that names the copy with this inode and name.
std::string CopyMarker(ino_t uintInode, std::string_view strName)
{
    std::string strValue(kCopyMarkerValue);
    strValue += ' ';
    strValue += std::to_string(static_cast<unsigned long long>(uintInode));
    strValue += ' ';
    strValue += strName;
    return strValue;
}

// Whether the open file carries the marker of the copy strName: a file
// named like a copy without it is someone else's.
bool HasCopyMarker(int intFd, ino_t uintInode, std::string_view strName)
{
    const std::string strExpected = CopyMarker(uintInode, strName);
    std::string strValue(strExpected.size() + 1, '\0');
    const ssize_t intSize =
        ::fgetxattr(intFd, kCopyMarkerAttribute, strValue.data(), strValue.size());
    return intSize == static_cast<ssize_t>(strExpected.size()) &&
           strValue.compare(0, strExpected.size(), strExpected) == 0;
}

// Marks the open copy as this program's, under the name it has or is about
// to get. False where the file system keeps no user extended attributes:
// the copy then goes unmarked, and a sweep never takes it.
bool MarkCopy(int intFd, std::string_view strName)
{
    struct stat info {};
    if (::fstat(intFd, &info) != 0) {
        return false;
    }
    const std::string strValue = CopyMarker(info.st_ino, strName);
    return ::fsetxattr(intFd, kCopyMarkerAttribute, strValue.data(), strValue.size(), 0) == 0;
}

}  // namespace

// Removes the copies in the open folder that this program can prove its own
// and abandoned: named like a copy, a regular file of this user with one
// link, carrying the marker that names it, and with a lock that can be
// taken. Each copy is locked (flock) from before it has a name until it has
// its final one, and the lock goes with the process, so a marked copy that
// nobody holds was left by a process that died in the middle of its commit.
void SweepAbandonedCopies(int intFolderFd)
{
    const int intListFd = ::openat(intFolderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (intListFd < 0) {
        return;
    }
    DIR* pFolder = ::fdopendir(intListFd);
    if (pFolder == nullptr) {
        ::close(intListFd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* pEntry = ::readdir(pFolder)) {
        if (IsCopyName(pEntry->d_name)) {
            names.emplace_back(pEntry->d_name);
        }
    }
    ::closedir(pFolder);
    for (const std::string& strName : names) {
        UniqueFd copy(
            ::openat(intFolderFd, strName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        if (!copy.IsOpen() || ::fstat(copy.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_uid != ::geteuid() || opened.st_nlink != 1 ||
            !HasCopyMarker(copy.Get(), opened.st_ino, strName) ||
            ::flock(copy.Get(), LOCK_EX | LOCK_NB) != 0) {
            continue;  // not a copy of ours, or one whose commit is under way
        }
        // Still the file that was locked under that name.
        if (::fstatat(intFolderFd, strName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            ::unlinkat(intFolderFd, strName.c_str(), 0);
        }
    }
}

namespace {

// The path of an open descriptor for linkat: the kernel lets a file opened
// with O_TMPFILE get a name through it without any privilege.
std::string DescriptorPath(int intFd)
{
    return "/proc/self/fd/" + std::to_string(intFd);
}

// A new hidden copy in the open folder, made without a name (O_TMPFILE),
// locked and marked, and only then linked under a fresh copy name: the name
// never exists without the lock and the marker, whenever the process dies.
// -1 with errno set; EOPNOTSUPP (and the like) where the file system or
// the system cannot make such a file, and the caller makes a named one.
int CreateUnnamedCopy(int intFolderFd, std::string& strCopyName)
{
    UniqueFd copy(::openat(intFolderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!copy.IsOpen() || ::flock(copy.Get(), LOCK_EX | LOCK_NB) != 0) {
        return -1;
    }
    const std::string strSelf = DescriptorPath(copy.Get());
    for (int intAttempt = 0; intAttempt < kMaxNameAttempts; ++intAttempt) {
        strCopyName = NewTempName(kCopyPrefix);
        // The marker names the copy's name: set anew for each name tried.
        // A file system without user attributes leaves it unmarked.
        MarkCopy(copy.Get(), strCopyName);
        if (::linkat(AT_FDCWD, strSelf.c_str(), intFolderFd, strCopyName.c_str(),
                     AT_SYMLINK_FOLLOW) == 0) {
            return copy.Release();
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

// A new hidden copy in the open folder, locked for as long as this process
// lives or the descriptor is open, and marked where the file system allows.
int CreateLockedCopy(int intFolderFd, std::string& strCopyName)
{
    const int intUnnamed = CreateUnnamedCopy(intFolderFd, strCopyName);
    if (intUnnamed >= 0) {
        return intUnnamed;
    }
    // Without O_TMPFILE (some file systems, or no /proc to link through),
    // the copy is made under its name, then locked, then marked. A death
    // between the creation and the marker leaves an unmarked, empty copy
    // that no sweep takes: a stray hidden file rather than a risk to a
    // user's.
    for (int intAttempt = 0; intAttempt < kMaxNameAttempts; ++intAttempt) {
        UniqueFd copy(CreateUniqueFile(intFolderFd, kCopyPrefix, S_IRUSR | S_IWUSR, strCopyName));
        if (!copy.IsOpen()) {
            return -1;
        }
        struct stat info {};
        // The lock comes before the marker, so no sweep can take a marked
        // copy of a live commit.
        if (::flock(copy.Get(), LOCK_EX | LOCK_NB) == 0 && ::fstat(copy.Get(), &info) == 0 &&
            info.st_nlink > 0) {
            MarkCopy(copy.Get(), strCopyName);
            return copy.Release();
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace pullbay::engine::detail
