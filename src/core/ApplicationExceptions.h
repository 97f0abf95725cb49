#pragma once
// Failures of the application's own logic: bad arguments, unexpected states,
// time-outs and aborts.
#include "core/Exception.h"

namespace pullbay::core {

class ApplicationException : public Exception {
public:
    static constexpr std::uint32_t kTypeId = 20;
    ApplicationException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                         HRESULT intCode = E_FAIL, const wchar_t* strMessage = nullptr);
};

// "Object is out of range." / "'%s' is out of range."
class OutOfRangeException : public ApplicationException {
public:
    static constexpr std::uint32_t kTypeId = 31;
    OutOfRangeException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                        const wchar_t* strArgument = nullptr);
};

// "Some unexpected error occured. If you see this message, please contact
// <support>." followed by " Additional info: <argument>" when one is given.
class UnexpectedException : public ApplicationException {
public:
    static constexpr std::uint32_t kTypeId = 32;
    UnexpectedException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                        const wchar_t* strArgument = nullptr);
};

// The argument names the offending parameter as the code spells it; the
// extra text, when given, says why it was refused.
class ArgumentException : public ApplicationException {
public:
    static constexpr std::uint32_t kTypeId = 33;
    ArgumentException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                      const wchar_t* strArgument = nullptr, const wchar_t* strExtra = nullptr);

protected:
    // For the subclasses, which word the whole message themselves.
    struct OwnMessage {
        const wchar_t* strWithoutArgument;
        const wchar_t* strWithArgument;
    };
    ArgumentException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                      HRESULT intCode, const OwnMessage& message, const wchar_t* strArgument);
};

// "Argument is null pointer[ (%s)].", 0x80004003.
class ArgumentNullPointerException : public ArgumentException {
public:
    static constexpr std::uint32_t kTypeId = 34;
    ArgumentNullPointerException(const wchar_t* strFunction, const wchar_t* strFile,
                                 std::uint32_t uintLine, const wchar_t* strArgument = nullptr);
};

// "Argument is out of range[ (%s)].", 0x80070057.
class ArgumentOutOfRangeException : public ArgumentException {
public:
    static constexpr std::uint32_t kTypeId = 35;
    ArgumentOutOfRangeException(const wchar_t* strFunction, const wchar_t* strFile,
                                std::uint32_t uintLine, const wchar_t* strArgument = nullptr);
};

// "The object is not initialized." / "%s is not initialized."; an extra text,
// when given, follows after one blank (with or without the argument).
class NotInitializedException : public ApplicationException {
public:
    static constexpr std::uint32_t kTypeId = 36;
    NotInitializedException(const wchar_t* strFunction, const wchar_t* strFile,
                            std::uint32_t uintLine, const wchar_t* strArgument = nullptr,
                            const wchar_t* strExtra = nullptr);
};

// "Timeout is exceeded."
class TimeOutException : public ApplicationException {
public:
    static constexpr std::uint32_t kTypeId = 38;
    TimeOutException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine);
};

// "Operation is aborted."
class AbortedException : public ApplicationException {
public:
    static constexpr std::uint32_t kTypeId = 39;
    AbortedException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine);
};

}  // namespace pullbay::core
