#pragma once
// A presenter that answers every question without a window: OK to the
// confirmation with the list as it is, the folder it was given (or
// cancel), the default action for a clash, OK to a message box and No to a
// Yes/No question; progress and completion ask nothing. Opening the folder
// is a notice (a callback; by default a line on standard error) or, on a
// desktop, the desktop's own handler. It remembers what it was asked, for
// hosts that report it and for tests. GUI thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/IDialogPresenter.h"
#include "platform/shell/PolicyFolderBrowser.h"

namespace pullbay::control {

class PolicyPresenter : public IDialogPresenter {
public:
    enum class OpenFolderMode { Notice, Desktop };

    explicit PolicyPresenter(OpenFolderMode mode = OpenFolderMode::Notice);

    // The folder the browser answers with (empty: cancelled).
    void SetFolder(const std::wstring& strPath);
    void SetNotice(std::function<void(const std::wstring&)> notice) { m_notice = std::move(notice); }

    bool ConfirmDownload(const PropertyHolder& settings, const std::wstring& strServer,
                         FileList& files) override;
    std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override { return m_pBrowser; }
    void AskFileExists(const PropertyHolder& settings, const std::wstring& strQuestion,
                       FileExistsDialogAction& action, bool& bApplyToAll) override;
    void ShowProgress(const PropertyHolder& settings,
                      const std::shared_ptr<engine::FileListDownloader>& pEngine) override;
    void ShowDownloadComplete(const PropertyHolder& settings,
                              const std::vector<std::shared_ptr<FileItem>>& items, bool bCopyFailed,
                              const std::wstring& strDestination) override;
    MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                    MessageBoxButtons buttons) override;
    void OpenFolder(const std::wstring& strPath) override;

    // The download log as the completion dialog would have shown it; empty
    // until that dialog ran.
    const std::optional<std::vector<std::wstring>>& CompletionLog() const { return m_completionLog; }

    // What was asked, in order ("confirm <server>", "exists <question>",
    // "message <text>", "complete", "open <path>", ...).
    const std::vector<std::wstring>& Asked() const { return m_asked; }

private:
    OpenFolderMode m_mode;
    std::shared_ptr<platform::shell::PolicyFolderBrowser> m_pBrowser;
    std::function<void(const std::wstring&)> m_notice;
    std::vector<std::wstring> m_asked;
    std::optional<std::vector<std::wstring>> m_completionLog;
};

}  // namespace pullbay::control
