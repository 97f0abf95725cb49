#include "net/UrlEncoding.h"

#include "core/HexDigits.h"
#include "core/TextUnits.h"
#include "net/UrlReference.h"

namespace pullbay::net {

namespace {

// A byte that may stand raw in a request target (RFC 3986 unreserved and
// reserved characters; "%" is judged by the caller).
bool IsAllowedRaw(unsigned char ch)
{
    if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) {
        return true;
    }
    switch (ch) {
    case '-':
    case '.':
    case '_':
    case '~':
    case ':':
    case '/':
    case '?':
    case '#':
    case '[':
    case ']':
    case '@':
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
        return true;
    default:
        return false;
    }
}

void AppendEncoded(std::string& out, std::string_view strUtf8)
{
    for (std::size_t i = 0; i < strUtf8.size(); ++i) {
        const auto ch = static_cast<unsigned char>(strUtf8[i]);
        const bool escape = ch == '%' && i + 2 < strUtf8.size() &&
                            core::IsHexDigit(strUtf8[i + 1]) && core::IsHexDigit(strUtf8[i + 2]);
        if (IsAllowedRaw(ch) || escape) {
            out.push_back(static_cast<char>(ch));
        } else {
            out.push_back('%');
            core::AppendHex(out, ch, 2, core::HexCase::Upper);
        }
    }
}

}  // namespace

std::wstring PercentEncodeUnsafe(std::wstring_view strText)
{
    std::string encoded;
    AppendEncoded(encoded, core::ToUtf8(strText));
    return std::wstring(encoded.begin(), encoded.end());
}

std::string PercentEncodeForTransfer(std::wstring_view strUrl)
{
    const UrlReferenceParts parts = SplitUrlReference(strUrl);
    std::string out = core::ToUtf8(parts.prefix);
    // Path, query and fragment are contiguous after the prefix.
    AppendEncoded(out, core::ToUtf8(strUrl.substr(parts.prefix.size())));
    return out;
}

}  // namespace pullbay::net
