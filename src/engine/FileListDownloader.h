#pragma once
// The download engine of one run: takes the run's own copy of the list and
// processes its files on a worker thread — destination name, temporary file,
// transfer, MIME type and size checks, the move into place — recording each
// file's Result and reporting every file to its owner. A failing file never
// ends the run; only skip-all does, and then every remaining file is still
// reported.
//
// With one connection per server the files go one after another. With more
// (SetParallelDownloads), several transfers run at once on one libcurl
// multi handle, and the owner still hears what a one-at-a-time run would
// tell: names and file-exists questions are decided in list order, a file
// whose name an unfinished earlier file holds waits for it, and every file
// is committed and reported in list order (one that finished early waits,
// whole, in its temporary file). The current file is the lowest-numbered
// one not finished.
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
    // Files in flight in a run at most, whatever the servers.
    static constexpr std::uint32_t kMaxFilesInFlight = 32;
    // Files named but not yet reported at most: those that finished early
    // wait in their temporary files (closed) for the ones before them.
    static constexpr std::size_t kMaxFilesAhead = 1024;

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

    // Connections the run may use to one server (scheme, host, port) at once:
    // over HTTP/1.1 the files in flight to it, over HTTP/2 the files share
    // one connection, up to kMaxFilesInFlight. 1 (and any value outside 1 to
    // kMaxFilesInFlight): one file at a time. Before Process.
    void SetParallelDownloads(std::uint32_t uintCount);

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
    class InFlight;
    class ParallelRun;

    static constexpr std::int32_t kEndMark = -1;
    // What ended a transfer early, as its outcome's stop code.
    enum StopCode : std::int32_t {
        kStopSkipCurrent = 1,
        kStopSkipAll,
        kStopTooLong,
        kStopWrongMimeType,
        kStopNoCurrentFile,
    };

    // What the choice of a file's destination name leaves for its commit:
    // the name it asked for (before any copy name), and whether the commit
    // may replace an entry there (the Overwrite answer was given for it).
    struct NameChoice {
        std::wstring strRequestedName;
        bool bReplaceAllowed = false;
    };

    void ProcessItem(std::size_t uintIndex);
    // The file's steps, each ending in a value: the first that does not
    // succeed is the file's outcome.
    FileOutcome DownloadItem(const std::shared_ptr<model::FileItem>& pItem, NameChoice& name);
    std::optional<FileOutcome> PrepareDestination(const std::shared_ptr<model::FileItem>& pItem,
                                                  NameChoice& name);
    std::optional<FileOutcome> PrepareTemporaryFile(model::FileItem& item);
    // Sets up a transfer of the item into its temporary file.
    void ConfigureTransfer(net::WInetDownloader& transfer, const model::FileItem& item,
                           std::size_t uintIndex);
    net::TransferOutcome Transfer(const model::FileItem& item, std::size_t uintIndex);
    FileOutcome TransferFailure(net::TransferOutcome transfer);
    // The size check and the commit of a transfer that succeeded.
    FileOutcome FinishFile(const std::shared_ptr<model::FileItem>& pItem, NameChoice& name);
    // The size of the finished temporary file, which it closes.
    static std::uint64_t CloseTemporaryFile(model::FileItem& item);
    FileOutcome CommitFinishedFile(const std::shared_ptr<model::FileItem>& pItem, NameChoice& name,
                                   std::uint64_t uintSize);
    // The table of outcomes: the file's Result (set once here), its Error
    // event, the clean-up of a file that did not succeed, and its
    // DownloadItemComplete.
    void ReportOutcome(std::int32_t intIndex, const std::shared_ptr<model::FileItem>& pItem,
                       const FileOutcome& outcome);
    // Reports the files from uintFirst to before uintEnd as skipped, in
    // batches.
    void ReportSkippedByAll(std::size_t uintFirst, std::size_t uintEnd);
    void ProcessInParallel();
    void DiscardTemporaryFile(model::FileItem& item);
    void CreateDestLocationPath(model::FileItem& item);
    // False when the file is skipped (the file-exists rule said Skip).
    bool MakeDestFileName(const std::shared_ptr<model::FileItem>& pItem, NameChoice& name);
    // The file-exists rule for an entry at the item's destination path (the
    // remembered or default answer, or the question): Skip returns false,
    // Rename gives the item the first free copy name of the name it asked
    // for, Overwrite lets the commit replace the entry.
    bool ApplyFileExistsRule(const std::shared_ptr<model::FileItem>& pItem, NameChoice& name);
    // Moves the finished temporary file into place. The commit replaces an
    // entry only after an Overwrite answer; an entry that appeared at the
    // chosen name after it was chosen brings the file-exists rule again, as
    // if it had been there then.
    FileOutcome CommitToDestination(const std::shared_ptr<model::FileItem>& pItem,
                                    NameChoice& name);
    void CreateTemporaryStream(model::FileItem& item);
    // Throws the failure of the temporary file when there is no folder for
    // it, naming the folder and why.
    std::wstring TemporaryFolder() const;
    // Clears strFolder of the copies that an earlier process's commit left
    // there, the first time this run meets it (the destination folder, and
    // each item's folder before its name is chosen).
    void SweepFolderOnce(const std::wstring& strFolder);
    bool IsProtectedModeRun() const;
    // The stop code of a skip request for the file at intIndex, 0 while none.
    std::int32_t SkipStopCode(std::int32_t intIndex) const;
    // A transfer's reports for the file at intIndex.
    net::TransferVerdict FileProgress(std::int32_t intIndex, std::int64_t intPosition,
                                      std::int64_t intDeclaredLength);
    net::TransferVerdict FileMimeType(std::int32_t intIndex, const std::wstring& strMimeType);
    // Sends Progress when the last report is kReportIntervalSeconds old.
    void ReportProgressAtInterval();

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
    // The file Skip Current was asked for (the current one then), -1: none.
    std::atomic<std::int32_t> m_intSkipTarget{kEndMark};
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
    std::uint32_t m_uintParallel = 1;
    // Shared by the run's transfers (worker only).
    const std::shared_ptr<net::ServerPauses> m_pServerPauses =
        std::make_shared<net::ServerPauses>();
};

}  // namespace pullbay::engine
