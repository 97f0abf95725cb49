#include "control/UrlAcceptance.h"

#include <string_view>
#include <typeinfo>

#include "core/TextUnits.h"
#include "net/SafeWinApi.h"
#include "net/UrlFunctions.h"
#include "net/UrlResolution.h"

namespace pullbay::control {

namespace {

// What the transfer can fetch: the URL pattern matches, the host is not
// empty and the port fits 16 bits (ParseUrl throws a bad cast otherwise).
bool IsUsableHttpUrl(const std::wstring& strUrl)
{
    try {
        net::UrlComponents components;
        return net::ParseUrl(strUrl.c_str(), components) && !components.host.empty();
    } catch (const std::bad_cast&) {
        return false;
    }
}

bool BeginsWithHttpScheme(std::wstring_view strUrl)
{
    return core::EqualsIgnoreAsciiCase(strUrl.substr(0, 7), L"http://") ||
           core::EqualsIgnoreAsciiCase(strUrl.substr(0, 8), L"https://");
}

// Browsers drop these around a URL typed or pasted into a page.
std::wstring_view TrimSpacesAndControls(std::wstring_view strText)
{
    while (!strText.empty() && strText.front() <= L' ') {
        strText.remove_prefix(1);
    }
    while (!strText.empty() && strText.back() <= L' ') {
        strText.remove_suffix(1);
    }
    return strText;
}

}  // namespace

std::optional<std::wstring> AcceptUrl(const std::wstring& strUrl,
                                      const std::optional<std::wstring>& pageAddress)
{
    const std::wstring strTrimmed(TrimSpacesAndControls(strUrl));
    std::wstring strAbsolute;
    if (BeginsWithHttpScheme(strTrimmed) && IsUsableHttpUrl(strTrimmed)) {
        strAbsolute = strTrimmed;
    } else {
        if (!pageAddress.has_value()) {
            return std::nullopt;
        }
        std::optional<std::wstring> resolved = net::ResolveReference(*pageAddress, strTrimmed);
        if (!resolved.has_value() || !IsUsableHttpUrl(*resolved)) {
            return std::nullopt;
        }
        strAbsolute = std::move(*resolved);
    }

    std::wstring strCanonical;
    try {
        strCanonical = net::SafeWinApi::InternetCanonicalizeUrlW(strAbsolute.c_str(),
                                                                 net::SafeWinApi::kIcuNoEncode);
    } catch (...) {
        return std::nullopt;
    }
    // Canonicalisation can change the authority ("http://h\x/" has the host
    // "h"), so the stored form is checked as the engine will read it.
    if (core::Utf16Length(strCanonical) >= kUrlBufferUnits || !IsUsableHttpUrl(strCanonical)) {
        return std::nullopt;
    }
    return strCanonical;
}

}  // namespace pullbay::control
