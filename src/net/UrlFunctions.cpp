#include "net/UrlFunctions.h"

#include <charconv>
#include <cwchar>
#include <locale>
#include <stdexcept>
#include <string_view>
#include <typeinfo>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/regex.hpp>

#include "core/TextUnits.h"

namespace pullbay::net {

namespace {

constexpr std::uint16_t kDefaultHttpPort = 80;
constexpr std::uint16_t kDefaultHttpsPort = 443;

// Groups: 1 scheme word, 2 host, 4 port digits, 5 path with its leading "/".
enum UrlGroup { kGroupScheme = 1, kGroupHost = 2, kGroupPort = 4, kGroupPath = 5 };

std::locale RegexLocale()
{
    // Without a UTF-8 locale the wide-character classes miss non-ASCII text.
    try {
        return std::locale("C.UTF-8");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

// Compiled once; the first caller initialises it (thread-safe), and matching
// against a shared const pattern is safe from any thread.
const boost::wregex& UrlPattern()
{
    static const boost::wregex pattern = [] {
        boost::wregex compiled;
        compiled.imbue(RegexLocale());
        compiled.assign(L"^(http|https)://([^:/]*)(:([0-9]+))?(/(.*))*$",
                        boost::regex_constants::perl | boost::regex_constants::icase);
        return compiled;
    }();
    return pattern;
}

bool MatchUrl(std::wstring_view strUrl, boost::wcmatch& match)
{
    return boost::regex_match(strUrl.data(), strUrl.data() + strUrl.size(), match, UrlPattern());
}

std::wstring_view GroupText(const boost::wcmatch& match, int intGroup)
{
    const auto& group = match[intGroup];
    if (!group.matched) {
        return {};
    }
    return std::wstring_view(group.first, static_cast<std::size_t>(group.second - group.first));
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
    boost::wcmatch match;
    if (!MatchUrl(std::wstring_view(strUrl), match)) {
        return false;
    }
    // Everything is computed before out is written, so a port that does not
    // fit leaves it untouched.
    const bool http = core::EqualsIgnoreAsciiCase(GroupText(match, kGroupScheme), L"http");
    const std::wstring_view strPort = GroupText(match, kGroupPort);
    std::uint16_t uintPort = http ? kDefaultHttpPort : kDefaultHttpsPort;
    if (!strPort.empty()) {
        uintPort = PortFromDigits(strPort);
    }
    out.host = GroupText(match, kGroupHost);
    out.path = GroupText(match, kGroupPath);
    out.port = uintPort;
    out.scheme = http ? kSchemeHttp : kSchemeHttps;
    return true;
}

std::wstring GetHost(const std::wstring& strUrl)
{
    boost::wcmatch match;
    if (!MatchUrl(strUrl, match)) {
        return {};
    }
    return std::wstring(GroupText(match, kGroupHost));
}

std::wstring ResolveUrl(const std::wstring& strBase, const std::wstring& strReference)
{
    boost::wcmatch match;
    if (!MatchUrl(strBase, match)) {
        return strBase + strReference;
    }
    if (!strReference.empty() && strReference.front() == L'/') {
        // The path group runs to the end of the base, so what precedes it is
        // scheme, "://", host and port exactly as written.
        const std::size_t uintPathStart = match[kGroupPath].matched
                                              ? static_cast<std::size_t>(match.position(kGroupPath))
                                              : strBase.size();
        return strBase.substr(0, uintPathStart) + strReference;
    }
    if (!strBase.empty() && strBase.back() == L'/') {
        return strBase + strReference;
    }
    return strBase + L'/' + strReference;
}

}  // namespace pullbay::net
