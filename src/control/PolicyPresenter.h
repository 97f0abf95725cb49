#pragma once
// A presenter that answers every question without asking: OK to the
// confirmation with the list as it is, the folder it was given (or cancel),
// the default action for a clash, OK to a message box and No to a Yes/No
// question; progress and completion ask nothing; opening the folder is a
// notice (by default a line on standard error). The control's default
// presenter where no display is present. It remembers what it was asked,
// for tests. GUI thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ThreadAffinity.h"
#include "platform/shell/PolicyFolderBrowser.h"
#include "pullbay/IDialogPresenter.h"

namespace pullbay::control {

class PolicyPresenter : public api::IDialogPresenter {
public:
    PolicyPresenter();

    // The folder the browser answers with (empty: cancelled).
    void SetFolder(const std::wstring& strPath);
    void SetNotice(std::function<void(const std::wstring&)> notice)
    {
        m_notice = std::move(notice);
    }

    api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest& request) override;
    std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override;
    api::FileExistsReply AskFileExists(const api::FileExistsQuestion& question) override;
    void ShowProgress(const std::shared_ptr<api::IProgressSource>& pSource) override;
    void ShowDownloadComplete(const api::CompletionReport& report) override;
    api::MessageBoxAnswer ShowMessageBox(const std::wstring& strText,
                                         const std::wstring& strCaption,
                                         api::MessageBoxButtons buttons) override;
    void OpenFolder(const std::wstring& strPath) override;
    void CancelDialogs() override;

    // What was asked, in order ("confirm <server>", "exists <question>",
    // "message <text>", "complete", "open <path>", ...).
    const std::vector<std::wstring>& Asked() const { return m_asked; }

private:
    const core::ThreadAffinity m_guiThread;
    std::shared_ptr<platform::shell::PolicyFolderBrowser> m_pBrowser;
    std::function<void(const std::wstring&)> m_notice;
    std::vector<std::wstring> m_asked;
};

}  // namespace pullbay::control
