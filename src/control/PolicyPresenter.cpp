#include "control/PolicyPresenter.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <cstdio>

#include "control/DialogSettings.h"
#include "core/TextUnits.h"
#include "platform/shell/ItemIdList.h"

namespace pullbay::control {

PolicyPresenter::PolicyPresenter(OpenFolderMode mode)
    : m_mode(mode), m_pBrowser(std::make_shared<platform::shell::PolicyFolderBrowser>())
{
    m_notice = [](const std::wstring& strText) {
        std::fprintf(stderr, "%s\n", core::ToUtf8(strText).c_str());
    };
}

void PolicyPresenter::SetFolder(const std::wstring& strPath)
{
    m_pBrowser->SetAnswer(strPath.empty() ? platform::shell::ItemIdBytes()
                                          : platform::shell::ItemIdList::FromPath(strPath));
}

bool PolicyPresenter::ConfirmDownload(const PropertyHolder&, const std::wstring& strServer, FileList&)
{
    m_asked.push_back(L"confirm " + strServer);
    return true;
}

void PolicyPresenter::AskFileExists(const PropertyHolder&, const std::wstring& strQuestion,
                                    FileExistsDialogAction&, bool& bApplyToAll)
{
    // The default action comes in as the answer and stays.
    m_asked.push_back(L"exists " + strQuestion);
    bApplyToAll = false;
}

void PolicyPresenter::ShowProgress(const PropertyHolder&, const std::shared_ptr<engine::FileListDownloader>&)
{
    m_asked.push_back(L"progress");
}

void PolicyPresenter::ShowDownloadComplete(const PropertyHolder& settings,
                                           const std::vector<std::shared_ptr<FileItem>>& items, bool bCopyFailed,
                                           const std::wstring& strDestination)
{
    m_asked.push_back(L"complete");
    m_completionLog = DialogSettings::LogLines(settings, items, bCopyFailed, strDestination);
}

MessageBoxAnswer PolicyPresenter::ShowMessageBox(const std::wstring& strText, const std::wstring&,
                                                 MessageBoxButtons buttons)
{
    m_asked.push_back(L"message " + strText);
    return buttons == MessageBoxButtons::YesNo ? MessageBoxAnswer::No : MessageBoxAnswer::Ok;
}

void PolicyPresenter::OpenFolder(const std::wstring& strPath)
{
    m_asked.push_back(L"open " + strPath);
    if (m_mode == OpenFolderMode::Desktop) {
        // xdg-open through Qt: the desktop's own handler for folders.
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdWString(strPath)));
        return;
    }
    if (m_notice) {
        m_notice(L"The files are in " + strPath);
    }
}

}  // namespace pullbay::control
