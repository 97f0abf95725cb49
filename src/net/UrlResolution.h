#pragma once
// Resolution of a URL reference against a base URL (RFC 3986, section 5.2),
// as a browser resolves a link against its page: "//host/x", "/x", "x",
// "../x", "?q", "#f" and "" all get their standard meaning. Stateless; any
// thread may call it.
#include <optional>
#include <string>

namespace pullbay::net {

// The target URL of strReference read against strBase, or nothing when
// strBase has no scheme (it cannot serve as a base). The fragment of the
// base is ignored; a reference with a scheme stands for itself. Where the
// target's scheme is http or https, "\" before query and fragment counts as
// "/" in base and reference ("\\host\x" is "//host/x"), as browsers read
// them. Dot segments are removed from the merged path (RFC 3986 5.2.4);
// a base without authority and with a rootless path ("urn:a/b") keeps the
// ".." segments it cannot resolve. The result is not canonicalised.
std::optional<std::wstring> ResolveReference(const std::wstring& strBase,
                                             const std::wstring& strReference);

}  // namespace pullbay::net
