// The URL functions over arbitrary text (UTF-8 decoded; a NUL byte splits a
// base from a reference): canonicalisation, splitting, dot segments,
// resolution, the pattern match and the percent-encoders. Besides not
// crashing, each keeps what its contract promises: the canonical form is
// stable, the pieces of a split give the text back, the encoders give ASCII
// without unsafe characters, and a resolved URL keeps its base's scheme or
// has one of its own.
#include <boost/lexical_cast/bad_lexical_cast.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "net/SafeWinApi.h"
#include "net/UrlEncoding.h"
#include "net/UrlFunctions.h"
#include "net/UrlReference.h"
#include "net/UrlResolution.h"

namespace {

namespace net = pullbay::net;
namespace SafeWinApi = pullbay::net::SafeWinApi;

bool IsEncodedAscii(std::wstring_view strText)
{
    for (const wchar_t ch : strText) {
        if (ch <= 0x20 || ch >= 0x7F || ch == L'"' || ch == L'<' || ch == L'>' || ch == L'\\' ||
            ch == L'^' || ch == L'`' || ch == L'{' || ch == L'|' || ch == L'}') {
            return false;
        }
    }
    return true;
}

void CheckCanonical(const std::wstring& strUrl)
{
    for (const unsigned uintFlags : {0u, SafeWinApi::kIcuNoEncode}) {
        const std::wstring strCanonical =
            SafeWinApi::InternetCanonicalizeUrlW(strUrl.c_str(), uintFlags);
        // A form longer than the limit is read only in part the next time.
        if (pullbay::core::Utf16Length(strCanonical) > SafeWinApi::kMaxCanonicalUrlUnits) {
            continue;
        }
        const std::wstring strAgain =
            SafeWinApi::InternetCanonicalizeUrlW(strCanonical.c_str(), uintFlags);
        if (strAgain != strCanonical) {
            std::fprintf(stderr, "canonical [%s] -> [%s] -> [%s]\n",
                         pullbay::core::ToUtf8(strUrl).c_str(),
                         pullbay::core::ToUtf8(strCanonical).c_str(),
                         pullbay::core::ToUtf8(strAgain).c_str());
        }
        PB_FUZZ_CHECK(strAgain == strCanonical);
    }
}

void CheckSplit(const std::wstring& strUrl)
{
    const net::UrlReferenceParts parts = net::SplitUrlReference(strUrl);
    std::wstring strJoined(parts.scheme);
    strJoined += parts.authority;
    strJoined += parts.path;
    strJoined += parts.query;
    strJoined += parts.fragment;
    PB_FUZZ_CHECK(strJoined == strUrl);
    PB_FUZZ_CHECK(parts.prefix.size() == parts.scheme.size() + parts.authority.size());
    const std::wstring strPath = net::RemoveDotSegments(parts.path);
    // An absolute path never climbs above its root.
    if (!parts.path.empty() && parts.path.front() == L'/') {
        PB_FUZZ_CHECK(!strPath.empty() && strPath.front() == L'/');
        PB_FUZZ_CHECK(strPath.find(L"/../") == std::wstring::npos);
    }
}

void CheckParse(const std::wstring& strUrl)
{
    net::UrlComponents components;
    try {
        if (net::ParseUrl(strUrl.c_str(), components)) {
            PB_FUZZ_CHECK(components.scheme == net::kSchemeHttp ||
                          components.scheme == net::kSchemeHttps);
            // ParseUrl reads a C string: a NUL ends its text.
            PB_FUZZ_CHECK(strUrl.find(L'\0') != std::wstring::npos ||
                          net::GetHost(strUrl) == components.host);
        }
    } catch (const boost::bad_lexical_cast&) {
        // A port beyond 16 bits: documented.
    }
    (void)net::GetHost(strUrl);
}

void CheckEncoders(const std::wstring& strUrl)
{
    PB_FUZZ_CHECK(IsEncodedAscii(net::PercentEncodeUnsafe(strUrl)));
    // The authority stays as written (libcurl judges a host name itself);
    // path, query and fragment keep no blank and no control.
    const std::wstring_view authority = net::SplitUrlReference(strUrl).authority;
    const bool bPlainAuthority = std::all_of(authority.begin(), authority.end(),
                                             [](wchar_t ch) { return ch > 0x20 && ch != 0x7F; });
    if (bPlainAuthority) {
        for (const char ch : net::PercentEncodeForTransfer(strUrl)) {
            const auto uchByte = static_cast<unsigned char>(ch);
            PB_FUZZ_CHECK(uchByte > 0x20 && uchByte != 0x7F);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uintSize)
{
    const std::string_view bytes(reinterpret_cast<const char*>(pData), uintSize);
    const std::size_t uintNul = bytes.find('\0');
    const std::wstring strFirst = pullbay::core::FromUtf8(bytes.substr(0, uintNul));
    const std::wstring strSecond = uintNul == std::string_view::npos
                                       ? std::wstring()
                                       : pullbay::core::FromUtf8(bytes.substr(uintNul + 1));

    for (const std::wstring* pText : {&strFirst, &strSecond}) {
        CheckCanonical(*pText);
        CheckSplit(*pText);
        CheckParse(*pText);
        CheckEncoders(*pText);
    }
    // strFirst as the base, strSecond as the reference.
    if (const auto resolved = net::ResolveReference(strFirst, strSecond)) {
        const std::wstring_view scheme = net::SchemeName(net::SplitUrlReference(*resolved));
        PB_FUZZ_CHECK(!scheme.empty());
        CheckCanonical(*resolved);
    }
    const std::wstring strJoined = net::ResolveUrl(strFirst, strSecond);
    CheckParse(strJoined);
    return 0;
}
