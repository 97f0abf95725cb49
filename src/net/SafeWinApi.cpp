#include "net/SafeWinApi.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "core/Exceptions.h"
#include "core/HexDigits.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "net/UrlEncoding.h"
#include "net/UrlReference.h"

namespace pullbay::net::SafeWinApi {

namespace {

wchar_t ToUpperAscii(wchar_t ch)
{
    return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
}

void UpperCaseEscapes(std::wstring& strText)
{
    for (std::size_t i = 0; i + 2 < strText.size(); ++i) {
        if (strText[i] == L'%' && core::IsHexDigit(strText[i + 1]) &&
            core::IsHexDigit(strText[i + 2])) {
            strText[i + 1] = ToUpperAscii(strText[i + 1]);
            strText[i + 2] = ToUpperAscii(strText[i + 2]);
            i += 2;
        }
    }
}

// True when strPort (digits only) names the scheme's default port; leading
// zeros count ("0080" is 80). Too many digits is no default port.
bool IsDefaultPort(std::wstring_view strScheme, std::wstring_view strPort)
{
    std::string narrow;
    for (wchar_t ch : strPort) {
        if (ch < L'0' || ch > L'9') {
            return false;
        }
        narrow.push_back(static_cast<char>(ch));
    }
    unsigned uintPort = 0;
    const auto result = std::from_chars(narrow.data(), narrow.data() + narrow.size(), uintPort);
    if (result.ec != std::errc() || result.ptr != narrow.data() + narrow.size()) {
        return false;
    }
    return (uintPort == 80 && core::EqualsIgnoreAsciiCase(strScheme, L"http")) ||
           (uintPort == 443 && core::EqualsIgnoreAsciiCase(strScheme, L"https"));
}

// "//[userinfo@]host[:port]" with the host folded and a default or empty
// port of http(s) left out.
std::wstring CanonicalAuthority(std::wstring_view strAuthority, std::wstring_view strScheme)
{
    if (strAuthority.empty()) {
        return {};
    }
    std::wstring result(strAuthority.substr(0, 2));
    std::wstring_view strRest = strAuthority.substr(2);
    const std::size_t uintAt = strRest.rfind(L'@');
    if (uintAt != std::wstring_view::npos) {
        result.append(strRest.substr(0, uintAt + 1));
        strRest.remove_prefix(uintAt + 1);
    }
    // An IP literal ("[::1]") holds colons of its own.
    std::size_t uintHostEnd = 0;
    if (!strRest.empty() && strRest.front() == L'[') {
        const std::size_t uintClose = strRest.find(L']');
        uintHostEnd = uintClose == std::wstring_view::npos ? strRest.size() : uintClose + 1;
    }
    uintHostEnd = std::min(strRest.find(L':', uintHostEnd), strRest.size());
    result.append(core::ToLowerAscii(strRest.substr(0, uintHostEnd)));

    const std::wstring_view strPortPart = strRest.substr(uintHostEnd);
    const bool dropPort =
        strPortPart.size() >= 1 && IsHttpScheme(strScheme) &&
        (strPortPart.size() == 1 || IsDefaultPort(strScheme, strPortPart.substr(1)));
    if (!dropPort) {
        result.append(strPortPart);
    }
    return result;
}

std::wstring CanonicalPathOrQuery(std::wstring strText, bool bEncode)
{
    if (bEncode) {
        strText = PercentEncodeUnsafe(strText);
    }
    UpperCaseEscapes(strText);
    return strText;
}

// A path with its dot segments removed, kept from reading as something
// else once it is joined again (RFC 3986, 5.2.4 and 4.2): without an
// authority, a path that now begins with "//" would read as one ("http:/.//h"
// is not "http://h"), so it keeps "/." in front; without scheme and
// authority, a first segment with ":" would read as a scheme ("a/../b:c"),
// so it keeps "./" in front.
std::wstring RecomposablePath(std::wstring_view strPath, const UrlReferenceParts& parts)
{
    std::wstring strResult = RemoveDotSegments(strPath);
    if (!parts.authority.empty()) {
        return strResult;
    }
    if (strResult.rfind(L"//", 0) == 0) {
        return L"/." + strResult;
    }
    if (parts.scheme.empty() &&
        strResult.substr(0, strResult.find(L'/')).find(L':') != std::wstring::npos) {
        return L"./" + strResult;
    }
    return strResult;
}

}  // namespace

std::wstring InternetCanonicalizeUrlW(const wchar_t* strUrl, unsigned uintFlags)
{
    if (strUrl == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"strUrl");
    }
    try {
        const std::wstring_view strUsed = core::TruncateToUtf16Units(strUrl, kMaxCanonicalUrlUnits);
        std::wstring strSlashed;
        UrlReferenceParts parts = SplitUrlReference(strUsed);
        const bool http = IsHttpScheme(SchemeName(parts));
        if (http) {
            // Splits again: "http:\\host\x" has an authority only once read
            // with slashes.
            strSlashed = SlashesForBackslashes(strUsed);
            parts = SplitUrlReference(strSlashed);
        }
        const std::wstring_view strScheme = SchemeName(parts);

        std::wstring_view strPath = parts.path;
        if (http && !parts.authority.empty() && strPath.empty()) {
            strPath = L"/";
        }
        const bool encode = (uintFlags & kIcuNoEncode) == 0;
        std::wstring result = core::ToLowerAscii(parts.scheme);
        result += CanonicalAuthority(parts.authority, strScheme);
        result += CanonicalPathOrQuery(RecomposablePath(strPath, parts), encode);
        result += CanonicalPathOrQuery(std::wstring(parts.query), encode);
        result += parts.fragment;
        return result;
    } catch (...) {
        core::RecordForeignFailure();
        PB_THROW(core::UnexpectedException, L"InternetCanonicalizeUrl error occured");
    }
}

}  // namespace pullbay::net::SafeWinApi
