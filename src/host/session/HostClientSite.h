#pragma once
// The page the control sits on, as the command line gives it: its address
// (none without --page-url) and its cookie text, and whether the events go
// to a web page (the browser's) or to the person at this machine. Set
// before the control starts, then only read on the GUI thread.
#include <optional>
#include <string>
#include <utility>

#include "pullbay/IClientSite.h"

namespace pullbay::host {

class HostClientSite : public api::IClientSite {
public:
    HostClientSite(std::optional<std::wstring> strPageAddress, std::wstring strCookie,
                   bool bLocalPaths)
        : m_strPageAddress(std::move(strPageAddress)),
          m_strCookie(std::move(strCookie)),
          m_bLocalPaths(bLocalPaths)
    {
    }
    std::optional<std::wstring> GetPageAddress() const override { return m_strPageAddress; }
    std::wstring GetCookieText() const override { return m_strCookie; }
    bool MayShowLocalPaths() const override { return m_bLocalPaths; }

private:
    std::optional<std::wstring> m_strPageAddress;
    std::wstring m_strCookie;
    bool m_bLocalPaths;
};

}  // namespace pullbay::host
