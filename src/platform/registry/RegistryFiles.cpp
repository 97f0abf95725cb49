#include "platform/registry/RegistryFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>

#include "core/ThreadId.h"
#include "core/Win32Errors.h"

namespace pullbay::platform {

namespace {

std::atomic<std::uint64_t> g_uintTemporaryCounter{0};

void AppendNumber(std::string& out, std::uint64_t uintValue)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, uintValue);
    out.append(buffer, result.ptr);
}

HRESULT WriteAll(int hFile, std::span<const std::uint8_t> bytes)
{
    std::size_t uintDone = 0;
    while (uintDone < bytes.size()) {
        const ssize_t intWritten = ::write(hFile, bytes.data() + uintDone, bytes.size() - uintDone);
        if (intWritten < 0) {
            if (errno == EINTR) {
                continue;
            }
            return HResultFromErrno(errno);
        }
        if (intWritten == 0) {
            return HResultFromErrno(EIO);
        }
        uintDone += static_cast<std::size_t>(intWritten);
    }
    return S_OK;
}

HRESULT CloseChecked(FileDescriptor& file)
{
    // Ownership ends here whatever close reports: on Linux the descriptor is
    // gone even after EINTR, so close is never retried.
    if (::close(file.Release()) != 0 && errno != EINTR) {
        return HResultFromErrno(errno);
    }
    return S_OK;
}

HRESULT RemoveDirectoryContents(int hDirectory)
{
    std::vector<std::string> names;
    HRESULT hrResult = ListDirectory(hDirectory, names);
    for (const std::string& strName : names) {
        const HRESULT hr = RemoveTree(hDirectory, strName);
        if (Failed(hr) && Succeeded(hrResult)) {
            hrResult = hr;
        }
    }
    return hrResult;
}

}  // namespace

HRESULT HResultFromErrno(int intErrno)
{
    return HResultFromWin32(core::Win32CodeFromErrno(intErrno));
}

std::string MakeTemporaryEntryName(const char* strPrefix)
{
    std::string strName(strPrefix);
    AppendNumber(strName, static_cast<std::uint64_t>(::getpid()));
    strName.push_back('-');
    AppendNumber(strName, core::CurrentThreadId());
    strName.push_back('-');
    AppendNumber(strName, g_uintTemporaryCounter.fetch_add(1, std::memory_order_relaxed));
    return strName;
}

HRESULT WriteFileAtomically(int hDirectory, const std::string& strName,
                            std::span<const std::uint8_t> bytes)
{
    std::string strTemporary;
    FileDescriptor file;
    // A name left by a crashed process with the same id is skipped.
    for (int intAttempt = 0; intAttempt < 100 && !file.IsValid(); ++intAttempt) {
        strTemporary = MakeTemporaryEntryName(".tmp-");
        file.Reset(::openat(hDirectory, strTemporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file.IsValid() && errno != EEXIST) {
            return HResultFromErrno(errno);
        }
    }
    if (!file.IsValid()) {
        return HResultFromErrno(EEXIST);
    }
    HRESULT hr = WriteAll(file.Get(), bytes);
    if (Succeeded(hr) && ::fsync(file.Get()) != 0) {
        hr = HResultFromErrno(errno);
    }
    if (Succeeded(hr)) {
        hr = CloseChecked(file);
    }
    if (Succeeded(hr) &&
        ::renameat(hDirectory, strTemporary.c_str(), hDirectory, strName.c_str()) != 0) {
        hr = HResultFromErrno(errno);
    }
    if (Failed(hr)) {
        file.Reset();
        ::unlinkat(hDirectory, strTemporary.c_str(), 0);
        return hr;
    }
    return SyncDescriptor(hDirectory);
}

HRESULT ReadWholeFile(int hDirectory, const std::string& strName, std::vector<std::uint8_t>& bytes)
{
    FileDescriptor file(::openat(hDirectory, strName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.IsValid()) {
        return HResultFromErrno(errno);
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        return HResultFromErrno(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return HResultFromErrno(ENOENT);
    }
    std::vector<std::uint8_t> content;
    content.reserve(static_cast<std::size_t>(status.st_size));
    std::uint8_t buffer[8192];
    for (;;) {
        const ssize_t intRead = ::read(file.Get(), buffer, sizeof buffer);
        if (intRead < 0) {
            if (errno == EINTR) {
                continue;
            }
            return HResultFromErrno(errno);
        }
        if (intRead == 0) {
            break;
        }
        content.insert(content.end(), buffer, buffer + intRead);
    }
    bytes = std::move(content);
    return S_OK;
}

HRESULT ListDirectory(int hDirectory, std::vector<std::string>& names)
{
    // A descriptor of its own: the listing's position must not be shared
    // with the caller's descriptor.
    const int hListing = ::openat(hDirectory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (hListing < 0) {
        return HResultFromErrno(errno);
    }
    DIR* pListing = ::fdopendir(hListing);
    if (pListing == nullptr) {
        const int intErrno = errno;
        ::close(hListing);
        return HResultFromErrno(intErrno);
    }
    names.clear();
    errno = 0;
    while (const dirent* pEntry = ::readdir(pListing)) {
        const std::string_view strName(pEntry->d_name);
        if (strName != "." && strName != "..") {
            names.emplace_back(strName);
        }
        errno = 0;
    }
    const int intErrno = errno;
    ::closedir(pListing);
    return intErrno == 0 ? S_OK : HResultFromErrno(intErrno);
}

HRESULT OpenDirectory(int hDirectory, const std::string& strName, FileDescriptor& directory)
{
    const int hOpened =
        ::openat(hDirectory, strName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (hOpened < 0) {
        // A symbolic link or a plain file where a key should be: no such key.
        return HResultFromErrno(errno == ELOOP || errno == ENOTDIR ? ENOENT : errno);
    }
    directory.Reset(hOpened);
    return S_OK;
}

HRESULT RemoveTree(int hDirectory, const std::string& strName)
{
    struct stat status {};
    if (::fstatat(hDirectory, strName.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return HResultFromErrno(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        FileDescriptor directory;
        HRESULT hr = OpenDirectory(hDirectory, strName, directory);
        if (Succeeded(hr)) {
            hr = RemoveDirectoryContents(directory.Get());
        }
        if (Failed(hr)) {
            return hr;
        }
        return ::unlinkat(hDirectory, strName.c_str(), AT_REMOVEDIR) == 0 ? S_OK
                                                                          : HResultFromErrno(errno);
    }
    return ::unlinkat(hDirectory, strName.c_str(), 0) == 0 ? S_OK : HResultFromErrno(errno);
}

HRESULT SyncDescriptor(int hFile)
{
    return ::fsync(hFile) == 0 ? S_OK : HResultFromErrno(errno);
}

}  // namespace pullbay::platform
