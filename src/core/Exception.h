#pragma once
// The root of the one exception hierarchy of the system. An exception carries
// its identity twice: in its dynamic type (so handlers can catch a base) and
// in its class name and type id (so a copy held as a plain Exception keeps
// it). Thrown and caught on any thread; an instance is not shared.
#include <cstdint>
#include <string_view>

#include "core/HResult.h"

namespace pullbay::core {

class Exception {
public:
    static constexpr std::uint32_t kTypeId = 0;

    Exception(const wchar_t* strFunction, const wchar_t* strFile, std::uint32_t uintLine,
              HRESULT intCode = E_FAIL, const wchar_t* strMessage = nullptr);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    virtual ~Exception();

    HRESULT GetCode() const { return m_intCode; }
    const wchar_t* GetMessage() const;
    const wchar_t* GetFile() const;
    std::uint32_t GetLine() const { return m_uintLine; }
    const wchar_t* GetFunction() const;
    const wchar_t* GetClassName() const;
    std::uint32_t GetTypeId() const { return m_uintTypeId; }

    // Replaces the message; for factories that word it themselves
    // (ThrowWin32Exception puts the system's text in).
    void SetMessage(std::wstring_view strMessage);

    // The cause alone, without the paths or names the message may hold
    // ("Permission denied" where the message says which file): what may be
    // told to a web page. Empty when the throw site gave none.
    const wchar_t* GetReason() const;
    void SetReason(std::wstring_view strReason);

protected:
    // Each construction stage names its own class; the most derived one stays.
    void SetIdentity(const wchar_t* strClassName, std::uint32_t uintTypeId);

private:
    void Swap(Exception& other) noexcept;

    HRESULT m_intCode;
    wchar_t* m_strMessage = nullptr;
    wchar_t* m_strReason = nullptr;
    wchar_t* m_strFile = nullptr;
    std::uint32_t m_uintLine;
    wchar_t* m_strFunction = nullptr;
    wchar_t* m_strClassName = nullptr;
    std::uint32_t m_uintTypeId = kTypeId;
};

// Message buffers: 2048 UTF-16 units (terminator included) for messages with
// an argument, 2000 for texts of the system. Longer texts are cut, never refused.
inline constexpr std::size_t kMessageBufferUnits = 2048;
inline constexpr std::size_t kSystemTextBufferUnits = 2000;

}  // namespace pullbay::core
