#pragma once
// The dialogs' settings and rows read from the control's properties and file
// items: one place that turns the control's state into what the window-free
// dialog models take, for every presenter (desktop or headless). GUI thread,
// like the properties and items it reads.
#include <memory>
#include <vector>

#include "model/FileItem.h"
#include "model/FileList.h"
#include "model/PropertyHolder.h"
#include "pullbay/IDialogPresenter.h"
#include "ui/ConfirmationModel.h"
#include "ui/DownloadLogModel.h"
#include "ui/FileExistsModel.h"
#include "ui/ProgressModel.h"

namespace pullbay::engine {
class FileListDownloader;
}

namespace pullbay::control {

class DialogSettings {
public:
    static ui::ConfirmationSettings Confirmation(const model::PropertyHolder& settings);
    static ui::ConfirmationRows ConfirmationRows(const model::FileList& files);

    static ui::FileExistsSettings FileExists(const model::PropertyHolder& settings);

    static ui::ProgressTexts ProgressTexts(const model::PropertyHolder& settings);
    static ui::ProgressTimeTexts ProgressTimeTexts(const model::PropertyHolder& settings);
    // The engine as one progress tick sees it; a null engine has ended.
    static ui::ProgressEngineState EngineState(
        const std::shared_ptr<engine::FileListDownloader>& pEngine);

    static ui::DownloadLogTexts DownloadLog(const model::PropertyHolder& settings);
    static ui::DownloadLogRow LogRow(const model::FileItem& item);
    static std::vector<ui::DownloadLogRow> LogRows(
        const std::vector<std::shared_ptr<model::FileItem>>& items);

    // The values a presenter receives. The completion's lines (the files'
    // lines, then the extra line when the Protected Mode copy failed) are
    // built from its rows as the download-complete dialog shows them.
    static api::ConfirmationRequest ConfirmationRequest(const model::PropertyHolder& settings,
                                                        const std::wstring& strServer,
                                                        const model::FileList& files);
    static api::FileExistsQuestion FileExistsQuestion(const model::PropertyHolder& settings,
                                                      const std::wstring& strDestinationPath,
                                                      model::FileExistsDialogAction defaultAction);
    static api::CompletionReport CompletionReport(
        const model::PropertyHolder& settings,
        const std::vector<std::shared_ptr<model::FileItem>>& items, bool bCopyFailed,
        const std::wstring& strDestination);
};

}  // namespace pullbay::control
