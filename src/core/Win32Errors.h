#pragma once
// Windows error codes as the system's error identity on Linux: one table of
// texts, the errno -> Windows code mapping of the file-system layer, and
// ThrowWin32Exception, which chooses the exception class by code.
#include <cstdint>
#include <string>

namespace pullbay::core {

inline constexpr std::uint32_t kWin32Success = 0;
inline constexpr std::uint32_t kWin32FileNotFound = 2;
inline constexpr std::uint32_t kWin32PathNotFound = 3;
inline constexpr std::uint32_t kWin32AccessDenied = 5;
inline constexpr std::uint32_t kWin32NotEnoughMemory = 8;
inline constexpr std::uint32_t kWin32GenericFailure = 31;  // ERROR_GEN_FAILURE
inline constexpr std::uint32_t kWin32HandleDiskFull = 39;
inline constexpr std::uint32_t kWin32DiskFull = 112;
inline constexpr std::uint32_t kWin32InsufficientBuffer = 122;
inline constexpr std::uint32_t kWin32InvalidName = 123;
inline constexpr std::uint32_t kWin32AlreadyExists = 183;

// The system's text for a Windows error code, at most 2000 UTF-16 units.
std::wstring Win32ErrorText(std::uint32_t uintCode);

// The Windows code for an errno value of the file system: ENOENT 2,
// ENOTDIR 3, EACCES/EPERM 5, ENAMETOOLONG/EINVAL 123, EEXIST 183,
// ENOSPC/EDQUOT 112; anything else the generic code 31.
std::uint32_t Win32CodeFromErrno(int intErrno);

// The C library's text for errno, independent of the process locale.
std::wstring ErrnoText(int intErrno);

// Throws the class that the code calls for (2 FileNotFoundException,
// 3 PathNotFoundException, 5 AccessDeniedException, 123 InvalidNameException,
// 183 CreateFileException, any other Win32Exception); the message is
// "<prefix> <system text>" or the system text alone. Returns for code 0.
void ThrowWin32Exception(std::uint32_t uintCode, const wchar_t* strPrefix = nullptr);

// ThrowWin32Exception for an errno value: class by the mapped Windows code,
// the C library's text as the system's text. Returns for 0.
void ThrowErrnoException(int intErrno, const wchar_t* strPrefix = nullptr);

}  // namespace pullbay::core
