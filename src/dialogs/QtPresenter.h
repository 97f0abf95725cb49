#pragma once
// The control's dialogs as real windows, each modal and owned by the
// control's window: the file-exists dialog, the run's message boxes and the
// folder dialog. The confirmation, progress, completion and get-file-list
// windows are not built yet: until they are, the confirmation is taken as
// shown (every checked file), and progress, completion and the list fetch
// show nothing. The control's default presenter wherever a display is
// present. GUI thread only.
#include <QPointer>
#include <QWidget>

#include <memory>

#include "core/ThreadAffinity.h"
#include "pullbay/IDialogPresenter.h"

class QDialog;

namespace pullbay::dialogs {

class QtFolderBrowser;

class QtPresenter : public api::IDialogPresenter {
public:
    QtPresenter();
    ~QtPresenter() override;

    // The control's window, which owns every dialog (null: none yet).
    void SetOwner(QWidget* pOwner);

    api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest& request) override;
    std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override;
    api::FileExistsReply AskFileExists(const api::FileExistsQuestion& question) override;
    void ShowProgress(const std::shared_ptr<api::IProgressSource>& pSource) override;
    void ShowDownloadComplete(const api::CompletionReport& report) override;
    api::MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                         api::MessageBoxButtons buttons) override;
    void OpenFolder(const std::wstring& strPath) override;
    void CancelDialogs() override;

private:
    // The owner of a new dialog: the control's window, else the active one.
    QWidget* Owner() const;

    const core::ThreadAffinity m_guiThread;
    QPointer<QWidget> m_pOwner;
    std::shared_ptr<QtFolderBrowser> m_pBrowser;
    // The dialog open now, ended as cancelled by CancelDialogs.
    QPointer<QDialog> m_pOpen;
};

}  // namespace pullbay::dialogs
