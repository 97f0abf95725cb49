#pragma once
// The page that the host program stands in for: reads a local HTML file or
// fetches an http(s) URL, and takes the control's property bag and extent
// from the first object element that names the control. Plain data and
// static functions; any thread (a fetch runs on the calling thread).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pullbay::host {

class HostPage {
public:
    // A page above this size is refused, fetched or local.
    static constexpr std::size_t kMaxPageBytes = 4 * 1024 * 1024;
    // A page whose elements may nest deeper than this is refused before it is
    // parsed: the parser's time grows with the square of the depth. Real
    // pages stay within a few hundred levels.
    static constexpr std::size_t kMaxNestingDepth = 1000;
    // Connect and receive time-out of the fetch; a failed fetch is not tried again.
    static constexpr int kFetchTimeOutMs = 30000;
    // Exit codes for a failed Load: the page itself (missing or unreadable
    // local file, nested too deeply, no object element of the control) and the network (a
    // transfer error, a status other than 200, a fetched page above the limit).
    static constexpr int kExitPageError = 64;
    static constexpr int kExitNetworkError = 2;

    // The object element that names the control.
    struct PageObject {
        bool bFound = false;
        // The param children (at any depth, but not those of a nested object):
        // name and value as written, in document order.
        std::vector<std::pair<std::wstring, std::wstring>> params;
        // Decimal pixels of the width and height attributes; nullopt when
        // missing or anything else ("100%", "12px", "-3").
        std::optional<int> width;
        std::optional<int> height;
        // The page's own title: the text of its first title element with
        // the white space collapsed, as a browser shows it.
        std::wstring strTitle;
    };

    // Either the page or the message of a failure with the exit code for it.
    // The message does not repeat the page: the caller names it.
    struct LoadResult {
        // A local file: its absolute file:// URL; a URL: as given.
        std::wstring strPageAddress;
        PageObject object;
        std::string strError;  // UTF-8; empty on success
        int intExitCode = 0;
        bool Ok() const { return strError.empty(); }
    };

    // Parses the page (UTF-8) as a browser does and finds the first object
    // element that names the control by its ProgID ("progid:" classid or any
    // attribute equal to the ProgID), its CLSID ("clsid:" classid, braces
    // optional) or its MIME type; all case-insensitive. The caller keeps a
    // page nested deeper than kMaxNestingDepth away from it (Load does).
    static PageObject FindControl(std::string_view strHtmlUtf8);

    // The page's bytes as UTF-8 text: a byte-order mark decides, then the
    // charset of strContentType (the Content-Type header; may be empty), then
    // a meta element of the page. UTF-8, ISO-8859-1 and windows-1252 are
    // known; any other charset is read as UTF-8. Invalid bytes become U+FFFD.
    // A page nested deeper than kMaxNestingDepth is not searched for a meta element.
    static std::string DecodeToUtf8(std::string_view bytes, std::string_view strContentType);

    // The file:// URL of a local path: made absolute against the working
    // folder, "." and ".." removed, and every byte outside the unreserved and
    // path characters percent-encoded ("%" itself included).
    static std::wstring FileUrl(const std::string& strPath);

    // Reads strPage (a path, or a URL starting with http:// or https://,
    // fetched with the cookie text) and finds the control in it. Never throws
    // for a failure of the page or the network: the result carries it.
    static LoadResult Load(const std::string& strPage, const std::wstring& strCookie);
};

}  // namespace pullbay::host
