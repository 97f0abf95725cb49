#pragma once
// Every dialog and message box of a download run, behind one interface that
// carries values only: a desktop shows real dialogs, a host without a display
// answers by policy or hands the question to its client. Each request holds
// the texts and rows its dialog shows, each answer what the user chose; a
// presenter needs nothing of the control's code.
//
// Threads: every call comes on the GUI thread and returns when its dialog is
// done (modal); a presenter keeps the GUI thread's events moving meanwhile.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/shell/IFolderBrowser.h"
#include "ui/ConfirmationModel.h"
#include "ui/DownloadLogModel.h"
#include "ui/FileExistsModel.h"
#include "ui/ProgressModel.h"

namespace pullbay::api {

enum class MessageBoxButtons { Ok, YesNo };
enum class MessageBoxAnswer { Ok, Yes, No };

// The confirmation dialog: its texts (the column titles among them), the
// server the list came from and one row per file with its check box (kept
// compact, and shared by copies: see ui/ConfirmationRows.h).
struct ConfirmationRequest {
    ui::ConfirmationSettings settings;
    std::wstring strServer;
    ui::ConfirmationRows rows;
};

struct ConfirmationAnswer {
    bool bOk = false;
    // One flag per row when bOk; rows left unchecked are not downloaded.
    std::vector<bool> checked;
};

// The file-exists dialog: the question names the full destination path;
// settings.defaultAction is what the countdown's run-out chooses.
struct FileExistsQuestion {
    ui::FileExistsSettings settings;
    std::wstring strQuestion;
};

struct FileExistsReply {
    ui::FileExistsAnswer action = ui::FileExistsAnswer::Skip;
    // The answer holds for the rest of the run.
    bool bApplyToAll = false;
};

// The progress dialog's view of a running transfer, pulled at each tick.
// The source holds the engine weakly: once the engine has ended, State()
// reports it gone and the skips do nothing. GUI thread.
class IProgressSource {
public:
    virtual ~IProgressSource() = default;
    // The texts are read at every tick: script may change them meanwhile.
    virtual ui::ProgressTexts Texts() const = 0;
    virtual ui::ProgressTimeTexts TimeTexts() const = 0;
    virtual ui::ProgressEngineState State() const = 0;
    // The bars' background, as BackgroundColor holds it (0x00BBGGRR).
    virtual std::uint32_t BarBackgroundColor() const { return 0x00FFFFFF; }
    virtual void SkipCurrent() = 0;
    virtual void SkipAll() = 0;
};

// The get-file-list window: its line of text and its Cancel button.
struct FileListWindowTexts {
    std::wstring strText;
    std::wstring strCancelButtonText;
};

// The download-complete dialog: its texts, one row per file in list order
// (the dialog builds each line when it is first shown), and the same log as
// built lines (the files' lines, then the extra line when the Protected Mode
// copy failed) for presenters that only pass the text on.
struct CompletionReport {
    ui::DownloadLogTexts texts;
    std::vector<ui::DownloadLogRow> rows;
    // The log's lines, shared (a list of a million files has a million of
    // them, and the control keeps them for its DownloadLog); null: none.
    std::shared_ptr<const std::vector<std::wstring>> lines;
    bool bCopyFailed = false;
    std::wstring strDestination;
};

class IDialogPresenter {
public:
    virtual ~IDialogPresenter() = default;

    virtual ConfirmationAnswer ConfirmDownload(const ConfirmationRequest& request) = 0;
    // The folder browser of the destination choice.
    virtual std::shared_ptr<platform::shell::IFolderBrowser> FolderBrowser() = 0;
    // Asked for the engine's worker, which waits for the answer.
    virtual FileExistsReply AskFileExists(const FileExistsQuestion& question) = 0;
    // Returns when the source's engine has no current file any more, or at
    // once when the presenter shows no progress.
    virtual void ShowProgress(const std::shared_ptr<IProgressSource>& pSource) = 0;
    virtual void ShowDownloadComplete(const CompletionReport& report) = 0;
    virtual MessageBoxAnswer ShowMessageBox(const std::wstring& strText,
                                            const std::wstring& strCaption,
                                            MessageBoxButtons buttons) = 0;
    // The get-file-list progress window while the list is fetched: shown with
    // its texts and a cancel action the presenter may call (on the GUI
    // thread) until FileListProgressClosed; FileListProgress reports the
    // bytes received and expected (below 1: the size is unknown). Presenters
    // without such a window ignore all three.
    virtual void FileListProgressShown(const FileListWindowTexts& /*texts*/,
                                       std::function<void()> /*cancel*/)
    {
    }
    virtual void FileListProgress(std::int64_t /*intDone*/, std::int64_t /*intExpected*/) {}
    virtual void FileListProgressClosed() {}
    // Shows the destination folder to the user (the desktop's handler, or a
    // notice where there is no desktop).
    virtual void OpenFolder(const std::wstring& strPath) = 0;
    // The run is ending early (its window went away or the control was
    // released): every dialog open now ends at once as cancelled (a
    // file-exists question as Skip). The run asks nothing more afterwards.
    virtual void CancelDialogs() {}
};

}  // namespace pullbay::api
