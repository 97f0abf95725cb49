#pragma once
// The control's dialogs as real windows, each modal and owned by the
// control's window: the confirmation dialog, the file-exists dialog, the
// run's message boxes, the get-file-list window, the progress dialog, the
// download-complete dialog and the folder dialog. The control's default
// presenter wherever a display is present. GUI thread only.
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "core/ThreadAffinity.h"
#include "pullbay/IDialogPresenter.h"

class QDialog;

namespace pullbay::dialogs {

class GetFileListWindow;
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
    api::MessageBoxAnswer ShowMessageBox(const std::wstring& strText,
                                         const std::wstring& strCaption,
                                         api::MessageBoxButtons buttons) override;
    void FileListProgressShown(const api::FileListWindowTexts& texts,
                               std::function<void()> cancel) override;
    void FileListProgress(std::int64_t intDone, std::int64_t intExpected) override;
    void FileListProgressClosed() override;
    void OpenFolder(const std::wstring& strPath) override;
    void CancelDialogs() override;

    // The get-file-list window while it is shown (tests drive it).
    GetFileListWindow* FileListWindow() const;

private:
    // The owner of a new dialog: the control's window, else the active one.
    QWidget* Owner() const;

    const core::ThreadAffinity m_guiThread;
    QPointer<QWidget> m_pOwner;
    std::shared_ptr<QtFolderBrowser> m_pBrowser;
    // The dialog open now, ended as cancelled by CancelDialogs.
    QPointer<QDialog> m_pOpen;
    QPointer<GetFileListWindow> m_pFileListWindow;
    std::function<void()> m_cancelFileList;
};

}  // namespace pullbay::dialogs
