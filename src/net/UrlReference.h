#pragma once
// The generic syntax of a URL reference (RFC 3986): the pieces that the
// canonicaliser and the transfer's encoder treat differently, and the removal
// of "." and ".." path segments. Any text splits; nothing is validated.
#include <string>
#include <string_view>

namespace pullbay::net {

struct UrlReferenceParts {
    // "scheme:" and "//authority", each when present ("http://host:81",
    // "c:", "//host", or empty for a relative path).
    std::wstring_view prefix;
    // Up to the first "?" or "#".
    std::wstring_view path;
    // From the first "?" up to the first "#", the "?" included.
    std::wstring_view query;
    // From the first "#" to the end, the "#" included.
    std::wstring_view fragment;
};

UrlReferenceParts SplitUrlReference(std::wstring_view strUrl);

// Removes "." and ".." segments. An absolute path never climbs above its
// root ("/a/../../b" gives "/b"); a relative path keeps the ".." segments it
// cannot resolve ("a/../../b" gives "../b") instead of becoming absolute.
// A final "." or ".." leaves the path ending in "/".
std::wstring RemoveDotSegments(std::wstring_view strPath);

}  // namespace pullbay::net
