#pragma once
// The generic syntax of a URL reference (RFC 3986): the pieces that the
// canonicaliser, the resolver and the transfer's encoder treat differently,
// and the removal of "." and ".." path segments. Any text splits; nothing is
// validated. Stateless; any thread may call these.
#include <string>
#include <string_view>

namespace pullbay::net {

// Each piece keeps its delimiters, so an empty view means "absent" while
// "?", "#" or "//" alone mean "present but empty" (RFC 3986 tells the two
// apart when resolving). The pieces are contiguous views of the split text:
// scheme + authority + path + query + fragment gives it back.
struct UrlReferenceParts {
    // "scheme:" and "//authority", each when present ("http://host:81",
    // "c:", "//host", or empty for a relative path).
    std::wstring_view prefix;
    // "scheme:" with its ":", or empty.
    std::wstring_view scheme;
    // "//authority" with its "//", or empty.
    std::wstring_view authority;
    // Up to the first "?" or "#".
    std::wstring_view path;
    // From the first "?" up to the first "#", the "?" included.
    std::wstring_view query;
    // From the first "#" to the end, the "#" included.
    std::wstring_view fragment;
};

UrlReferenceParts SplitUrlReference(std::wstring_view strUrl);

// The scheme name without its ":" (empty when there is none).
std::wstring_view SchemeName(const UrlReferenceParts& parts);

// True for "http" and "https" in any ASCII letter case.
bool IsHttpScheme(std::wstring_view strSchemeName);

// The text with every "\" before the first "?" or "#" turned into "/".
// Browsers read an http(s) URL that way (a page written with Windows paths
// in mind still works); query and fragment keep their backslashes.
std::wstring SlashesForBackslashes(std::wstring_view strUrl);

// Removes "." and ".." segments. An absolute path never climbs above its
// root ("/a/../../b" gives "/b"); a relative path keeps the ".." segments it
// cannot resolve ("a/../../b" gives "../b") instead of becoming absolute.
// A final "." or ".." leaves the path ending in "/".
std::wstring RemoveDotSegments(std::wstring_view strPath);

}  // namespace pullbay::net
