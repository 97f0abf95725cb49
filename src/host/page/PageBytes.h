#pragma once
// The bytes of the page the host program stands in for: a local file read
// whole, or one GET of an http(s) URL with the project's transfer (not
// tried again, with the connect and receive time-out of
// HostPage::kFetchTimeOutMs). Either way at most HostPage::kMaxPageBytes.
// Plain data and static functions; any thread (a fetch runs on the calling
// thread).
#include <string>

namespace pullbay::host {

struct PageBytes {
    std::string bytes;
    // The fetched page's Content-Type header; empty for a local file.
    std::string strContentType;
    // UTF-8; empty on success. Does not repeat the page: the caller names it.
    std::string strError;

    bool Ok() const { return strError.empty(); }

    // Fetches the URL with the cookie text.
    static PageBytes Fetch(const std::string& strUrl, const std::wstring& strCookie);
    // Reads the local file (a device or a pipe that never ends included).
    static PageBytes ReadFile(const std::string& strPath);
};

}  // namespace pullbay::host
