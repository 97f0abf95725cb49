#pragma once
// The dialogs of a "serve" host: each dialog and message box of the control
// becomes a JSON line to the client, and the dialog waits — in a nested event
// loop, so other requests keep being served — until the client's answer line
// comes back through Answer(). In auto mode the host answers by policy at
// once and still writes each dialog line, with the answer it chose under
// "auto". After the end of input every dialog (open or later) is answered as
// cancelled. The dialogs' rules come from the window-free dialog models.
// GUI thread only.
#include <QJsonObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ThreadAffinity.h"
#include "platform/shell/IFolderBrowser.h"
#include "pullbay/IDialogPresenter.h"

namespace pullbay::host {

class ClientPresenter : public api::IDialogPresenter,
                        public std::enable_shared_from_this<ClientPresenter> {
public:
    enum class Mode { Client, Auto };
    // Where the lines go: standard output unless a caller says otherwise.
    using LineOutput = std::function<void(std::string_view)>;

    // strAutoFolder is the folder auto mode chooses (empty: cancel).
    ClientPresenter(Mode mode, std::wstring strAutoFolder, LineOutput output = {});

    // An answer line ({"answer":"<dialogId>", ...}); a refused answer is
    // reported to the client with an error line and its dialog stays open.
    void Answer(const QJsonObject& answer);
    // Standard input ended: open dialogs end as cancelled, later ones too.
    void EndOfInput();

    api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest& request) override;
    std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() override;
    api::FileExistsReply AskFileExists(const api::FileExistsQuestion& question) override;
    void ShowProgress(const std::shared_ptr<api::IProgressSource>& pSource) override;
    void ShowDownloadComplete(const api::CompletionReport& report) override;
    api::MessageBoxAnswer ShowMessageBox(const std::wstring& strText,
                                         const std::wstring& strCaption,
                                         api::MessageBoxButtons buttons) override;
    void OpenFolder(const std::wstring& strPath) override;
    void FileListProgressShown(const api::FileListWindowTexts& texts,
                               std::function<void()> cancel) override;
    void FileListProgressClosed() override;
    // The run is ending early: open dialogs end as cancelled (each with a
    // "dialogClosed" line whose reason is "cancelled").
    void CancelDialogs() override;

    // The folder dialog's question and answer (the folder browser's Browse).
    platform::shell::ItemIdBytes BrowseForFolder(const std::wstring& strTitle,
                                                 const platform::shell::ItemIdBytes& initialFolder);

private:
    const core::ThreadAffinity m_guiThread;
    struct Pending;

    std::string NextId();
    // Writes the dialog line (with "auto" in auto mode) and, for a client,
    // waits until the dialog ends; after the end of input it ends at once
    // as cancelled.
    void Run(const std::shared_ptr<Pending>& pPending, std::string strDialogLine,
             const std::string& strAutoJson);
    void End(Pending& pending);
    std::shared_ptr<Pending> Find(const std::string& strId) const;
    // Ends every open dialog as cancelled, telling the client why.
    void CancelOpen(const wchar_t* strReason);

    const Mode m_mode;
    const std::wstring m_strAutoFolder;
    const LineOutput m_write;
    std::uint32_t m_uintNextId = 0;
    bool m_bEndOfInput = false;
    std::vector<std::shared_ptr<Pending>> m_pending;
    std::shared_ptr<Pending> m_pFileListProgress;
};

}  // namespace pullbay::host
