#pragma once
// The dialogs of "run" and "demo": the control's own presenter, except that
// the folder given with --dest is the answer to the folder question, and
// without a display but on a terminal the progress dialog becomes a live bar
// on standard error.
// Without a display the control's own presenter answers by policy; opening
// the folder is then a notice. GUI thread only.
#include <functional>
#include <memory>
#include <string>

#include "core/ThreadAffinity.h"
#include "platform/shell/PolicyFolderBrowser.h"
#include "pullbay/IDialogPresenter.h"

namespace pullbay::host {

class RunPresenter : public api::IDialogPresenter {
public:
    // bDesktop: a display is there (the desktop opens folders);
    // bTerminalBar: standard error is a terminal; strFolder: the folder to
    // download into (empty: ask).
    RunPresenter(bool bDesktop, bool bTerminalBar, const std::wstring& strFolder);

    // The control's own presenter, which answers everything not replaced
    // here (ControlSession hands it over before the control's window
    // exists); until then every question is answered as cancelled.
    void SetDefault(std::shared_ptr<api::IDialogPresenter> pDefault)
    {
        m_pDefault = std::move(pDefault);
    }
    // Where opening the folder goes without a desktop: given the folder
    // (default: a line on standard error).
    void SetNotice(std::function<void(const std::wstring&)> notice)
    {
        m_notice = std::move(notice);
    }
    // Told each confirmation the user answered OK, with the answer.
    void SetConfirmed(
        std::function<void(const api::ConfirmationRequest&, const api::ConfirmationAnswer&)>
            confirmed)
    {
        m_confirmed = std::move(confirmed);
    }

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

    // The folder the run's files go to: the one given, or the one the
    // folder browser answered with (empty: none chosen yet).
    std::wstring ChosenFolder() const;

    // The bar's text for a terminal of intColumns columns (without control
    // characters, also none of the URL's): the file, the detail line and the
    // total bar.
    static std::string BarText(const std::wstring& strUrl, const std::wstring& strDetails,
                               int intTotal, int intColumns);

private:
    class RecordingBrowser;

    const core::ThreadAffinity m_guiThread;
    const bool m_bDesktop;
    const bool m_bTerminalBar;
    std::shared_ptr<platform::shell::PolicyFolderBrowser> m_pGivenFolder;
    std::wstring m_strGivenFolder;
    std::shared_ptr<RecordingBrowser> m_pRecordingBrowser;
    std::shared_ptr<api::IDialogPresenter> m_pDefault;
    std::function<void(const std::wstring&)> m_notice;
    std::function<void(const api::ConfirmationRequest&, const api::ConfirmationAnswer&)>
        m_confirmed;
};

}  // namespace pullbay::host
