#pragma once
// The per-user registry key of the control's settings, chosen once by the
// module at load from the platform class.

#include <string>

namespace pullbay::control {

inline constexpr const wchar_t* kSettingsKeyBase = L"Software\\Velmora\\Pullbay";
inline constexpr const wchar_t* kSettingsKeyBaseLow = L"Software\\AppDataLow\\Velmora\\Pullbay";
inline constexpr const wchar_t* kSettingsKeyLeaf = L"Standard 7";

// "Software\Velmora\Pullbay\Standard 7", or under "AppDataLow" on platform
// class 5 and above (where the low-integrity process may write).
inline std::wstring SettingsKeyFor(int intPlatformClass)
{
    constexpr int kFirstLowIntegrityClass = 5;
    const std::wstring strBase =
        intPlatformClass >= kFirstLowIntegrityClass ? kSettingsKeyBaseLow : kSettingsKeyBase;
    return strBase + L"\\" + kSettingsKeyLeaf;
}

}  // namespace pullbay::control
