#include "core/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

#include "core/Win32Errors.h"

namespace pullbay::core {

namespace {

constexpr std::uint32_t kKnownModeBits =
    FileStream::kModeRead | FileStream::kModeWrite | FileStream::kModeCreateAlways;

HRESULT HResultFromErrno(int intErrno)
{
    return HResultFromWin32(Win32CodeFromErrno(intErrno));
}

// The open(2) flags for a mode word, or -1 for a word that makes no sense.
int OpenFlagsFor(std::uint32_t uintMode)
{
    if ((uintMode & ~kKnownModeBits) != 0) {
        return -1;
    }
    const bool bRead = (uintMode & FileStream::kModeRead) != 0;
    const bool bWrite = (uintMode & FileStream::kModeWrite) != 0;
    int intFlags = 0;
    if (bRead && bWrite) {
        intFlags = O_RDWR;
    } else if (bWrite) {
        intFlags = O_WRONLY;
    } else if (bRead) {
        intFlags = O_RDONLY;
    } else {
        return -1;
    }
    if ((uintMode & FileStream::kModeCreateAlways) != 0) {
        // O_TRUNC with O_RDONLY is undefined; creating without writing is
        // not a mode anybody asks for.
        if (!bWrite) {
            return -1;
        }
        intFlags |= O_CREAT | O_TRUNC;
    }
    // O_NONBLOCK only for the open itself: a pipe opened for reading would
    // wait for a writer. It is cleared again once the file is known to be
    // regular.
    return intFlags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
}

}  // namespace

HRESULT FileStream::Open(const std::string& strPath, std::uint32_t uintMode,
                         std::unique_ptr<FileStream>& pStream)
{
    const int intFlags = OpenFlagsFor(uintMode);
    if (intFlags < 0) {
        return E_INVALIDARG;
    }
    // The C string would end at an embedded NUL and name another file.
    if (strPath.find('\0') != std::string::npos) {
        return HResultFromWin32(kWin32InvalidName);
    }
    int intFd = -1;
    do {
        intFd = ::open(strPath.c_str(), intFlags, S_IRUSR | S_IWUSR);
    } while (intFd < 0 && errno == EINTR);
    if (intFd < 0) {
        return HResultFromErrno(errno);
    }
    FileStream stream(intFd);

    struct stat info {};
    if (::fstat(intFd, &info) != 0) {
        return HResultFromErrno(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return HResultFromWin32(kWin32AccessDenied);
    }
    const int intStatusFlags = ::fcntl(intFd, F_GETFL);
    if (intStatusFlags < 0 || ::fcntl(intFd, F_SETFL, intStatusFlags & ~O_NONBLOCK) != 0) {
        return HResultFromErrno(errno);
    }
    stream.m_intPosition = 0;
    stream.m_intSize = static_cast<std::int64_t>(info.st_size);
    pStream = std::make_unique<FileStream>(std::move(stream));
    return S_OK;
}

std::unique_ptr<FileStream> FileStream::AdoptNewFile(int intFileDescriptor)
{
    auto pStream = std::make_unique<FileStream>(intFileDescriptor);
    pStream->m_intPosition = 0;
    pStream->m_intSize = 0;
    return pStream;
}

FileStream::FileStream(int intFileDescriptor) noexcept : m_intFileDescriptor(intFileDescriptor)
{
}

FileStream::~FileStream()
{
    Close();
}

FileStream::FileStream(FileStream&& other) noexcept
    : m_intFileDescriptor(std::exchange(other.m_intFileDescriptor, -1)),
      m_intPosition(std::exchange(other.m_intPosition, kUnknown)),
      m_intSize(std::exchange(other.m_intSize, kUnknown))
{
}

FileStream& FileStream::operator=(FileStream&& other) noexcept
{
    if (this != &other) {
        Close();
        m_intFileDescriptor = std::exchange(other.m_intFileDescriptor, -1);
        m_intPosition = std::exchange(other.m_intPosition, kUnknown);
        m_intSize = std::exchange(other.m_intSize, kUnknown);
    }
    return *this;
}

void FileStream::Close() noexcept
{
    if (m_intFileDescriptor >= 0) {
        // Not retried on EINTR: Linux releases the descriptor either way, and
        // a second close could hit a descriptor another thread just opened.
        ::close(m_intFileDescriptor);
        m_intFileDescriptor = -1;
    }
}

HRESULT FileStream::Read(void* pData, std::uint32_t uintSize, std::uint32_t* pRead)
{
    if (pRead != nullptr) {
        *pRead = 0;
    }
    if (!IsOpen()) {
        return E_UNEXPECTED;
    }
    if (pData == nullptr && uintSize > 0) {
        return E_POINTER;
    }
    auto* pBytes = static_cast<char*>(pData);
    std::uint32_t uintDone = 0;
    while (uintDone < uintSize) {
        const ssize_t intCount =
            ::read(m_intFileDescriptor, pBytes + uintDone, uintSize - uintDone);
        if (intCount < 0) {
            if (errno == EINTR) {
                continue;
            }
            return HResultFromErrno(errno);
        }
        if (intCount == 0) {
            break;
        }
        uintDone += static_cast<std::uint32_t>(intCount);
        if (m_intPosition != kUnknown) {
            m_intPosition += intCount;
        }
        if (pRead != nullptr) {
            *pRead = uintDone;
        }
    }
    return S_OK;
}

HRESULT FileStream::Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten)
{
    if (pWritten != nullptr) {
        *pWritten = 0;
    }
    if (!IsOpen()) {
        return E_UNEXPECTED;
    }
    if (pData == nullptr && uintSize > 0) {
        return E_POINTER;
    }
    const auto* pBytes = static_cast<const char*>(pData);
    std::uint32_t uintDone = 0;
    while (uintDone < uintSize) {
        const ssize_t intCount =
            ::write(m_intFileDescriptor, pBytes + uintDone, uintSize - uintDone);
        if (intCount < 0) {
            if (errno == EINTR) {
                continue;
            }
            return HResultFromErrno(errno);
        }
        if (intCount == 0) {
            // No progress and no reason: stop rather than spin.
            return HResultFromWin32(kWin32GenericFailure);
        }
        uintDone += static_cast<std::uint32_t>(intCount);
        if (m_intPosition != kUnknown) {
            m_intPosition += intCount;
            if (m_intSize != kUnknown) {
                m_intSize = std::max(m_intSize, m_intPosition);
            }
        } else {
            m_intSize = kUnknown;
        }
        if (pWritten != nullptr) {
            *pWritten = uintDone;
        }
    }
    return S_OK;
}

HRESULT FileStream::Seek(std::int64_t intOffset, StreamSeekOrigin origin,
                         std::uint64_t* pNewPosition)
{
    if (!IsOpen()) {
        return E_UNEXPECTED;
    }
    int intWhence = SEEK_SET;
    std::int64_t intBase = 0;
    if (origin == StreamSeekOrigin::Current) {
        intWhence = SEEK_CUR;
        intBase = m_intPosition;
    } else if (origin == StreamSeekOrigin::End) {
        intWhence = SEEK_END;
        intBase = m_intSize;
    }
    if (intBase != kUnknown && m_intPosition != kUnknown && intOffset == m_intPosition - intBase) {
        // Already there (a rewind of a new file, the end after the last write).
        if (pNewPosition != nullptr) {
            *pNewPosition = static_cast<std::uint64_t>(m_intPosition);
        }
        return S_OK;
    }
    const off_t intPosition =
        ::lseek(m_intFileDescriptor, static_cast<off_t>(intOffset), intWhence);
    if (intPosition < 0) {
        // lseek says EINVAL for a position before the start.
        return errno == EINVAL ? E_INVALIDARG : HResultFromErrno(errno);
    }
    m_intPosition = static_cast<std::int64_t>(intPosition);
    if (pNewPosition != nullptr) {
        *pNewPosition = static_cast<std::uint64_t>(intPosition);
    }
    return S_OK;
}

HRESULT FileStream::SetSize(std::uint64_t uintSize)
{
    if (!IsOpen()) {
        return E_UNEXPECTED;
    }
    if (uintSize > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        return E_INVALIDARG;
    }
    if (m_intSize != kUnknown && static_cast<std::uint64_t>(m_intSize) == uintSize) {
        return S_OK;
    }
    int intResult = 0;
    do {
        intResult = ::ftruncate(m_intFileDescriptor, static_cast<off_t>(uintSize));
    } while (intResult != 0 && errno == EINTR);
    if (intResult != 0) {
        m_intSize = kUnknown;
        return HResultFromErrno(errno);
    }
    m_intSize = static_cast<std::int64_t>(uintSize);
    return S_OK;
}

HRESULT FileStream::Stat(std::uint64_t* pSize) const
{
    if (pSize == nullptr) {
        return E_POINTER;
    }
    *pSize = 0;
    if (!IsOpen()) {
        return E_UNEXPECTED;
    }
    if (m_intSize != kUnknown) {
        *pSize = static_cast<std::uint64_t>(m_intSize);
        return S_OK;
    }
    struct stat info {};
    if (::fstat(m_intFileDescriptor, &info) != 0) {
        return HResultFromErrno(errno);
    }
    *pSize = static_cast<std::uint64_t>(info.st_size);
    return S_OK;
}

}  // namespace pullbay::core
