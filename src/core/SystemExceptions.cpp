#include "core/SystemExceptions.h"

#include "core/ExceptionMessages.h"
#include "core/TextFormat.h"
#include "core/Win32Errors.h"

namespace pullbay::core {

namespace detail {

std::wstring ChooseMessage(const wchar_t* strWithoutArgument, const wchar_t* strWithArgument,
                           const wchar_t* strArgument)
{
    if (strArgument == nullptr || strWithArgument == nullptr) {
        return FormatText(kMessageBufferUnits, strWithoutArgument, {});
    }
    return FormatText(kMessageBufferUnits, strWithArgument, {strArgument});
}

}  // namespace detail

SystemException::SystemException(const wchar_t* strFunction, const wchar_t* strFile,
                                 std::uint32_t uintLine, HRESULT intCode, const wchar_t* strMessage)
    : Exception(strFunction, strFile, uintLine, intCode, strMessage)
{
    SetIdentity(L"SystemException", kTypeId);
}

MemoryException::MemoryException(const wchar_t* strFunction, const wchar_t* strFile,
                                 std::uint32_t uintLine)
    : SystemException(strFunction, strFile, uintLine, E_OUTOFMEMORY, L"Unable to commit memory.")
{
    SetIdentity(L"MemoryException", kTypeId);
}

Win32Exception::Win32Exception(const wchar_t* strFunction, const wchar_t* strFile,
                               std::uint32_t uintLine, const wchar_t* strMessage,
                               std::uint32_t uintWin32Code)
    : SystemException(strFunction, strFile, uintLine, E_FAIL, strMessage),
      m_uintWin32Code(uintWin32Code)
{
    SetIdentity(L"Win32Exception", kTypeId);
    if (strMessage == nullptr) {
        SetMessage(Win32ErrorText(uintWin32Code));
    }
}

OverflowException::OverflowException(const wchar_t* strFunction, const wchar_t* strFile,
                                     std::uint32_t uintLine, const wchar_t* strMessage)
    : SystemException(strFunction, strFile, uintLine, -4104,
                      strMessage != nullptr ? strMessage : L"An overflow error occured.")
{
    SetIdentity(L"OverflowException", kTypeId);
}

}  // namespace pullbay::core
