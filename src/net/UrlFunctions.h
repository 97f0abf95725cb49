#pragma once
// Splitting, host extraction and resolution of the URLs that the system
// downloads. Stateless; any thread may call them.
#include <string>

#include "net/UrlComponents.h"

namespace pullbay::net {

// Matches the whole text, case-insensitively, against
// "^(http|https)://([^:/]*)(:([0-9]+))?(/(.*))*$", where the host may also be
// an IPv6 literal in brackets ("[::1]", kept with its brackets) and may not
// hold user info (an "@" before any "?" or "#"). On a match all four fields
// are written (port 80/443 when none is given) and true is returned; otherwise
// (a null text included) false, with out untouched. A port that does not fit
// 16 bits throws boost::bad_lexical_cast, also leaving out untouched.
bool ParseUrl(const wchar_t* strUrl, UrlComponents& out);

// The host of a URL that matches the pattern of ParseUrl, or an empty text.
// Never throws for the port: a caller asking only for the host (is this URL
// absolute?) gets it even when the port is out of range.
std::wstring GetHost(const std::wstring& strUrl);

// "scheme://host:port" of a URL that ParseUrl accepts with a host: scheme and
// host in lower case (A-Z only), the port always written (80 and 443 when
// none is given). Empty for any other text. Two URLs are of one origin when
// their origins are equal.
std::wstring GetOrigin(const std::wstring& strUrl);

// The absolute URL of a file-list entry. strBase is the list's address cut
// after its last "/". A matching base with a reference starting with "/"
// keeps scheme, host and port text as written and takes the reference as
// path; any other reference is appended after a "/". A base that does not
// match is followed directly by the reference. Not canonicalised.
std::wstring ResolveUrl(const std::wstring& strBase, const std::wstring& strReference);

}  // namespace pullbay::net
