#pragma once
// The page the control sits on, as the command line gives it: its address
// (none without --page-url) and its cookie text. Set before the control
// starts, then only read on the GUI thread.
#include <optional>
#include <string>
#include <utility>

#include "pullbay/IClientSite.h"

namespace pullbay::host {

class HostClientSite : public api::IClientSite {
public:
    HostClientSite(std::optional<std::wstring> strPageAddress, std::wstring strCookie)
        : m_strPageAddress(std::move(strPageAddress)), m_strCookie(std::move(strCookie))
    {
    }
    std::optional<std::wstring> GetPageAddress() const override { return m_strPageAddress; }
    std::wstring GetCookieText() const override { return m_strCookie; }

private:
    std::optional<std::wstring> m_strPageAddress;
    std::wstring m_strCookie;
};

}  // namespace pullbay::host
