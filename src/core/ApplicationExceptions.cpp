#include "core/ApplicationExceptions.h"

#include <string>

#include "core/ExceptionMessages.h"
#include "core/ProductConfig.h"
#include "core/TextFormat.h"

namespace pullbay::core {

namespace {

std::wstring UnexpectedMessage(const wchar_t* strArgument)
{
    const std::wstring sentence =
        std::wstring(L"Some unexpected error occured. If you see this message, please contact ") +
        kSupportEmailAddress + L".";
    if (strArgument == nullptr) {
        return FormatText(kMessageBufferUnits, L"%s", {sentence});
    }
    return FormatText(kMessageBufferUnits, L"%s Additional info: %s", {sentence, strArgument});
}

std::wstring ArgumentMessage(const wchar_t* strArgument, const wchar_t* strExtra)
{
    if (strExtra == nullptr) {
        return detail::ChooseMessage(L"Argument has an unappropriate value.",
                                     L"Argument has an unappropriate value (%s).", strArgument);
    }
    if (strArgument == nullptr) {
        return FormatText(kMessageBufferUnits, L"Argument has an unappropriate value (%s).",
                          {strExtra});
    }
    return FormatText(kMessageBufferUnits, L"Argument has an unappropriate value (%s) (%s).",
                      {strArgument, strExtra});
}

std::wstring NotInitializedMessage(const wchar_t* strArgument, const wchar_t* strExtra)
{
    // This message has the 2000-unit buffer of a system text.
    if (strArgument == nullptr) {
        return strExtra == nullptr
                   ? FormatText(kSystemTextBufferUnits, L"The object is not initialized.", {})
                   : FormatText(kSystemTextBufferUnits, L"The object is not initialized. %s",
                                {strExtra});
    }
    if (strExtra == nullptr) {
        return FormatText(kSystemTextBufferUnits, L"%s is not initialized.", {strArgument});
    }
    return FormatText(kSystemTextBufferUnits, L"%s is not initialized. %s",
                      {strArgument, strExtra});
}

}  // namespace

ApplicationException::ApplicationException(const wchar_t* strFunction, const wchar_t* strFile,
                                           std::uint32_t uintLine, HRESULT intCode,
                                           const wchar_t* strMessage)
    : Exception(strFunction, strFile, uintLine, intCode, strMessage)
{
    SetIdentity(L"ApplicationException", kTypeId);
}

OutOfRangeException::OutOfRangeException(const wchar_t* strFunction, const wchar_t* strFile,
                                         std::uint32_t uintLine, const wchar_t* strArgument)
    : ApplicationException(
          strFunction, strFile, uintLine, -5616,
          detail::ChooseMessage(L"Object is out of range.", L"'%s' is out of range.", strArgument)
              .c_str())
{
    SetIdentity(L"OutOfRangeException", kTypeId);
}

UnexpectedException::UnexpectedException(const wchar_t* strFunction, const wchar_t* strFile,
                                         std::uint32_t uintLine, const wchar_t* strArgument)
    : ApplicationException(strFunction, strFile, uintLine, E_UNEXPECTED,
                           UnexpectedMessage(strArgument).c_str())
{
    SetIdentity(L"UnexpectedException", kTypeId);
}

ArgumentException::ArgumentException(const wchar_t* strFunction, const wchar_t* strFile,
                                     std::uint32_t uintLine, const wchar_t* strArgument,
                                     const wchar_t* strExtra)
    : ApplicationException(strFunction, strFile, uintLine, E_INVALIDARG,
                           ArgumentMessage(strArgument, strExtra).c_str())
{
    SetIdentity(L"ArgumentException", kTypeId);
}

ArgumentException::ArgumentException(const wchar_t* strFunction, const wchar_t* strFile,
                                     std::uint32_t uintLine, HRESULT intCode,
                                     const OwnMessage& message, const wchar_t* strArgument)
    : ApplicationException(
          strFunction, strFile, uintLine, intCode,
          detail::ChooseMessage(message.strWithoutArgument, message.strWithArgument, strArgument)
              .c_str())
{
    SetIdentity(L"ArgumentException", kTypeId);
}

ArgumentNullPointerException::ArgumentNullPointerException(const wchar_t* strFunction,
                                                           const wchar_t* strFile,
                                                           std::uint32_t uintLine,
                                                           const wchar_t* strArgument)
    : ArgumentException(strFunction, strFile, uintLine, E_POINTER,
                        {L"Argument is null pointer.", L"Argument is null pointer (%s)."},
                        strArgument)
{
    SetIdentity(L"ArgumentNullPointerException", kTypeId);
}

ArgumentOutOfRangeException::ArgumentOutOfRangeException(const wchar_t* strFunction,
                                                         const wchar_t* strFile,
                                                         std::uint32_t uintLine,
                                                         const wchar_t* strArgument)
    : ArgumentException(strFunction, strFile, uintLine, E_INVALIDARG,
                        {L"Argument is out of range.", L"Argument is out of range (%s)."},
                        strArgument)
{
    SetIdentity(L"ArgumentOutOfRangeException", kTypeId);
}

NotInitializedException::NotInitializedException(const wchar_t* strFunction, const wchar_t* strFile,
                                                 std::uint32_t uintLine, const wchar_t* strArgument,
                                                 const wchar_t* strExtra)
    : ApplicationException(strFunction, strFile, uintLine, -15,
                           NotInitializedMessage(strArgument, strExtra).c_str())
{
    SetIdentity(L"NotInitializedException", kTypeId);
}

TimeOutException::TimeOutException(const wchar_t* strFunction, const wchar_t* strFile,
                                   std::uint32_t uintLine)
    : ApplicationException(strFunction, strFile, uintLine, -18, L"Timeout is exceeded.")
{
    SetIdentity(L"TimeOutException", kTypeId);
}

AbortedException::AbortedException(const wchar_t* strFunction, const wchar_t* strFile,
                                   std::uint32_t uintLine)
    : ApplicationException(strFunction, strFile, uintLine, -6, L"Operation is aborted.")
{
    SetIdentity(L"AbortedException", kTypeId);
}

}  // namespace pullbay::core
