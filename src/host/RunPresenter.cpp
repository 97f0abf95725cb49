#include "host/RunPresenter.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "control/QtFolderBrowser.h"
#include "core/TextUnits.h"
#include "host/ProgressWatch.h"

namespace pullbay::host {

namespace {

constexpr int kBarCells = 20;

int TerminalColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// The last path segment of a URL: what a person recognises as the file.
std::wstring ShortName(const std::wstring& strUrl)
{
    std::wstring strPath = strUrl.substr(0, strUrl.find_first_of(L"?#"));
    const std::size_t uintSlash = strPath.find_last_of(L'/');
    std::wstring strName = uintSlash == std::wstring::npos ? strPath : strPath.substr(uintSlash + 1);
    return strName.empty() ? strUrl : strName;
}

}  // namespace

RunPresenter::RunPresenter(bool bDesktop, bool bTerminalBar, const std::wstring& strFolder)
    : PolicyPresenter(bDesktop ? OpenFolderMode::Desktop : OpenFolderMode::Notice), m_bTerminalBar(bTerminalBar)
{
    SetFolder(strFolder);
    if (bDesktop && strFolder.empty()) {
        m_pDesktopBrowser = std::make_shared<control::QtFolderBrowser>(nullptr);
    }
}

std::shared_ptr<platform::shell::IFolderBrowser> RunPresenter::FolderBrowser()
{
    return m_pDesktopBrowser ? m_pDesktopBrowser : PolicyPresenter::FolderBrowser();
}

std::string RunPresenter::BarText(const std::wstring& strUrl, const std::wstring& strDetails, int intTotal,
                                  int intColumns)
{
    const int intFilled = std::clamp(intTotal, 0, 1000) * kBarCells / 1000;
    std::wstring strText = L"[" + std::wstring(static_cast<std::size_t>(intFilled), L'#') +
                           std::wstring(static_cast<std::size_t>(kBarCells - intFilled), L'-') + L"] " +
                           ShortName(strUrl) + L" " + strDetails;
    // One line: the cursor goes back to its start at every redraw.
    const auto uintWidth = static_cast<std::size_t>(std::max(intColumns - 1, 10));
    if (strText.size() > uintWidth) {
        strText.resize(uintWidth);
    }
    return core::ToUtf8(strText);
}

void RunPresenter::ShowProgress(const control::PropertyHolder& settings,
                                const std::shared_ptr<engine::FileListDownloader>& pEngine)
{
    PolicyPresenter::ShowProgress(settings, pEngine);
    if (!m_bTerminalBar) {
        return;
    }
    ProgressWatch::Run(settings, pEngine, [](const ui::ProgressModel& model) {
        const std::string strBar =
            BarText(model.GetUrl(), model.GetProgressText(), model.GetTotalBarPosition(), TerminalColumns());
        std::fprintf(stderr, "\r\x1b[K%s", strBar.c_str());
        std::fflush(stderr);
    });
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
}

}  // namespace pullbay::host
