#include "bridge/OriginPermissions.h"

#include <charconv>
#include <vector>

#include "core/TextUnits.h"
#include "platform/registry/RegistryKey.h"

namespace pullbay::bridge {

namespace {

bool IsHostCharacter(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '.' ||
           ch == '_' || ch == '[' || ch == ']' || ch == ':';
}

std::string Lower(std::string_view strText)
{
    std::string strLower(strText);
    for (char& ch : strLower) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
    return strLower;
}

}  // namespace

std::optional<std::string> OriginPermissions::Normalize(std::string_view strOrigin)
{
    std::string strText = Lower(strOrigin);
    if (!strText.empty() && strText.back() == '/') {
        strText.pop_back();
    }
    std::string_view strScheme;
    std::string_view strDefaultPort;
    if (strText.rfind("http://", 0) == 0) {
        strScheme = "http://";
        strDefaultPort = "80";
    } else if (strText.rfind("https://", 0) == 0) {
        strScheme = "https://";
        strDefaultPort = "443";
    } else {
        return std::nullopt;
    }
    std::string_view strAuthority = std::string_view(strText).substr(strScheme.size());
    if (strAuthority.empty()) {
        return std::nullopt;
    }
    // The port follows the last ":" outside an IPv6 literal's brackets.
    std::string_view strHost = strAuthority;
    std::string_view strPort;
    const std::size_t uintColon = strAuthority.rfind(':');
    const std::size_t uintBracket = strAuthority.rfind(']');
    if (uintColon != std::string_view::npos &&
        (uintBracket == std::string_view::npos || uintColon > uintBracket)) {
        strHost = strAuthority.substr(0, uintColon);
        strPort = strAuthority.substr(uintColon + 1);
        unsigned uintPort = 0;
        const char* pEnd = strPort.data() + strPort.size();
        const auto [pStop, error] = std::from_chars(strPort.data(), pEnd, uintPort);
        if (strPort.empty() || error != std::errc() || pStop != pEnd || uintPort == 0 ||
            uintPort > 65535) {
            return std::nullopt;
        }
    }
    if (strHost.empty()) {
        return std::nullopt;
    }
    for (const char ch : strHost) {
        if (!IsHostCharacter(ch)) {
            return std::nullopt;
        }
    }
    std::string strNormal = std::string(strScheme) + std::string(strHost);
    if (!strPort.empty() && strPort != strDefaultPort) {
        strNormal += ':';
        strNormal += strPort;
    }
    return strNormal;
}

std::optional<OriginGrant> OriginPermissions::Get(std::string_view strOrigin)
{
    const std::optional<std::string> strNormal = Normalize(strOrigin);
    platform::RegistryKey key;
    if (!strNormal || Failed(key.Open(platform::RegistryRoot::CurrentUser, kKey))) {
        return std::nullopt;
    }
    std::uint32_t uintValue = 0;
    if (Failed(key.QueryDwordValue(core::FromUtf8(*strNormal), uintValue)) ||
        uintValue > static_cast<std::uint32_t>(OriginGrant::AllowedWithPageDialogs)) {
        return std::nullopt;
    }
    return static_cast<OriginGrant>(uintValue);
}

HRESULT OriginPermissions::Set(std::string_view strOrigin, OriginGrant grant)
{
    const std::optional<std::string> strNormal = Normalize(strOrigin);
    if (!strNormal) {
        return E_INVALIDARG;
    }
    platform::RegistryKey key;
    const HRESULT hr = key.Create(platform::RegistryRoot::CurrentUser, kKey);
    if (Failed(hr)) {
        return hr;
    }
    return key.SetDwordValue(core::FromUtf8(*strNormal), static_cast<std::uint32_t>(grant));
}

HRESULT OriginPermissions::Forget(std::string_view strOrigin)
{
    const std::optional<std::string> strNormal = Normalize(strOrigin);
    platform::RegistryKey key;
    if (!strNormal || Failed(key.Open(platform::RegistryRoot::CurrentUser, kKey))) {
        return S_OK;
    }
    const HRESULT hr = key.DeleteValue(core::FromUtf8(*strNormal));
    return hr == HResultFromWin32(2) ? S_OK : hr;
}

HRESULT OriginPermissions::RemoveInstallGrants()
{
    platform::RegistryKey key;
    if (Failed(key.Open(platform::RegistryRoot::CurrentUser, kKey))) {
        return S_OK;  // nothing was granted
    }
    std::vector<std::wstring> names;
    HRESULT hr = key.EnumValues(names);
    for (const std::wstring& strName : names) {
        std::uint32_t uintValue = 0;
        if (Succeeded(key.QueryDwordValue(strName, uintValue)) &&
            (uintValue == static_cast<std::uint32_t>(OriginGrant::AllowedAtInstall) ||
             uintValue == static_cast<std::uint32_t>(OriginGrant::AllowedWithPageDialogs))) {
            const HRESULT hrDelete = key.DeleteValue(strName);
            if (Failed(hrDelete)) {
                hr = hrDelete;
            }
        }
    }
    return hr;
}

}  // namespace pullbay::bridge
