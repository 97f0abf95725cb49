#pragma once
// The I/O branch of the hierarchy: file-system failures, each open failure
// with a class of its own so a handler can tell "not found" from "denied".
#include "core/SystemExceptions.h"

namespace pullbay::core {

class IoException : public SystemException {
public:
    static constexpr std::uint32_t kTypeId = 4;
    IoException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                HRESULT intCode = E_FAIL, const wchar_t* strMessage = nullptr);
};

class FileSystemException : public IoException {
public:
    static constexpr std::uint32_t kTypeId = 10;
    FileSystemException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                        HRESULT intCode = E_FAIL, const wchar_t* strMessage = nullptr);
};

// "Unable to create temporary file[ '%s']."
class CreateTempFileException : public FileSystemException {
public:
    static constexpr std::uint32_t kTypeId = 11;
    CreateTempFileException(const wchar_t* strFunction, const wchar_t* strFile,
                            std::uint32_t uintLine, const wchar_t* strArgument = nullptr);
};

// "Unable to open file[ '%s']."
class FileOpenException : public FileSystemException {
public:
    static constexpr std::uint32_t kTypeId = 13;
    FileOpenException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                      const wchar_t* strArgument = nullptr);

protected:
    FileOpenException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                      HRESULT intCode, const wchar_t* strMessage);
};

// Message: the system's text (given, or that of Windows error 2).
class FileNotFoundException : public FileOpenException {
public:
    static constexpr std::uint32_t kTypeId = 14;
    FileNotFoundException(const wchar_t* strFunction, const wchar_t* strFile,
                          std::uint32_t uintLine, const wchar_t* strMessage = nullptr);
};

// Message: the system's text (given, or that of Windows error 3).
class PathNotFoundException : public FileOpenException {
public:
    static constexpr std::uint32_t kTypeId = 15;
    PathNotFoundException(const wchar_t* strFunction, const wchar_t* strFile,
                          std::uint32_t uintLine, const wchar_t* strMessage = nullptr);
};

// "Access to path you specified is denied." / "Access to path '%s' is denied."
class AccessDeniedException : public FileOpenException {
public:
    static constexpr std::uint32_t kTypeId = 16;
    AccessDeniedException(const wchar_t* strFunction, const wchar_t* strFile,
                          std::uint32_t uintLine, const wchar_t* strArgument = nullptr);
};

// Message: the system's text (given, or that of Windows error 123).
class InvalidNameException : public FileOpenException {
public:
    static constexpr std::uint32_t kTypeId = 17;
    InvalidNameException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                         const wchar_t* strMessage = nullptr);
};

// Message: the system's text (given, or that of Windows error 183).
class CreateFileException : public FileSystemException {
public:
    static constexpr std::uint32_t kTypeId = 18;
    CreateFileException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                        const wchar_t* strMessage = nullptr);
};

}  // namespace pullbay::core
