#include "engine/FileListDownloader.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <utility>

#include "core/Exceptions.h"
#include "core/FileStream.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "core/Win32Errors.h"
#include "engine/CreateDownloadPathException.h"
#include "engine/DestinationNames.h"
#include "engine/ParallelRun.h"
#include "engine/TempFiles.h"
#include "net/InternetErrors.h"
#include "platform/IPlatform.h"
#include "pullbay/Events.h"

namespace pullbay::engine {

namespace {

using model::FileItem;

constexpr const wchar_t* kUnableToCreateTempFile = L"Unable to create temporary file";
constexpr const wchar_t* kNoWriteableFolder = L"the Protected Mode writeable folder is unknown";
constexpr const wchar_t* kUnexpectedFailure = L"An unexpected failure occurred.";
constexpr std::size_t kMeasureBlockBytes = 4096;
// Commits of one file whose chosen name was taken meanwhile, each time
// followed by the file-exists rule, before the file fails.
constexpr int kMaxCommitAttempts = 100;

// "Unable to create temporary file in '<folder>': <why>" ("... file: <why>"
// when no folder is known), as the failure of the file's temporary file.
[[noreturn]] void ThrowTemporaryFileFailure(const std::wstring& strFolder,
                                            const std::wstring& strWhy)
{
    std::wstring strMessage = kUnableToCreateTempFile;
    if (!strFolder.empty()) {
        strMessage += L" in '" + strFolder + L"'";
    }
    strMessage += L": " + strWhy;
    // The folder stays with the person at this machine; a page gets the
    // cause alone.
    core::FileSystemException failure(L"ThrowTemporaryFileFailure", PB_SOURCE_FILE, __LINE__,
                                      E_FAIL, strMessage.c_str());
    failure.SetReason(strWhy);
    core::RecordAndThrow(failure);
}

// The declared size as a byte count (never negative in a list).
std::uint64_t DeclaredSize(const FileItem& item)
{
    return item.GetFileSize() > 0 ? static_cast<std::uint64_t>(item.GetFileSize()) : 0;
}

// The stream's size as its end position reports it; when that is 0, the
// bytes read from position 0 (a stream that cannot tell its size).
std::uint64_t MeasureStream(core::IStream& stream)
{
    std::uint64_t uintSize = 0;
    if (Succeeded(stream.Seek(0, core::StreamSeekOrigin::End, &uintSize)) && uintSize != 0) {
        return uintSize;
    }
    uintSize = 0;
    if (Failed(stream.Seek(0, core::StreamSeekOrigin::Begin, nullptr))) {
        return 0;
    }
    std::array<char, kMeasureBlockBytes> buffer{};
    for (;;) {
        std::uint32_t uintRead = 0;
        if (Failed(
                stream.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()), &uintRead)) ||
            uintRead == 0) {
            return uintSize;
        }
        uintSize += uintRead;
    }
}

}  // namespace

FileListDownloader::FileListDownloader(const model::PropertyHolder& settings,
                                       std::wstring strDestinationFolder, Items items,
                                       IDownloaderEvents& events)
    : m_settings(settings),
      m_strDestinationFolder(NormalizeDestinationFolder(strDestinationFolder)),
      m_items(std::move(items)),
      m_events(events),
      m_lastReport(std::chrono::steady_clock::now())
{
    std::uint64_t uintTotal = 0;
    for (const auto& pItem : m_items) {
        uintTotal += DeclaredSize(*pItem);
    }
    m_pStatistic = std::make_shared<ui::ProgressStatistic>(uintTotal);
}

FileListDownloader::~FileListDownloader() = default;

long FileListDownloader::Execute(std::uint64_t)
{
    Process();
    return 0;
}

void FileListDownloader::SetReconnectPolicy(std::uint32_t uintAttempts, std::uint32_t uintWaitMs)
{
    m_uintReconnectAttempts = uintAttempts;
    m_uintReconnectWaitMs = uintWaitMs;
}

void FileListDownloader::SetParallelDownloads(std::uint32_t uintCount)
{
    m_uintParallel = uintCount >= 1 && uintCount <= kMaxFilesInFlight ? uintCount : 1;
}

void FileListDownloader::SkipCurrent()
{
    // The file the person sees: a skip asked for it never reaches the next.
    m_intSkipTarget = m_intCurrent.load();
}

void FileListDownloader::SkipAll()
{
    m_bSkipAll = true;
}

std::shared_ptr<FileItem> FileListDownloader::GetCurrentItem() const
{
    const std::int32_t intCurrent = m_intCurrent.load();
    if (intCurrent < 0 || static_cast<std::size_t>(intCurrent) >= m_items.size()) {
        return nullptr;
    }
    return m_items[static_cast<std::size_t>(intCurrent)];
}

bool FileListDownloader::IsProtectedModeRun() const
{
    return platform::UsesProtectedMode(*platform::CurrentPlatform());
}

void FileListDownloader::Process()
{
    PB_ASSERT_OWNER_THREAD(m_workerThread);
    m_uintStoredMode = StoredFileMode();
    SweepFolderOnce(m_strDestinationFolder);
    // The first file is current before the start is announced: a progress
    // dialog that looks right after the start must not take the run for ended.
    m_intCurrent = m_items.empty() ? kEndMark : 0;
    m_started.Set();
    if (m_uintParallel > 1) {
        ProcessInParallel();
        m_intCurrent = kEndMark;
        return;
    }
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_bSkipAll.load()) {
            ReportSkippedByAll(i, m_items.size());
            break;
        }
        ProcessItem(i);
    }
    m_intCurrent = kEndMark;
}

void FileListDownloader::ProcessInParallel()
{
    ParallelRun(*this).Run();
}

void FileListDownloader::ProcessItem(std::size_t uintIndex)
{
    const std::shared_ptr<FileItem>& pItem = m_items[uintIndex];
    const auto intIndex = static_cast<std::int32_t>(uintIndex);
    m_intCurrent = intIndex;
    NameChoice name;
    ReportOutcome(intIndex, pItem, DownloadItem(pItem, name));
}

void FileListDownloader::ReportOutcome(std::int32_t intIndex,
                                       const std::shared_ptr<FileItem>& pItem,
                                       const FileOutcome& outcome)
{
    using Kind = FileOutcome::Kind;
    // A failure classified here is handled for good; an unclassified one
    // stays recorded for the thread as its throw site left it.
    if (outcome.kind != Kind::Success && outcome.kind != Kind::Unclassified) {
        core::ClearRecordedFailure();
    }
    switch (outcome.kind) {
    case Kind::Success:
        pItem->SetResult(api::ItemSuccess);
        if (static_cast<std::size_t>(intIndex) + 1 == m_items.size()) {
            m_events.Progress(1.0, 1.0, intIndex);
        }
        break;
    case Kind::Skipped:
        pItem->SetResult(api::ItemSkipped);
        m_events.Error(api::ErrorCode::kFileSkipped, L"", 0, L"", L"", intIndex);
        break;
    case Kind::WrongMimeType:
        pItem->SetResult(api::ItemWrongContentType);
        break;
    case Kind::WrongFileSize:
        pItem->SetResult(api::ItemWrongFileSize);
        break;
    case Kind::WriteError:
        pItem->SetResult(api::ItemWriteError);
        m_events.Error(outcome.intErrorCode,
                       m_bLocalPathsInErrors ? outcome.strText : outcome.strReason, 0, L"", L"",
                       intIndex);
        break;
    case Kind::TransferFailed: {
        const int intStatus = outcome.transfer.intHttpStatus;
        std::int32_t intCode = api::ErrorCode::kTransferFailed;
        if (intStatus == 404) {
            pItem->SetResult(api::ItemNotFound);
            intCode = api::ErrorCode::kTransferNotFound;
        } else if (intStatus == 403) {
            pItem->SetResult(api::ItemForbidden);
        } else {
            pItem->SetResult(api::ItemFailed);
        }
        m_events.Error(intCode,
                       outcome.TransferFailureText(
                           m_bLocalPathsInErrors,
                           m_bLocalPathsInErrors ? pItem->GetTemporaryFilePath() : std::wstring()),
                       intStatus, outcome.transfer.strResponseText, pItem->GetUrl(), intIndex);
        break;
    }
    case Kind::Unclassified:
        pItem->SetResult(api::ItemFailed);
        break;
    }

    if (pItem->GetResult() != api::ItemSuccess) {
        m_pStatistic->CancelItemProgress(pItem, DeclaredSize(*pItem));
        DiscardTemporaryFile(*pItem);
    } else {
        m_pStatistic->EndItemProgress(pItem);
    }
    m_events.ItemComplete(L"", pItem);
}

FileOutcome FileListDownloader::DownloadItem(const std::shared_ptr<FileItem>& pItem,
                                             NameChoice& name)
{
    if (auto failure = PrepareDestination(pItem, name)) {
        return std::move(*failure);
    }
    if (auto failure = PrepareTemporaryFile(*pItem)) {
        return std::move(*failure);
    }
    try {
        net::TransferOutcome transfer = Transfer(*pItem, static_cast<std::size_t>(m_intCurrent));
        if (!transfer.bSucceeded) {
            return TransferFailure(std::move(transfer));
        }
        return FinishFile(pItem, name);
    } catch (const core::Exception&) {
        // Unclassified: the throw site recorded it; the record stays.
        return FileOutcome::Of(FileOutcome::Kind::Unclassified);
    } catch (...) {
        core::RecordForeignFailure();
        return FileOutcome::Of(FileOutcome::Kind::Unclassified);
    }
}

std::optional<FileOutcome> FileListDownloader::PrepareDestination(
    const std::shared_ptr<FileItem>& pItem, NameChoice& name)
{
    try {
        CreateDestLocationPath(*pItem);
        SweepFolderOnce(pItem->GetDestinationFolder());
        if (!MakeDestFileName(pItem, name)) {
            return FileOutcome::Of(FileOutcome::Kind::Skipped);
        }
    } catch (const CreateDownloadPathException&) {
        // In Protected Mode the folders are created after the run, when the
        // files are moved out of the writeable folder. Elsewhere the failure
        // stays recorded as its throw site left it.
        if (!IsProtectedModeRun()) {
            return FileOutcome::Of(FileOutcome::Kind::Unclassified);
        }
    } catch (const core::Exception& failure) {
        return FileOutcome::WriteError(api::ErrorCode::kDestinationFailed, failure);
    } catch (...) {
        core::RecordForeignFailure();
        return FileOutcome::WriteError(api::ErrorCode::kDestinationFailed, kUnexpectedFailure,
                                       kUnexpectedFailure);
    }
    return std::nullopt;
}

std::optional<FileOutcome> FileListDownloader::PrepareTemporaryFile(FileItem& item)
{
    try {
        CreateTemporaryStream(item);
    } catch (const core::Exception& failure) {
        return FileOutcome::WriteError(api::ErrorCode::kTemporaryFileFailed, failure);
    } catch (...) {
        core::RecordForeignFailure();
        return FileOutcome::WriteError(api::ErrorCode::kTemporaryFileFailed, kUnexpectedFailure,
                                       kUnexpectedFailure);
    }
    return std::nullopt;
}

void FileListDownloader::ConfigureTransfer(net::WInetDownloader& transfer, const FileItem& item,
                                           std::size_t uintIndex)
{
    // The defaults for attempts and waits. The skip flags also end a
    // transfer that waits for data or for its next attempt.
    transfer.SetTimeOut(m_settings.GetTimeOut());
    transfer.SetReconnectAttemptsCount(m_uintReconnectAttempts);
    transfer.SetReconnectTimeOut(m_uintReconnectWaitMs);
    transfer.SetCookieText(m_strCookieText);
    transfer.SetOutputStream(item.GetTemporaryStream().get());
    transfer.SetStopCondition(
        [this, intIndex = static_cast<std::int32_t>(uintIndex)] { return SkipStopCode(intIndex); });
    transfer.SetRetryAfter(m_settings.GetRetryAfterLimit(), m_pServerPauses);
}

net::TransferOutcome FileListDownloader::Transfer(const FileItem& item, std::size_t uintIndex)
{
    net::WInetDownloader transfer;
    ConfigureTransfer(transfer, item, uintIndex);
    transfer.SetDownloadEvents(this);
    return transfer.Download(item.GetUrl().c_str());
}

FileOutcome FileListDownloader::TransferFailure(net::TransferOutcome transfer)
{
    if (transfer.bCallbackFailed) {
        // Recorded for the thread where the callback failed.
        return FileOutcome::Of(FileOutcome::Kind::Unclassified);
    }
    switch (transfer.intStopCode) {
    case kStopSkipCurrent:
    case kStopSkipAll:
        // A transfer ended by a skip request is a skipped file, not a failure.
        return FileOutcome::Of(FileOutcome::Kind::Skipped);
    case kStopTooLong:
        return FileOutcome::Of(FileOutcome::Kind::WrongFileSize);
    case kStopWrongMimeType:
        return FileOutcome::Of(FileOutcome::Kind::WrongMimeType);
    case kStopNoCurrentFile:
        return FileOutcome::Of(FileOutcome::Kind::Unclassified);
    default:
        break;
    }
    // What the failed write recorded ("Disk is full"), before the record is
    // cleared.
    std::wstring strWriteFailure;
    std::wstring strWriteFailureReason;
    if (transfer.intErrorCode == net::kErrorFileSystem) {
        if (const auto pRecorded = core::ExceptionManager::GetException(core::CurrentThreadId())) {
            strWriteFailure = pRecorded->GetMessage();
            strWriteFailureReason = pRecorded->GetReason();
        }
    }
    FileOutcome outcome = FileOutcome::TransferFailed(std::move(transfer));
    outcome.strWriteFailure = std::move(strWriteFailure);
    outcome.strWriteFailureReason = std::move(strWriteFailureReason);
    return outcome;
}

FileOutcome FileListDownloader::FinishFile(const std::shared_ptr<FileItem>& pItem, NameChoice& name)
{
    return CommitFinishedFile(pItem, name, CloseTemporaryFile(*pItem));
}

std::uint64_t FileListDownloader::CloseTemporaryFile(FileItem& item)
{
    std::uint64_t uintSize = 0;
    if (const auto& pStream = item.GetTemporaryStream()) {
        uintSize = MeasureStream(*pStream);
    }
    item.SetTemporaryStream(nullptr);
    return uintSize;
}

FileOutcome FileListDownloader::CommitFinishedFile(const std::shared_ptr<FileItem>& pItem,
                                                   NameChoice& name, std::uint64_t uintSize)
{
    if (uintSize != DeclaredSize(*pItem)) {
        return FileOutcome::Of(FileOutcome::Kind::WrongFileSize);
    }
    // In Protected Mode the file stays in the writeable folder and is moved
    // after the run.
    if (IsProtectedModeRun()) {
        return FileOutcome::Of(FileOutcome::Kind::Success);
    }
    return CommitToDestination(pItem, name);
}

void FileListDownloader::DiscardTemporaryFile(FileItem& item)
{
    // Closed and removed at once: kept until the run's end, a thousand failed
    // files would use up the descriptors (and their bytes the disk), and
    // every later file would fail with them.
    item.SetTemporaryStream(nullptr);
    const std::wstring& strPath = item.GetTemporaryFilePath();
    if (!strPath.empty() && strPath.find(L'\0') == std::wstring::npos) {
        ::unlink(core::ToUtf8(strPath).c_str());
    }
}

void FileListDownloader::ReportSkippedByAll(std::size_t uintFirst, std::size_t uintEnd)
{
    // Large enough that the hand-offs cost nothing beside the events
    // themselves, small enough that the GUI thread is never held for long
    // and the copies of one batch's arguments stay small.
    constexpr std::size_t kBatchFiles = 512;
    for (std::size_t uintBegin = uintFirst; uintBegin < uintEnd; uintBegin += kBatchFiles) {
        const std::size_t uintBatchEnd = std::min(uintEnd, uintBegin + kBatchFiles);
        // No destination was prepared for these: they are known by their
        // names as given, and nothing else is recorded for them.
        for (std::size_t k = uintBegin; k < uintBatchEnd; ++k) {
            m_items[k]->SetResult(api::ItemSkipped);
        }
        m_intCurrent = static_cast<std::int32_t>(uintBatchEnd - 1);
        m_events.ItemsSkipped(std::span(m_items).subspan(uintBegin, uintBatchEnd - uintBegin),
                              static_cast<std::int32_t>(uintBegin));
    }
}

void FileListDownloader::CreateDestLocationPath(FileItem& item)
{
    // The name is recorded only with a folder that was accepted: a refused
    // name leaves the item without a destination, and the log then shows
    // the name as declared instead of a file that was never written.
    const DestinationName name = SplitDestinationName(item.GetFileName());
    if (name.folders.empty() || !m_settings.GetProcessSubfolders()) {
        item.SetDestinationFolder(m_strDestinationFolder);
        item.SetDestinationFileName(name.strFileName);
        return;
    }
    try {
        item.SetDestinationFolder(CreatePath(m_strDestinationFolder, name.folders));
    } catch (const CreateDownloadPathException&) {
        // The item still learns where it goes, so that a Protected Mode run
        // can create the folders after the run. Every part was checked
        // before anything was created.
        item.SetDestinationFolder(JoinFolders(m_strDestinationFolder, name.folders));
        item.SetDestinationFileName(name.strFileName);
        throw;
    }
    item.SetDestinationFileName(name.strFileName);
}

bool FileListDownloader::MakeDestFileName(const std::shared_ptr<FileItem>& pItem, NameChoice& name)
{
    name.strRequestedName = pItem->GetDestinationFileName();
    name.bReplaceAllowed = false;
    return !PathEntryExists(pItem->FullDestinationPath()) || ApplyFileExistsRule(pItem, name);
}

bool FileListDownloader::ApplyFileExistsRule(const std::shared_ptr<FileItem>& pItem,
                                             NameChoice& name)
{
    switch (m_events.FileExists(pItem)) {
    case model::FileExistsDialogAction::Skip:
        return false;
    case model::FileExistsDialogAction::Rename:
        // The copy names count from the name the file asked for: "Copy (2)
        // of a.bin" after "Copy of a.bin", never "Copy of Copy of a.bin".
        pItem->SetDestinationFileName(
            MakeCopyName(pItem->GetDestinationFolder(), name.strRequestedName));
        name.bReplaceAllowed = false;
        return true;
    default:
        // Overwrite: the final move replaces what is there.
        name.bReplaceAllowed = true;
        return true;
    }
}

FileOutcome FileListDownloader::CommitToDestination(const std::shared_ptr<FileItem>& pItem,
                                                    NameChoice& name)
{
    for (int intAttempt = 0;; ++intAttempt) {
        CommitResult result = CommitResult::Committed;
        try {
            result = CommitFile(pItem->GetTemporaryFilePath(), pItem->FullDestinationPath(),
                                m_uintStoredMode,
                                name.bReplaceAllowed ? CommitMode::Replace : CommitMode::NoReplace);
        } catch (const core::Exception& failure) {
            return FileOutcome::WriteError(api::ErrorCode::kDestinationFailed, failure);
        } catch (...) {
            core::RecordForeignFailure();
            return FileOutcome::WriteError(api::ErrorCode::kDestinationFailed, kUnexpectedFailure,
                                           kUnexpectedFailure);
        }
        if (result == CommitResult::Committed) {
            return FileOutcome::Of(FileOutcome::Kind::Success);
        }
        // Someone else keeps taking every name chosen: the file fails
        // rather than asking for ever. The path is the person's to see; a
        // page gets the cause alone.
        if (intAttempt + 1 >= kMaxCommitAttempts) {
            return FileOutcome::WriteError(api::ErrorCode::kDestinationFailed,
                                           L"Unable to write '" + pItem->FullDestinationPath() +
                                               L"': " + core::ErrnoText(EEXIST),
                                           core::ErrnoText(EEXIST));
        }
        // An entry appeared at the name after it was chosen (another run,
        // another program): the rule again, never a silent replace.
        if (!ApplyFileExistsRule(pItem, name)) {
            return FileOutcome::Of(FileOutcome::Kind::Skipped);
        }
    }
}

void FileListDownloader::SweepFolderOnce(const std::wstring& strFolder)
{
    if (m_sweptFolders.insert(strFolder).second) {
        RemoveAbandonedCopies(strFolder);
    }
}

std::wstring FileListDownloader::TemporaryFolder() const
{
    if (IsProtectedModeRun()) {
        // The low-integrity writeable folder.
        std::wstring strFolder;
        const HRESULT hr = platform::GetWriteableFolder(*platform::CurrentPlatform(), strFolder);
        if (Failed(hr) || strFolder.empty()) {
            ThrowTemporaryFileFailure(L"", Failed(hr)
                                               ? core::Win32ErrorText(Win32CodeFromHResult(hr))
                                               : std::wstring(kNoWriteableFolder));
        }
        return strFolder.back() == L'/' ? strFolder : strFolder + L'/';
    }
    if (m_strTempFolder) {
        if (m_strTempFolder->empty()) {
            ThrowTemporaryFileFailure(m_strTempFolderFailed, m_strTempFolderWhy.empty()
                                                                 ? std::wstring(kUnexpectedFailure)
                                                                 : m_strTempFolderWhy);
        }
        return *m_strTempFolder;
    }
    std::wstring strFolder = GetTempFolder(kTempFolderName);
    if (strFolder.empty()) {
        ThrowTemporaryFileFailure(L"", kUnknownTempDirectoryText);
    }
    return strFolder;
}

void FileListDownloader::CreateTemporaryStream(FileItem& item)
{
    std::unique_ptr<core::FileStream> pStream;
    std::wstring strPath;
    const std::wstring strFolder = TemporaryFolder();
    errno = 0;
    const HRESULT hr = CreateTempFileStream(strFolder, pStream, strPath);
    // The system's own words where it gave some ("Too many open files"):
    // the HRESULT folds several causes into one code.
    const int intErrno = errno;
    if (Failed(hr) || !pStream) {
        std::wstring strWhy;
        if (hr == E_ACCESSDENIED) {
            strWhy = kNotPrivateFolderText;
        } else if (intErrno != 0) {
            strWhy = core::ErrnoText(intErrno);
        } else {
            strWhy = core::Win32ErrorText(Win32CodeFromHResult(hr));
        }
        ThrowTemporaryFileFailure(strFolder, strWhy);
    }
    item.SetTemporaryStream(std::shared_ptr<core::IStream>(std::move(pStream)));
    item.SetTemporaryFilePath(std::move(strPath));
}

std::int32_t FileListDownloader::SkipStopCode(std::int32_t intIndex) const
{
    if (m_bSkipAll.load()) {
        return kStopSkipAll;
    }
    return m_intSkipTarget.load() == intIndex ? kStopSkipCurrent : 0;
}

net::TransferVerdict FileListDownloader::DownloadProgress(std::int64_t intPosition,
                                                          std::int64_t intDeclaredLength)
{
    return FileProgress(m_intCurrent.load(), intPosition, intDeclaredLength);
}

net::TransferVerdict FileListDownloader::MimeTypeAvailable(const std::wstring& strMimeType)
{
    return FileMimeType(m_intCurrent.load(), strMimeType);
}

net::TransferVerdict FileListDownloader::FileProgress(std::int32_t intIndex,
                                                      std::int64_t intPosition,
                                                      std::int64_t intDeclaredLength)
{
    PB_ASSERT_OWNER_THREAD(m_workerThread);
    if (intIndex < 0 || static_cast<std::size_t>(intIndex) >= m_items.size()) {
        return net::TransferVerdict::Continue();
    }
    const std::shared_ptr<FileItem>& pItem = m_items[static_cast<std::size_t>(intIndex)];
    // A skip takes effect at once, also for a file whose size nobody knows.
    if (const std::int32_t intSkip = SkipStopCode(intIndex); intSkip != 0) {
        return net::TransferVerdict::EndTransfer(intSkip);
    }
    // More bytes than declared can only end as the wrong size: stop now
    // instead of taking in whatever a server keeps sending.
    if (intPosition > std::max<std::int64_t>(pItem->GetFileSize(), 0)) {
        return net::TransferVerdict::EndTransfer(kStopTooLong);
    }
    std::int64_t intTotal = intDeclaredLength;
    if (intTotal == 0) {
        intTotal = pItem->GetFileSize();
        if (intTotal == 0) {
            return net::TransferVerdict::Continue();
        }
    }
    m_pStatistic->UpdateItemProgress(pItem, static_cast<std::uint64_t>(intPosition),
                                     static_cast<std::uint64_t>(intTotal));
    if (intIndex == m_intCurrent.load()) {
        m_bWaiting = false;
    }
    ReportProgressAtInterval();
    return net::TransferVerdict::Continue();
}

void FileListDownloader::ReportProgressAtInterval()
{
    const auto now = std::chrono::steady_clock::now();
    const double dblElapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastReport).count() / 1000.0;
    if (dblElapsed < kReportIntervalSeconds) {
        return;
    }
    m_lastReport = now;
    m_events.Progress(m_pStatistic->GetItemFraction(), m_pStatistic->GetTotalFraction(),
                      m_intCurrent.load());
}

net::TransferVerdict FileListDownloader::FileMimeType(std::int32_t intIndex,
                                                      const std::wstring& strMimeType)
{
    PB_ASSERT_OWNER_THREAD(m_workerThread);
    if (intIndex < 0 || static_cast<std::size_t>(intIndex) >= m_items.size()) {
        core::ExceptionManager::SetException(
            core::CurrentThreadId(),
            core::UnexpectedException(L"FileListDownloader::MimeTypeAvailable", PB_SOURCE_FILE,
                                      __LINE__, L"no current file"));
        return net::TransferVerdict::EndTransfer(kStopNoCurrentFile);
    }
    FileItem& item = *m_items[static_cast<std::size_t>(intIndex)];
    item.SetReceivedMimeType(strMimeType);
    const std::wstring& strDeclared = item.GetMimeType();
    if (core::EqualsIgnoreAsciiCase(strDeclared, L"*/*")) {
        return net::TransferVerdict::Continue();
    }
    // Whole-text comparison: no other wildcard, and parameters count.
    if (!core::EqualsIgnoreAsciiCase(strDeclared, strMimeType)) {
        return net::TransferVerdict::EndTransfer(kStopWrongMimeType);
    }
    return net::TransferVerdict::Continue();
}

void FileListDownloader::WaitingForReconnect()
{
    PB_ASSERT_OWNER_THREAD(m_workerThread);
    m_bWaiting = true;
}

}  // namespace pullbay::engine
