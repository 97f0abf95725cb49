#pragma once
// A core::IStream over a file descriptor that the stream owns and closes once,
// when it goes; the temporary files of the downloads are written through it.
// Move-only; one thread at a time may use a stream.
#include <cstdint>
#include <memory>
#include <string>

#include "core/IStream.h"

namespace pullbay::core {

class FileStream final : public IStream {
public:
    // Bits of the mode word.
    static constexpr std::uint32_t kModeRead = 1;
    static constexpr std::uint32_t kModeWrite = 2;
    // Creates the file, or cuts an existing one to 0 bytes; needs kModeWrite.
    static constexpr std::uint32_t kModeCreateAlways = 4;

    // Opens strPath (UTF-8). Without kModeCreateAlways the file must exist. A
    // symbolic link as the last component is refused, created files get mode
    // 0600, and only regular files are accepted (a device or a pipe could
    // block the caller). Failures are HResultFromWin32 of the file system's
    // code; a mode word without read or write, with unknown bits or with
    // create-always but no write gives E_INVALIDARG. pStream is set only on
    // success.
    static HRESULT Open(const std::string& strPath, std::uint32_t uintMode,
                        std::unique_ptr<FileStream>& pStream);

    // Takes ownership of an open descriptor (any kind of file).
    explicit FileStream(int intFileDescriptor) noexcept;
    // Takes ownership of the descriptor of a regular file that was just
    // created, empty, at position 0: the stream starts out knowing both.
    static std::unique_ptr<FileStream> AdoptNewFile(int intFileDescriptor);
    ~FileStream() override;
    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Reads until uintSize bytes or the end of the file.
    HRESULT Read(void* pData, std::uint32_t uintSize, std::uint32_t* pRead) override;
    // Writes all bytes unless the file system fails; then the failure comes
    // back (disk full: HResultFromWin32(112)) and *pWritten counts the bytes
    // that did reach the file.
    HRESULT Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten) override;
    // A position before the start of the file gives E_INVALIDARG.
    HRESULT Seek(std::int64_t intOffset, StreamSeekOrigin origin,
                 std::uint64_t* pNewPosition) override;
    HRESULT SetSize(std::uint64_t uintSize) override;
    // The size of the file in bytes.
    HRESULT Stat(std::uint64_t* pSize) const;

    // A stream that was moved from has no file: every call gives E_UNEXPECTED.
    bool IsOpen() const { return m_intFileDescriptor >= 0; }

private:
    static constexpr std::int64_t kUnknown = -1;

    void Close() noexcept;

    int m_intFileDescriptor;
    // The descriptor's offset and the file's size as this stream left them,
    // or kUnknown. The stream is the only user of its private file, so what
    // it knows spares the system calls of a seek to where it already is, a
    // cut to the size it already has, and a size query.
    std::int64_t m_intPosition = kUnknown;
    std::int64_t m_intSize = kUnknown;
};

}  // namespace pullbay::core
