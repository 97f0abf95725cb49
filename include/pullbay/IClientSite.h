#pragma once
// What the host tells the control about the page it sits on: the page's
// address (relative URLs resolve against it) and its cookie text. The host
// implements it; the control calls it on the GUI thread.
#include <optional>
#include <string>

namespace pullbay::api {

class IClientSite {
public:
    virtual ~IClientSite() = default;
    // nullopt when the host has no page address.
    virtual std::optional<std::wstring> GetPageAddress() const = 0;
    virtual std::wstring GetCookieText() const = 0;
};

}  // namespace pullbay::api
