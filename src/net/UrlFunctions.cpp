#include "net/UrlFunctions.h"

#include <algorithm>
#include <charconv>
#include <cwchar>
#include <string_view>
#include <typeinfo>

#include <boost/lexical_cast/bad_lexical_cast.hpp>

namespace pullbay::net {

namespace {

constexpr std::uint16_t kDefaultHttpPort = 80;
constexpr std::uint16_t kDefaultHttpsPort = 443;

// What "^(http|https)://([^:/]*)(:([0-9]+))?(/(.*))*$", matched
// case-insensitively against the whole text, captures: the scheme word, the
// host, the port digits and the path with its leading "/". Scanned directly:
// a list of 100,000 lines spent most of its parsing time in the matcher.
struct UrlMatch {
    std::wstring_view scheme;
    std::wstring_view host;
    std::wstring_view port;  // empty: none given
    std::size_t uintPathStart = std::wstring_view::npos;
};

bool StartsWithIgnoringCase(std::wstring_view strText, std::wstring_view strLowerPrefix)
{
    if (strText.size() < strLowerPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < strLowerPrefix.size(); ++i) {
        wchar_t ch = strText[i];
        if (ch >= L'A' && ch <= L'Z') {
            ch = static_cast<wchar_t>(ch - L'A' + L'a');
        }
        if (ch != strLowerPrefix[i]) {
            return false;
        }
    }
    return true;
}

// The end of an IPv6 literal ("[2001:db8::7]") that starts at uintOpen: the
// index after its "]", or 0 when the text there is no such literal (only
// hexadecimal digits, ":" and "." may stand between the brackets).
std::size_t IpLiteralEnd(std::wstring_view strUrl, std::size_t uintOpen)
{
    std::size_t uintAt = uintOpen + 1;
    bool bColon = false;
    for (; uintAt < strUrl.size() && strUrl[uintAt] != L']'; ++uintAt) {
        const wchar_t ch = strUrl[uintAt];
        const bool bHex =
            (ch >= L'0' && ch <= L'9') || (ch >= L'a' && ch <= L'f') || (ch >= L'A' && ch <= L'F');
        if (!bHex && ch != L':' && ch != L'.') {
            return 0;
        }
        bColon = bColon || ch == L':';
    }
    return uintAt < strUrl.size() && bColon ? uintAt + 1 : 0;
}

// An "@" in the authority separates user info from the real host
// ("http://files.example.com@127.0.0.1/" goes to 127.0.0.1): such a URL is
// refused, as one with "user:password@" always was, so that no text before
// the "@" can pass for the server's name. An "@" after a query or fragment
// mark belongs to those, not to the authority.
bool HasUserInfo(std::wstring_view strHost)
{
    return strHost.substr(0, strHost.find_first_of(L"?#")).find(L'@') != std::wstring_view::npos;
}

// The host cannot hold ":" or "/", so after it only a port (digits, then
// the end or a "/") or a path can follow: nothing is left to backtrack into.
bool MatchUrl(std::wstring_view strUrl, UrlMatch& match)
{
    std::size_t uintAt = 0;
    if (StartsWithIgnoringCase(strUrl, L"https://")) {
        uintAt = 8;
    } else if (StartsWithIgnoringCase(strUrl, L"http://")) {
        uintAt = 7;
    } else {
        return false;
    }
    match.scheme = strUrl.substr(0, uintAt - 3);
    std::size_t uintHostEnd = 0;
    if (uintAt < strUrl.size() && strUrl[uintAt] == L'[') {
        uintHostEnd = IpLiteralEnd(strUrl, uintAt);
        if (uintHostEnd == 0) {
            return false;
        }
    } else {
        uintHostEnd = std::min(strUrl.find_first_of(L":/", uintAt), strUrl.size());
    }
    match.host = strUrl.substr(uintAt, uintHostEnd - uintAt);
    if (HasUserInfo(match.host)) {
        return false;
    }
    uintAt = uintHostEnd;
    if (uintAt < strUrl.size() && strUrl[uintAt] == L':') {
        const std::size_t uintDigits = ++uintAt;
        while (uintAt < strUrl.size() && strUrl[uintAt] >= L'0' && strUrl[uintAt] <= L'9') {
            ++uintAt;
        }
        if (uintAt == uintDigits) {
            return false;
        }
        match.port = strUrl.substr(uintDigits, uintAt - uintDigits);
    }
    if (uintAt < strUrl.size()) {
        if (strUrl[uintAt] != L'/') {
            return false;
        }
        match.uintPathStart = uintAt;
    }
    return true;
}

// The semantics of boost::lexical_cast<std::uint16_t> for a run of digits
// (leading zeros allowed, too large throws bad_lexical_cast), without its
// locale-dependent parsing.
std::uint16_t PortFromDigits(std::wstring_view strDigits)
{
    std::string narrow;
    narrow.reserve(strDigits.size());
    for (wchar_t ch : strDigits) {
        if (ch < L'0' || ch > L'9') {
            throw boost::bad_lexical_cast(typeid(std::wstring), typeid(std::uint16_t));
        }
        narrow.push_back(static_cast<char>(ch));
    }
    std::uint16_t uintPort = 0;
    const auto result = std::from_chars(narrow.data(), narrow.data() + narrow.size(), uintPort);
    if (result.ec != std::errc() || result.ptr != narrow.data() + narrow.size()) {
        throw boost::bad_lexical_cast(typeid(std::wstring), typeid(std::uint16_t));
    }
    return uintPort;
}

}  // namespace

bool ParseUrl(const wchar_t* strUrl, UrlComponents& out)
{
    if (strUrl == nullptr) {
        return false;
    }
    const std::wstring_view strText(strUrl);
    UrlMatch match;
    if (!MatchUrl(strText, match)) {
        return false;
    }
    // Everything is computed before out is written, so a port that does not
    // fit leaves it untouched.
    const bool http = match.scheme.size() == 4;
    std::uint16_t uintPort = http ? kDefaultHttpPort : kDefaultHttpsPort;
    if (!match.port.empty()) {
        uintPort = PortFromDigits(match.port);
    }
    out.host = match.host;
    out.path = match.uintPathStart != std::wstring_view::npos ? strText.substr(match.uintPathStart)
                                                              : std::wstring_view();
    out.port = uintPort;
    out.scheme = http ? kSchemeHttp : kSchemeHttps;
    return true;
}

std::wstring GetHost(const std::wstring& strUrl)
{
    UrlMatch match;
    if (!MatchUrl(strUrl, match)) {
        return {};
    }
    return std::wstring(match.host);
}

std::wstring GetOrigin(const std::wstring& strUrl)
{
    UrlComponents components;
    try {
        if (!ParseUrl(strUrl.c_str(), components) || components.host.empty()) {
            return {};
        }
    } catch (const boost::bad_lexical_cast&) {
        return {};
    }
    std::wstring strOrigin = components.scheme == kSchemeHttp ? L"http://" : L"https://";
    for (const wchar_t ch : components.host) {
        strOrigin.push_back(ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch - L'A' + L'a') : ch);
    }
    char buffer[8];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, components.port);
    strOrigin.push_back(L':');
    strOrigin.append(buffer, converted.ptr);
    return strOrigin;
}

std::wstring ResolveUrl(const std::wstring& strBase, const std::wstring& strReference)
{
    UrlMatch match;
    if (!MatchUrl(strBase, match)) {
        return strBase + strReference;
    }
    if (!strReference.empty() && strReference.front() == L'/') {
        // The path runs to the end of the base, so what precedes it is
        // scheme, "://", host and port exactly as written.
        const std::size_t uintPathStart =
            match.uintPathStart != std::wstring_view::npos ? match.uintPathStart : strBase.size();
        return strBase.substr(0, uintPathStart) + strReference;
    }
    if (!strBase.empty() && strBase.back() == L'/') {
        return strBase + strReference;
    }
    return strBase + L'/' + strReference;
}

}  // namespace pullbay::net
