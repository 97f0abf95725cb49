#pragma once
// Every dialog and message box of a download run, behind one interface: a
// desktop host shows real dialogs, a host without a display answers by
// policy or hands the question to its client. Called on the GUI thread; a
// call returns when the dialog is done (modal).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/FileExistsDialogAction.h"
#include "control/FileItem.h"
#include "control/FileList.h"
#include "control/PropertyHolder.h"

namespace pullbay::engine {
class FileListDownloader;
}

namespace pullbay::platform::shell {
class IFolderBrowser;
}

namespace pullbay::control {

enum class MessageBoxButtons { Ok, YesNo };
enum class MessageBoxAnswer { Ok, Yes, No };

class IDialogPresenter {
public:
    virtual ~IDialogPresenter() = default;

    // The confirmation dialog: the list's Checked flags may change; true
    // when the user confirmed with OK.
    virtual bool ConfirmDownload(const PropertyHolder& settings, const std::wstring& strServer,
                                 FileList& files) = 0;
    // The folder browser of the destination choice.
    virtual std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() = 0;
    // The file-exists dialog: action comes in as the default and goes out
    // as the answer; bApplyToAll goes out set when the answer is for the
    // rest of the run.
    virtual void AskFileExists(const PropertyHolder& settings, const std::wstring& strQuestion,
                               FileExistsDialogAction& action, bool& bApplyToAll) = 0;
    // The progress dialog: returns when the engine has finished (it has no
    // current file any more) or at once when the host shows none.
    virtual void ShowProgress(const PropertyHolder& settings,
                              const std::shared_ptr<engine::FileListDownloader>& pEngine) = 0;
    // The download-complete dialog with the log of every file.
    virtual void ShowDownloadComplete(const PropertyHolder& settings,
                                      const std::vector<std::shared_ptr<FileItem>>& items,
                                      bool bCopyFailed, const std::wstring& strDestination) = 0;
    virtual MessageBoxAnswer ShowMessageBox(const std::wstring& strText, const std::wstring& strCaption,
                                            MessageBoxButtons buttons) = 0;
    // The get-file-list progress window while the list is fetched: shown with
    // its text and a cancel action the host may call (on the GUI thread) until
    // FileListProgressClosed. Hosts without such a window ignore both.
    virtual void FileListProgressShown(const std::wstring& /*strText*/, std::function<void()> /*cancel*/) {}
    virtual void FileListProgressClosed() {}
    // Shows the destination folder to the user (the desktop's handler, or a
    // notice where there is no desktop).
    virtual void OpenFolder(const std::wstring& strPath) = 0;
};

}  // namespace pullbay::control
