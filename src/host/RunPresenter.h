#pragma once
// The dialogs of "run" and "demo": answered by policy (the --dest folder,
// OK, the default clash action), except that with a display and no --dest the
// folder is asked in a real folder dialog, and on a terminal the progress
// dialog becomes a live bar on standard error. GUI thread only.
#include <memory>
#include <string>

#include "control/PolicyPresenter.h"

namespace pullbay::host {

class RunPresenter : public control::PolicyPresenter {
public:
    // bDesktop: a display is there (real folder dialog, the desktop opens
    // folders); bTerminalBar: standard error is a terminal.
    RunPresenter(bool bDesktop, bool bTerminalBar, const std::wstring& strFolder);

    std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override;
    void ShowProgress(const control::PropertyHolder& settings,
                      const std::shared_ptr<engine::FileListDownloader>& pEngine) override;

    // The bar's text for a terminal of intColumns columns (without control
    // characters): the file, the detail line and the total bar.
    static std::string BarText(const std::wstring& strUrl, const std::wstring& strDetails, int intTotal,
                               int intColumns);

private:
    const bool m_bTerminalBar;
    std::shared_ptr<platform::shell::IFolderBrowser> m_pDesktopBrowser;
};

}  // namespace pullbay::host
