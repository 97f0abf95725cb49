#include "net/UrlResolution.h"

#include <string_view>

#include "net/UrlReference.h"

namespace pullbay::net {

namespace {

// RFC 3986 5.2.3: the reference's path after the base path's last "/".
std::wstring MergePaths(const UrlReferenceParts& base, std::wstring_view strReferencePath)
{
    if (!base.authority.empty() && base.path.empty()) {
        return L"/" + std::wstring(strReferencePath);
    }
    const std::size_t uintSlash = base.path.rfind(L'/');
    std::wstring merged(uintSlash == std::wstring_view::npos ? std::wstring_view()
                                                             : base.path.substr(0, uintSlash + 1));
    merged.append(strReferencePath);
    return merged;
}

}  // namespace

std::optional<std::wstring> ResolveReference(const std::wstring& strBase,
                                             const std::wstring& strReference)
{
    std::wstring strBaseText = strBase;
    UrlReferenceParts base = SplitUrlReference(strBaseText);
    if (base.scheme.empty()) {
        return std::nullopt;
    }
    if (IsHttpScheme(SchemeName(base))) {
        strBaseText = SlashesForBackslashes(strBase);
        base = SplitUrlReference(strBaseText);
    }

    std::wstring strReferenceText = strReference;
    UrlReferenceParts reference = SplitUrlReference(strReferenceText);
    const std::wstring_view strTargetScheme =
        reference.scheme.empty() ? SchemeName(base) : SchemeName(reference);
    if (IsHttpScheme(strTargetScheme)) {
        strReferenceText = SlashesForBackslashes(strReference);
        reference = SplitUrlReference(strReferenceText);
    }

    // RFC 3986 5.2.2 with a strict parser: a reference with a scheme is
    // absolute even when the scheme equals the base's.
    std::wstring target;
    if (!reference.scheme.empty()) {
        target = std::wstring(reference.scheme) + std::wstring(reference.authority) +
                 RemoveDotSegments(reference.path) + std::wstring(reference.query);
    } else if (!reference.authority.empty()) {
        target = std::wstring(base.scheme) + std::wstring(reference.authority) +
                 RemoveDotSegments(reference.path) + std::wstring(reference.query);
    } else {
        target = std::wstring(base.scheme) + std::wstring(base.authority);
        if (reference.path.empty()) {
            target += base.path;
            target += reference.query.empty() ? base.query : reference.query;
        } else {
            target += reference.path.front() == L'/'
                          ? RemoveDotSegments(reference.path)
                          : RemoveDotSegments(MergePaths(base, reference.path));
            target += reference.query;
        }
    }
    target += reference.fragment;
    return target;
}

}  // namespace pullbay::net
