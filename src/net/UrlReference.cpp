#include "net/UrlReference.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core/TextUnits.h"

namespace pullbay::net {

namespace {

bool IsAsciiLetter(wchar_t ch)
{
    return (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z');
}

bool IsSchemeCharacter(wchar_t ch)
{
    return IsAsciiLetter(ch) || (ch >= L'0' && ch <= L'9') || ch == L'+' || ch == L'-' ||
           ch == L'.';
}

// Length of "scheme:" at the start of the text, 0 when there is none. A
// drive letter ("c:") reads as a one-letter scheme, so a local path keeps
// its drive in front of the path.
std::size_t SchemeLength(std::wstring_view strUrl)
{
    if (strUrl.empty() || !IsAsciiLetter(strUrl.front())) {
        return 0;
    }
    std::size_t i = 1;
    while (i < strUrl.size() && IsSchemeCharacter(strUrl[i])) {
        ++i;
    }
    return i < strUrl.size() && strUrl[i] == L':' ? i + 1 : 0;
}

}  // namespace

UrlReferenceParts SplitUrlReference(std::wstring_view strUrl)
{
    const std::size_t uintScheme = SchemeLength(strUrl);
    std::size_t uintPrefix = uintScheme;
    if (strUrl.substr(uintPrefix, 2) == L"//") {
        const std::size_t uintEnd = strUrl.find_first_of(L"/?#", uintPrefix + 2);
        uintPrefix = uintEnd == std::wstring_view::npos ? strUrl.size() : uintEnd;
    }
    UrlReferenceParts parts;
    parts.prefix = strUrl.substr(0, uintPrefix);
    parts.scheme = strUrl.substr(0, uintScheme);
    parts.authority = strUrl.substr(uintScheme, uintPrefix - uintScheme);
    std::wstring_view strRest = strUrl.substr(uintPrefix);

    const std::size_t uintHash = strRest.find(L'#');
    if (uintHash != std::wstring_view::npos) {
        parts.fragment = strRest.substr(uintHash);
        strRest = strRest.substr(0, uintHash);
    }
    const std::size_t uintQuestion = strRest.find(L'?');
    if (uintQuestion != std::wstring_view::npos) {
        parts.query = strRest.substr(uintQuestion);
        strRest = strRest.substr(0, uintQuestion);
    }
    parts.path = strRest;
    return parts;
}

std::wstring_view SchemeName(const UrlReferenceParts& parts)
{
    std::wstring_view strName = parts.scheme;
    if (!strName.empty()) {
        strName.remove_suffix(1);
    }
    return strName;
}

bool IsHttpScheme(std::wstring_view strSchemeName)
{
    return core::EqualsIgnoreAsciiCase(strSchemeName, L"http") ||
           core::EqualsIgnoreAsciiCase(strSchemeName, L"https");
}

std::wstring SlashesForBackslashes(std::wstring_view strUrl)
{
    std::wstring result(strUrl);
    const std::size_t uintEnd = std::min(result.find_first_of(L"?#"), result.size());
    std::replace(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(uintEnd), L'\\',
                 L'/');
    return result;
}

std::wstring RemoveDotSegments(std::wstring_view strPath)
{
    if (strPath.empty()) {
        return {};
    }
    const bool absolute = strPath.front() == L'/';
    if (absolute) {
        strPath.remove_prefix(1);
    }
    std::vector<std::wstring_view> kept;
    bool trailingSlash = false;
    for (std::size_t uintPos = 0;;) {
        const std::size_t uintSlash = strPath.find(L'/', uintPos);
        const bool last = uintSlash == std::wstring_view::npos;
        const std::wstring_view strSegment =
            strPath.substr(uintPos, last ? std::wstring_view::npos : uintSlash - uintPos);
        if (strSegment == L"." || strSegment == L"..") {
            if (strSegment == L"..") {
                if (!kept.empty() && kept.back() != L"..") {
                    kept.pop_back();
                } else if (!absolute) {
                    kept.push_back(strSegment);
                }
            }
            trailingSlash = last;
        } else {
            kept.push_back(strSegment);
        }
        if (last) {
            break;
        }
        uintPos = uintSlash + 1;
    }

    std::wstring result;
    result.reserve(strPath.size() + 1);
    if (absolute) {
        result.push_back(L'/');
    }
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i != 0) {
            result.push_back(L'/');
        }
        result.append(kept[i]);
    }
    if (trailingSlash && !kept.empty()) {
        result.push_back(L'/');
    }
    return result;
}

}  // namespace pullbay::net
