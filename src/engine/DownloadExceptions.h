#pragma once
// How a single file of a download run failed; the engine classifies each
// file's result by these classes. Code E_FAIL and an empty message unless
// said otherwise.
#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "engine/CreateDownloadPathException.h"

namespace pullbay::engine {

// The user skipped the file (skip current or all, or Skip for a clash).
class SkippedByUserException : public core::Exception {
public:
    static constexpr std::uint32_t kTypeId = 60;
    SkippedByUserException(const wchar_t* strFunction, const wchar_t* strFile,
                           std::uint32_t uintLine);
};

// The server's MIME type differs from the declared one.
class InvalidMimeTypeException : public core::Exception {
public:
    static constexpr std::uint32_t kTypeId = 61;
    InvalidMimeTypeException(const wchar_t* strFunction, const wchar_t* strFile,
                             std::uint32_t uintLine);
};

// The stored size differs from the declared one.
class InvalidFileSizeException : public core::Exception {
public:
    static constexpr std::uint32_t kTypeId = 62;
    InvalidFileSizeException(const wchar_t* strFunction, const wchar_t* strFile,
                             std::uint32_t uintLine);
};

// A local file operation failed: 301 the temporary file, 302 the destination.
// The message says why (the failure behind it, with its path), so that the
// Error event that reports it is never empty.
class FileSystemErrorException : public core::Exception {
public:
    static constexpr std::uint32_t kTypeId = 63;
    FileSystemErrorException(const wchar_t* strFunction, const wchar_t* strFile,
                             std::uint32_t uintLine, std::int32_t intErrorCode,
                             const wchar_t* strReason = nullptr);
    // The cause's message and its reason (without paths) carried over.
    FileSystemErrorException(const wchar_t* strFunction, const wchar_t* strFile,
                             std::uint32_t uintLine, std::int32_t intErrorCode,
                             const core::Exception& cause);
    std::int32_t GetErrorCode() const { return m_intErrorCode; }

private:
    std::int32_t m_intErrorCode;
};

// The transfer reported a failure.
class ConnectionErrorException : public core::Exception {
public:
    static constexpr std::uint32_t kTypeId = 65;
    ConnectionErrorException(const wchar_t* strFunction, const wchar_t* strFile,
                             std::uint32_t uintLine, std::wstring strResponseText,
                             std::int32_t intHttpStatus, std::int32_t intErrorCode);
    const std::wstring& GetResponseText() const { return m_strResponseText; }
    std::int32_t GetHttpStatus() const { return m_intHttpStatus; }
    std::int32_t GetErrorCode() const { return m_intErrorCode; }

private:
    std::wstring m_strResponseText;
    std::int32_t m_intHttpStatus;
    std::int32_t m_intErrorCode;
};

}  // namespace pullbay::engine
