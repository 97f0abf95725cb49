#pragma once
// Failures of the system below the application: memory, Windows-style error
// codes, overflow. The I/O branch lives in FileSystemExceptions.h.
#include "core/Exception.h"

namespace pullbay::core {

class SystemException : public Exception {
public:
    static constexpr std::uint32_t kTypeId = 1;
    SystemException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                    HRESULT intCode = E_FAIL, const wchar_t* strMessage = nullptr);
};

// "Unable to commit memory.", 0x8007000E.
class MemoryException : public SystemException {
public:
    static constexpr std::uint32_t kTypeId = 2;
    MemoryException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine);
};

// A Windows error code without a class of its own; the message is the
// system's text. The code itself is kept for callers that tell errors apart
// (disk full).
class Win32Exception : public SystemException {
public:
    static constexpr std::uint32_t kTypeId = 3;
    Win32Exception(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                   const wchar_t* strMessage = nullptr, std::uint32_t uintWin32Code = 0);
    std::uint32_t GetWin32Code() const { return m_uintWin32Code; }

private:
    std::uint32_t m_uintWin32Code;
};

// "An overflow error occured." unless a message is given.
class OverflowException : public SystemException {
public:
    static constexpr std::uint32_t kTypeId = 55;
    OverflowException(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
                      const wchar_t* strMessage = nullptr);
};

}  // namespace pullbay::core
