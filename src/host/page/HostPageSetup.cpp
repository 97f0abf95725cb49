#include "host/page/HostPageSetup.h"

#include <iostream>

#include "host/page/HostPage.h"
#include "host/session/TerminalText.h"

namespace pullbay::host {

int HostPageSetup::Apply(const std::string& strPage, const std::wstring& strCookie,
                         ControlSession::Setup& setup)
{
    const HostPage::LoadResult page = HostPage::Load(strPage, strCookie);
    if (!page.Ok()) {
        std::cerr << "pullbay: --page " << TerminalText::Of(strPage) << ": "
                  << TerminalText::Of(page.strError) << std::endl;
        return page.intExitCode;
    }
    setup.strPageUrl = page.strPageAddress;
    setup.params.insert(setup.params.end(), page.object.params.begin(), page.object.params.end());
    if (page.object.width) {
        setup.intWidth = *page.object.width;
    }
    if (page.object.height) {
        setup.intHeight = *page.object.height;
    }
    setup.strTitle = page.object.strTitle;
    return 0;
}

}  // namespace pullbay::host
