#pragma once
// Result codes with the values of the original platform, so that codes
// recorded in exceptions, reported to hosts and compared in tests are the same
// numbers everywhere.
#include <cstdint>

namespace pullbay {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr bool Succeeded(HRESULT hr)
{
    return hr >= 0;
}
inline constexpr bool Failed(HRESULT hr)
{
    return hr < 0;
}

// HRESULT_FROM_WIN32: facility 7 with the Windows error code in the low word.
inline constexpr HRESULT HResultFromWin32(std::uint32_t uintCode)
{
    return uintCode == 0 ? S_OK : static_cast<HRESULT>((uintCode & 0x0000FFFFu) | 0x80070000u);
}

// The Windows error code carried by a facility-7 HRESULT, or 0 for any other.
inline constexpr std::uint32_t Win32CodeFromHResult(HRESULT hr)
{
    const auto uintValue = static_cast<std::uint32_t>(hr);
    return (uintValue & 0xFFFF0000u) == 0x80070000u ? (uintValue & 0x0000FFFFu) : 0u;
}

}  // namespace pullbay
