#include "core/FileSystemExceptions.h"

#include <string>

#include "core/ExceptionMessages.h"
#include "core/Win32Errors.h"

namespace pullbay::core {

namespace {

std::wstring SystemTextOr(const wchar_t* strMessage, std::uint32_t uintWin32Code)
{
    return strMessage != nullptr ? std::wstring(strMessage) : Win32ErrorText(uintWin32Code);
}

}  // namespace

IoException::IoException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                         HRESULT intCode, const wchar_t* strMessage)
    : SystemException(strFunction, strFile, uintLine, intCode, strMessage)
{
    SetIdentity(L"IoException", kTypeId);
}

FileSystemException::FileSystemException(const wchar_t* strFunction, const wchar_t* strFile,
                                         std::uint32_t uintLine, HRESULT intCode,
                                         const wchar_t* strMessage)
    : IoException(strFunction, strFile, uintLine, intCode, strMessage)
{
    SetIdentity(L"FileSystemException", kTypeId);
}

CreateTempFileException::CreateTempFileException(const wchar_t* strFunction, const wchar_t* strFile,
                                                 std::uint32_t uintLine, const wchar_t* strArgument)
    : FileSystemException(strFunction, strFile, uintLine, -4112,
                          detail::ChooseMessage(L"Unable to create temporary file.",
                                                L"Unable to create temporary file '%s'.",
                                                strArgument)
                              .c_str())
{
    SetIdentity(L"CreateTempFileException", kTypeId);
    SetReason(L"Unable to create temporary file.");
}

FileOpenException::FileOpenException(const wchar_t* strFunction, const wchar_t* strFile,
                                     std::uint32_t uintLine, const wchar_t* strArgument)
    : FileSystemException(
          strFunction, strFile, uintLine, E_FAIL,
          detail::ChooseMessage(L"Unable to open file.", L"Unable to open file '%s'.", strArgument)
              .c_str())
{
    SetIdentity(L"FileOpenException", kTypeId);
}

FileOpenException::FileOpenException(const wchar_t* strFunction, const wchar_t* strFile,
                                     std::uint32_t uintLine, HRESULT intCode,
                                     const wchar_t* strMessage)
    : FileSystemException(strFunction, strFile, uintLine, intCode, strMessage)
{
    SetIdentity(L"FileOpenException", kTypeId);
}

FileNotFoundException::FileNotFoundException(const wchar_t* strFunction, const wchar_t* strFile,
                                             std::uint32_t uintLine, const wchar_t* strMessage)
    : FileOpenException(strFunction, strFile, uintLine, -7,
                        SystemTextOr(strMessage, kWin32FileNotFound).c_str())
{
    SetIdentity(L"FileNotFoundException", kTypeId);
    SetReason(Win32ErrorText(kWin32FileNotFound));
}

PathNotFoundException::PathNotFoundException(const wchar_t* strFunction, const wchar_t* strFile,
                                             std::uint32_t uintLine, const wchar_t* strMessage)
    : FileOpenException(strFunction, strFile, uintLine, -21545,
                        SystemTextOr(strMessage, kWin32PathNotFound).c_str())
{
    SetIdentity(L"PathNotFoundException", kTypeId);
    SetReason(Win32ErrorText(kWin32PathNotFound));
}

AccessDeniedException::AccessDeniedException(const wchar_t* strFunction, const wchar_t* strFile,
                                             std::uint32_t uintLine, const wchar_t* strArgument)
    : FileOpenException(strFunction, strFile, uintLine, -9,
                        detail::ChooseMessage(L"Access to path you specified is denied.",
                                              L"Access to path '%s' is denied.", strArgument)
                            .c_str())
{
    SetIdentity(L"AccessDeniedException", kTypeId);
    SetReason(Win32ErrorText(kWin32AccessDenied));
}

InvalidNameException::InvalidNameException(const wchar_t* strFunction, const wchar_t* strFile,
                                           std::uint32_t uintLine, const wchar_t* strMessage)
    : FileOpenException(strFunction, strFile, uintLine, -21544,
                        SystemTextOr(strMessage, kWin32InvalidName).c_str())
{
    SetIdentity(L"InvalidNameException", kTypeId);
    SetReason(Win32ErrorText(kWin32InvalidName));
}

CreateFileException::CreateFileException(const wchar_t* strFunction, const wchar_t* strFile,
                                         std::uint32_t uintLine, const wchar_t* strMessage)
    : FileSystemException(strFunction, strFile, uintLine, -21544,
                          SystemTextOr(strMessage, kWin32AlreadyExists).c_str())
{
    SetIdentity(L"CreateFileException", kTypeId);
    SetReason(Win32ErrorText(kWin32AlreadyExists));
}

}  // namespace pullbay::core
