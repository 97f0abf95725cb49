#include "core/Win32Errors.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "core/Exceptions.h"
#include "core/TextFormat.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"

namespace pullbay::core {

namespace {

struct Win32Text {
    std::uint32_t uintCode;
    const wchar_t* strText;
};

constexpr Win32Text kWin32Texts[] = {
    {0, L"The operation completed successfully."},
    {1, L"Incorrect function."},
    {2, L"The system cannot find the file specified."},
    {3, L"The system cannot find the path specified."},
    {4, L"The system cannot open the file."},
    {5, L"Access is denied."},
    {6, L"The handle is invalid."},
    {8, L"Not enough memory resources are available to process this command."},
    {14, L"Not enough memory resources are available to complete this operation."},
    {19, L"The media is write protected."},
    {31, L"A device attached to the system is not functioning."},
    {32, L"The process cannot access the file because it is being used by another process."},
    {39, L"The disk is full."},
    {80, L"The file exists."},
    {87, L"The parameter is incorrect."},
    {112, L"There is not enough space on the disk."},
    {122, L"The data area passed to a system call is too small."},
    {123, L"The filename, directory name, or volume label syntax is incorrect."},
    {145, L"The directory is not empty."},
    {183, L"Cannot create a file when that file already exists."},
    {206, L"The filename or extension is too long."},
};

std::wstring NumberText(std::uint32_t uintValue)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, uintValue);
    return std::wstring(buffer, result.ptr);
}

// Every exception of this file names "ThrowWin32Exception" as its routine.
// The system's text alone is its reason: the prefix is where paths go.
template <typename ExceptionType, typename... Extra>
[[noreturn]] void ThrowNamed(std::uint32_t uintLine, const std::wstring& strMessage,
                             const std::wstring& strReason, Extra... extra)
{
    ExceptionType failure(L"ThrowWin32Exception", PB_SOURCE_FILE, uintLine, nullptr, extra...);
    failure.SetMessage(strMessage);
    failure.SetReason(strReason);
    RecordAndThrow(failure);
}

[[noreturn]] void ThrowForCode(std::uint32_t uintCode, const std::wstring& strMessage,
                               const std::wstring& strReason)
{
    switch (uintCode) {
    case kWin32FileNotFound:
        ThrowNamed<FileNotFoundException>(__LINE__, strMessage, strReason);
    case kWin32PathNotFound:
        ThrowNamed<PathNotFoundException>(__LINE__, strMessage, strReason);
    case kWin32AccessDenied:
        ThrowNamed<AccessDeniedException>(__LINE__, strMessage, strReason);
    case kWin32InvalidName:
        ThrowNamed<InvalidNameException>(__LINE__, strMessage, strReason);
    case kWin32AlreadyExists:
        ThrowNamed<CreateFileException>(__LINE__, strMessage, strReason);
    default:
        ThrowNamed<Win32Exception>(__LINE__, strMessage, strReason, uintCode);
    }
}

std::wstring ComposeMessage(const wchar_t* strPrefix, const std::wstring& strSystemText)
{
    if (strPrefix == nullptr) {
        return FormatText(kSystemTextBufferUnits, L"%s", {strSystemText});
    }
    return FormatText(kSystemTextBufferUnits, L"%s %s", {strPrefix, strSystemText});
}

}  // namespace

std::wstring Win32ErrorText(std::uint32_t uintCode)
{
    for (const Win32Text& entry : kWin32Texts) {
        if (entry.uintCode == uintCode) {
            return entry.strText;
        }
    }
    return L"Unknown error " + NumberText(uintCode) + L".";
}

std::uint32_t Win32CodeFromErrno(int intErrno)
{
    switch (intErrno) {
    case 0:
        return kWin32Success;
    case ENOENT:
        return kWin32FileNotFound;
    case ENOTDIR:
        return kWin32PathNotFound;
    case EACCES:
    case EPERM:
        return kWin32AccessDenied;
    case ENAMETOOLONG:
    case EINVAL:
        return kWin32InvalidName;
    case EEXIST:
        return kWin32AlreadyExists;
    case ENOSPC:
    case EDQUOT:
        return kWin32DiskFull;
    default:
        return kWin32GenericFailure;
    }
}

std::wstring ErrnoText(int intErrno)
{
    // strerrordesc_np is the English text whatever the locale; a Qt
    // application switches the process to the user's locale.
    const char* strText = ::strerrordesc_np(intErrno);
    if (strText == nullptr) {
        return L"Unknown error " + NumberText(static_cast<std::uint32_t>(intErrno)) + L".";
    }
    return FromUtf8(strText);
}

void ThrowWin32Exception(std::uint32_t uintCode, const wchar_t* strPrefix)
{
    if (uintCode == kWin32Success) {
        return;
    }
    const std::wstring strText = Win32ErrorText(uintCode);
    ThrowForCode(uintCode, ComposeMessage(strPrefix, strText), strText);
}

void ThrowErrnoException(int intErrno, const wchar_t* strPrefix)
{
    if (intErrno == 0) {
        return;
    }
    const std::wstring strText = ErrnoText(intErrno);
    ThrowForCode(Win32CodeFromErrno(intErrno), ComposeMessage(strPrefix, strText), strText);
}

}  // namespace pullbay::core
