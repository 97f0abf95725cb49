#pragma once
// The control's download run: the stages from the file list to the
// completion dialogs, the early ends, the file-exists hand-off and the
// engine's reports. The control owns one and forwards its download members
// to it; the run works on the control's list and folder of temporary files,
// reads its settings, presenter, worker pool and host, raises its events and
// sets its idle flag.
//
// Threads: every member runs on the GUI thread, except the engine's reports
// (engine::IDownloaderEvents), which come on the engine's worker. Of the
// run's own state these share with the GUI thread only the two end flags
// (atomic) and the file-exists answer kept for the rest of a run (locked);
// of the control's they read the settings and the GUI-thread provider, raise
// events through its event raiser and ask the file-exists question through
// the provider, on the GUI thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/HResult.h"
#include "engine/IDownloaderEvents.h"
#include "model/FileExistsDialogAction.h"
#include "platform/shell/FileMover.h"

namespace pullbay::api {
struct CompletionReport;
}  // namespace pullbay::api

namespace pullbay::engine {
class FileListDownloader;
class InstanceTempFolder;
}  // namespace pullbay::engine

namespace pullbay::model {
class FileList;
class PropertyHolder;
}  // namespace pullbay::model

namespace pullbay::control {

class EngineProgressSource;
class GetFileListDialog;
class Pullbay;

class DownloadRun : public engine::IDownloaderEvents {
public:
    // How a file-list fetch of its own (FetchFileList) ended.
    enum class ListFetch { Arrived, Failed, EndedEarly };

    // The control, its list and its folder of temporary files outlive the run.
    DownloadRun(Pullbay& control, model::FileList& files, engine::InstanceTempFolder& tempFolder);
    DownloadRun(const DownloadRun&) = delete;
    DownloadRun& operator=(const DownloadRun&) = delete;
    ~DownloadRun() override;

    // From the first step of a run (or a file-list fetch) to its end.
    bool IsRunning() const { return m_runStage != RunStage::Idle; }

    // A whole run, ended the common way whatever happened (idle again, list
    // cleared): E_FAIL when a failure other than an early end escaped a
    // stage, else S_OK. The caller checks that no run is going.
    HRESULT Run();
    // The get-file-list stage alone, as a run of its own that raises no
    // event; the caller checks that no run is going.
    ListFetch FetchFileList();
    // Ends the run in progress at its next step (see Pullbay::EndRunEarly).
    void EndRunEarly();
    // Cancels the run in progress as its person would: S_FALSE when idle.
    HRESULT CancelRun();
    // Passed to the engine of the run in progress; nothing without one.
    void SkipCurrent();
    void SkipAll();

    // The log of the last run that reached the transfer (null before).
    const std::shared_ptr<const std::vector<std::wstring>>& DownloadLog() const
    {
        return m_downloadLog;
    }
    // The move routine of a Protected Mode run (see Pullbay::SetFileMover).
    void SetFileMover(std::shared_ptr<const platform::shell::FileMover> pMover)
    {
        m_pFileMover = std::move(pMover);
    }

    // engine::IDownloaderEvents, called on the engine's worker.
    void ItemComplete(const std::wstring& strPage,
                      const std::shared_ptr<model::FileItem>& pItem) override;
    void ItemsSkipped(std::span<const std::shared_ptr<model::FileItem>> items,
                      std::int32_t intFirstIndex) override;
    void Error(std::int32_t intCode, const std::wstring& strDescription, std::int32_t intHttpCode,
               const std::wstring& strPage, const std::wstring& strUrl,
               std::int32_t intIndex) override;
    void Progress(double dblItemFraction, double dblTotalFraction, std::int32_t intIndex) override;
    model::FileExistsDialogAction FileExists(
        const std::shared_ptr<model::FileItem>& pItem) override;

private:
    // The stages of a run; Idle between runs. Each stage is entered through
    // EnterStage and every wait inside one returns to CheckRun, which ends
    // the run when EndRunEarly asked for it.
    enum class RunStage { Idle, FileList, Confirmation, Folder, Transfer, Completion };

    void EnterStage(RunStage stage);
    void CheckRun() const;
    // The end of every run, early or not.
    void FinishRun();
    void RunDownload();
    void RunTransfer(const std::wstring& strDestination);
    // The get-file-list stage: 1 when the list arrived, else 2.
    int RunFileListDialog();
    std::wstring ChooseDestination();
    void RunCompletionStages(const api::CompletionReport& report);
    [[noreturn]] static void AbortRun(const wchar_t* strRoutine, std::uint32_t uintLine);

    Pullbay& m_control;
    const model::PropertyHolder& m_properties;
    model::FileList& m_files;
    engine::InstanceTempFolder& m_tempFolder;
    RunStage m_runStage = RunStage::Idle;
    // Set by EndRunEarly on the GUI thread; the engine's worker reads it
    // before it asks the file-exists question.
    std::atomic<bool> m_bRunEnding{false};
    // Set by CancelRun on the GUI thread until the run has finished; the
    // engine's worker reads it before it asks the file-exists question.
    std::atomic<bool> m_bCancelled{false};
    GetFileListDialog* m_pFileListDialog = nullptr;
    std::shared_ptr<EngineProgressSource> m_pProgressSource;
    std::shared_ptr<const std::vector<std::wstring>> m_downloadLog;
    std::weak_ptr<engine::FileListDownloader> m_pEngine;
    std::shared_ptr<const platform::shell::FileMover> m_pFileMover =
        std::make_shared<const platform::shell::FileMover>();
    // The file-exists answer the user chose for the rest of a run; read and
    // written by FileExists on the engine's worker, cleared on the GUI
    // thread before the engine starts.
    std::mutex m_rememberedMutex;
    std::optional<model::FileExistsDialogAction> m_rememberedAnswer;
};

}  // namespace pullbay::control
