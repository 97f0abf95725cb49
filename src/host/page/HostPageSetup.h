#pragma once
// --page: reads the page (a local HTML file or an http(s) URL), finds the
// control's object element and puts its params, its extent and the page's
// address into the control's setup. Main thread, before the control starts.
#include <string>

#include "host/session/ControlSession.h"

namespace pullbay::host {

class HostPageSetup {
public:
    // 0 when the setup holds the page's object; otherwise the exit code
    // (64 for a page that cannot be read or names no control, 2 for a page
    // that could not be fetched), with the reason on standard error.
    static int Apply(const std::string& strPage, const std::wstring& strCookie,
                     ControlSession::Setup& setup);
};

}  // namespace pullbay::host
