#pragma once
// The download engine of one run: takes the run's own copy of the list and
// processes the files one after another on a worker thread — destination
// name, temporary file, transfer, MIME type and size checks, the move into
// place — recording each file's Result and reporting every file to its
// owner. A failing file never ends the run; only skip-all does, and then
// every remaining file is still reported.
//
// Threads: Process and every IDownloadEvents operation run on the worker
// (the thread that first calls one of them; debug builds abort elsewhere);
// SkipCurrent, SkipAll, IsWaitingForReconnect, GetCurrentItem,
// GetCurrentIndex and GetProgressStatistic may be called from the GUI thread
// meanwhile (the flags and the position are atomic). The settings record is
// read on the worker while script may change it: it keeps the values the
// engine reads in atomics.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/FileOutcome.h"
#include "engine/IDownloaderEvents.h"
#include "model/FileItem.h"
#include "model/PropertyHolder.h"
#include "net/IDownloadEvents.h"
#include "net/ServerPauses.h"
#include "net/WInetDownloader.h"
#include "platform/sync/Event.h"
#include "tools/IWorkItem.h"
#include "ui/ProgressStatistic.h"

namespace pullbay::engine {

class FileListDownloader : public tools::IWorkItem,
                           public net::IDownloadEvents,
                           public std::enable_shared_from_this<FileListDownloader> {
public:
    using Items = std::vector<std::shared_ptr<model::FileItem>>;

    // Progress reports to the page: at most one per this interval (the
    // single-precision 0.2 read as a double).
    static constexpr double kReportIntervalSeconds = static_cast<double>(0.2f);
    // The folder under the user's temporary directory that holds the
    // temporary files outside Protected Mode.
    static constexpr const wchar_t* kTempFolderName = L"Pullbay_Temp";

    FileListDownloader(const model::PropertyHolder& settings, std::wstring strDestinationFolder,
                       Items items, IDownloaderEvents& events);
    ~FileListDownloader() override;
    // The folder of the temporary files outside Protected Mode (the
    // control's own; empty: none could be had, and every file fails as a
    // write error). Unset, the folder kTempFolderName under the user's
    // temporary directory. Set before the work is queued.
    void SetTemporaryFolder(std::wstring strFolder) { m_strTempFolder = std::move(strFolder); }
    // No temporary folder could be had: every file fails as a write error
    // whose message names strFolder, the folder that could not be used
    // (empty: none is known), and strWhy. Set before the work is queued.
    void SetTemporaryFolderFailure(std::wstring strFolder, std::wstring strWhy)
    {
        m_strTempFolder = std::wstring();
        m_strTempFolderFailed = std::move(strFolder);
        m_strTempFolderWhy = std::move(strWhy);
    }
    FileListDownloader(const FileListDownloader&) = delete;
    FileListDownloader& operator=(const FileListDownloader&) = delete;

    // IWorkItem: runs the whole list.
    long Execute(std::uint64_t uintParameter) override;

    void Process();

    // True once Process has begun (any thread). The run waits for it before
    // the pool's barrier: the barrier waits only for work a worker has
    // taken, and work still queued would otherwise run after the run ended.
    bool WaitUntilStarted(std::uint32_t uintTimeOutMs) { return m_started.Wait(uintTimeOutMs); }

    // Further attempts and the wait before each: the transfer's defaults
    // (the settings' reconnect values apply to the file-list retrieval
    // only). Tests shorten them. Before Process.
    void SetReconnectPolicy(std::uint32_t uintAttempts, std::uint32_t uintWaitMs);

    // Whether the Error events may name local paths (the folder or file a
    // failed write went to): only for a host that shows them to the person
    // at this machine. Otherwise they carry the cause alone. Before Process.
    void SetLocalPathsInErrors(bool bLocalPaths) { m_bLocalPathsInErrors = bLocalPaths; }

    // GUI thread.
    void SkipCurrent();
    void SkipAll();
    bool IsWaitingForReconnect() const { return m_bWaiting.load(); }
    std::shared_ptr<model::FileItem> GetCurrentItem() const;
    // The current file's position, -1 before the first and after the last.
    std::int32_t GetCurrentIndex() const { return m_intCurrent.load(); }
    std::shared_ptr<ui::ProgressStatistic> GetProgressStatistic() const { return m_pStatistic; }

    // The servers that asked this run for a pause (Retry-After); every
    // transfer of the run heeds them. Its members belong to the worker.
    const std::shared_ptr<net::ServerPauses>& GetServerPauses() const { return m_pServerPauses; }

    // net::IDownloadEvents, on the worker while a transfer runs: a skip, or
    // a body longer or of another type than declared, ends the transfer
    // with one of the stop codes below.
    net::TransferVerdict DownloadProgress(std::int64_t intPosition,
                                          std::int64_t intDeclaredLength) override;
    net::TransferVerdict MimeTypeAvailable(const std::wstring& strMimeType) override;
    void WaitingForReconnect() override;

private:
    static constexpr std::int32_t kEndMark = -1;
    // What ended a transfer early, as its outcome's stop code.
    enum StopCode : std::int32_t {
        kStopSkipCurrent = 1,
        kStopSkipAll,
        kStopTooLong,
        kStopWrongMimeType,
        kStopNoCurrentFile,
    };

    void ProcessItem(std::size_t uintIndex);
    // The file's steps, each ending in a value: the first that does not
    // succeed is the file's outcome.
    FileOutcome DownloadItem(const std::shared_ptr<model::FileItem>& pItem);
    std::optional<FileOutcome> PrepareDestination(const std::shared_ptr<model::FileItem>& pItem);
    std::optional<FileOutcome> PrepareTemporaryFile(model::FileItem& item);
    net::TransferOutcome Transfer(const model::FileItem& item);
    FileOutcome TransferFailure(net::TransferOutcome transfer);
    // The size check and the commit of a transfer that succeeded.
    FileOutcome FinishFile(const std::shared_ptr<model::FileItem>& pItem);
    // The table of outcomes: the file's Result (set once here), its Error
    // event, the clean-up of a file that did not succeed, and its
    // DownloadItemComplete.
    void ReportOutcome(std::int32_t intIndex, const std::shared_ptr<model::FileItem>& pItem,
                       const FileOutcome& outcome);
    // Reports every file from uintFirst on as skipped, in batches.
    void ReportSkippedByAll(std::size_t uintFirst);
    void DiscardTemporaryFile(model::FileItem& item);
    void CreateDestLocationPath(model::FileItem& item);
    // False when the file is skipped (the file-exists rule said Skip).
    bool MakeDestFileName(const std::shared_ptr<model::FileItem>& pItem);
    // The file-exists rule for an entry at the item's destination path (the
    // remembered or default answer, or the question): Skip returns false,
    // Rename gives the item the first free copy name of the name it asked
    // for, Overwrite lets the commit replace the entry.
    bool ApplyFileExistsRule(const std::shared_ptr<model::FileItem>& pItem);
    // Moves the finished temporary file into place. The commit replaces an
    // entry only after an Overwrite answer; an entry that appeared at the
    // chosen name after it was chosen brings the file-exists rule again, as
    // if it had been there then.
    FileOutcome CommitToDestination(const std::shared_ptr<model::FileItem>& pItem);
    void CreateTemporaryStream(model::FileItem& item);
    // Throws the failure of the temporary file when there is no folder for
    // it, naming the folder and why.
    std::wstring TemporaryFolder() const;
    // Clears strFolder of the copies that an earlier process's commit left
    // there, the first time this run meets it (the destination folder, and
    // each item's folder before its name is chosen).
    void SweepFolderOnce(const std::wstring& strFolder);
    bool IsProtectedModeRun() const;
    // The stop code of a skip request, 0 while none.
    std::int32_t SkipStopCode() const;

    const model::PropertyHolder& m_settings;
    const std::wstring m_strDestinationFolder;
    const Items m_items;
    IDownloaderEvents& m_events;
    const std::wstring m_strCookieText;  // always empty for files
    std::optional<std::wstring> m_strTempFolder;
    // Set with an empty m_strTempFolder: the folder that could not be used
    // and why.
    std::wstring m_strTempFolderFailed;
    std::wstring m_strTempFolderWhy;
    std::shared_ptr<ui::ProgressStatistic> m_pStatistic;
    std::chrono::steady_clock::time_point m_lastReport;
    std::atomic<std::int32_t> m_intCurrent{kEndMark};
    std::atomic<bool> m_bSkipAll{false};
    std::atomic<bool> m_bSkipCurrent{false};
    std::atomic<bool> m_bWaiting{false};
    platform::Event m_started{true};
    const core::ThreadAffinity m_workerThread{core::ThreadAffinity::kBindOnFirstUse};
    std::uint32_t m_uintReconnectAttempts = net::WInetDownloader::kDefaultReconnectAttemptsCount;
    std::uint32_t m_uintReconnectWaitMs = net::WInetDownloader::kDefaultReconnectTimeOutMs;
    // The mode of the stored files, read once per run (worker).
    std::uint32_t m_uintStoredMode = 0644;
    // Folders this run has cleared of copies that an earlier process's
    // commit across file systems left behind (worker only).
    std::unordered_set<std::wstring> m_sweptFolders;
    bool m_bLocalPathsInErrors = false;
    // Worker only, for the current file: the name it asked for (before any
    // copy name), and whether the commit may replace an entry there (the
    // Overwrite answer was given for it).
    std::wstring m_strRequestedName;
    bool m_bReplaceAllowed = false;

    // Shared by the run's transfers (worker only).
    const std::shared_ptr<net::ServerPauses> m_pServerPauses =
        std::make_shared<net::ServerPauses>();
};

}  // namespace pullbay::engine
