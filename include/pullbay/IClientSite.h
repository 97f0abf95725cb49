#pragma once
// What the host tells the control about the page it sits on: the page's
// address (relative URLs resolve against it), its cookie text, and whether
// the page may learn local paths. The host
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
    // Whether the descriptions of the Error events may name this machine's
    // paths (the folder or file a failed write went to): true for a host
    // that shows them only to the person at this machine (a terminal, the
    // user's own script), false for a web page, which gets the cause alone.
    virtual bool MayShowLocalPaths() const = 0;
};

}  // namespace pullbay::api
