#include "engine/ParallelRun.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/CaughtFailure.h"
#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "engine/DestinationNames.h"
#include "net/HttpExchange.h"
#include "net/UrlFunctions.h"
#include "net/WInetDownloader.h"

namespace pullbay::engine {

using model::FileItem;
using Clock = std::chrono::steady_clock;

// One file of the run from its name to its report. Its transfer's reports
// reach the engine with the file's position.
class FileListDownloader::ParallelRun::File : public net::IDownloadEvents {
public:
    enum class Stage {
        Named,         // destination chosen, transfer not started
        Transferring,  // transfer on the driver
        Finished,      // outcome known (or the transfer succeeded: commit due)
    };

    File(FileListDownloader& engine, std::size_t uintIndex)
        : m_engine(engine), uintIndex(uintIndex), pItem(engine.m_items[uintIndex])
    {
    }

    net::TransferVerdict DownloadProgress(std::int64_t intPosition,
                                          std::int64_t intDeclaredLength) override
    {
        bWaiting = false;
        return m_engine.FileProgress(Index(), intPosition, intDeclaredLength);
    }
    net::TransferVerdict MimeTypeAvailable(const std::wstring& strMimeType) override
    {
        return m_engine.FileMimeType(Index(), strMimeType);
    }
    void WaitingForReconnect() override
    {
        bWaiting = true;
        if (Index() == m_engine.m_intCurrent.load()) {
            m_engine.m_bWaiting = true;
        }
    }

    std::int32_t Index() const { return static_cast<std::int32_t>(uintIndex); }
    void Finish(FileOutcome result)
    {
        outcome = std::move(result);
        stage = Stage::Finished;
    }

private:
    FileListDownloader& m_engine;

public:
    const std::size_t uintIndex;
    const std::shared_ptr<FileItem> pItem;
    Stage stage = Stage::Named;
    NameChoice name;
    // The keys of the names the file holds from its naming until its report
    // (the name it asked for and the one chosen).
    std::vector<std::wstring> heldNames;
    std::wstring strServer;
    Server* pServer = nullptr;
    std::unique_ptr<net::WInetDownloader> pTransfer;
    CURL* pEasy = nullptr;
    // Set with a transfer that succeeded: the size of its closed temporary
    // file, committed when the file's turn to be reported comes.
    bool bTransferred = false;
    std::uint64_t uintSize = 0;
    std::optional<FileOutcome> outcome;
    bool bWaiting = false;
};

FileListDownloader::ParallelRun::EasyPool::~EasyPool()
{
    for (CURL* pEasy : m_free) {
        curl_easy_cleanup(pEasy);
    }
}

CURL* FileListDownloader::ParallelRun::EasyPool::Take()
{
    if (m_free.empty()) {
        CURL* pEasy = curl_easy_init();
        if (pEasy == nullptr) {
            PB_THROW(core::MemoryException);
        }
        return pEasy;
    }
    CURL* pEasy = m_free.back();
    m_free.pop_back();
    return pEasy;
}

FileListDownloader::ParallelRun::HostConnectionLimit::HostConnectionLimit(CURLM* pMulti,
                                                                          long intLimit)
    : m_pMulti(pMulti)
{
    // A safety net beside the run's own count: libcurl queues a transfer
    // rather than open more connections to one server.
    curl_multi_setopt(m_pMulti, CURLMOPT_MAX_HOST_CONNECTIONS, intLimit);
}

FileListDownloader::ParallelRun::HostConnectionLimit::~HostConnectionLimit()
{
    curl_multi_setopt(m_pMulti, CURLMOPT_MAX_HOST_CONNECTIONS, 0L);
}

FileListDownloader::ParallelRun::ParallelRun(FileListDownloader& engine)
    : m_engine(engine),
      m_pSession(net::CurlSession::Open()),
      m_hostLimit(m_pSession->Multi(), static_cast<long>(engine.m_uintParallel)),
      m_driver(m_pSession->Multi())
{
}

FileListDownloader::ParallelRun::~ParallelRun()
{
    // Transfers still in flight (an exception left the loop): the driver
    // detaches their handles before the pool cleans them up.
    for (const auto& pFile : m_files) {
        if (pFile->pEasy != nullptr) {
            m_easies.Give(pFile->pEasy);
        }
    }
}

FileListDownloader::ParallelRun::Server& FileListDownloader::ParallelRun::ServerOf(const File& file)
{
    return *file.pServer;
}

std::wstring FileListDownloader::ParallelRun::NameKey(const std::wstring& strFolder,
                                                      const std::wstring& strName)
{
    return strFolder + L'\0' + strName;
}

void FileListDownloader::ParallelRun::ReleaseNames(const File& file)
{
    for (const std::wstring& strKey : file.heldNames) {
        if (const auto it = m_heldNames.find(strKey);
            it != m_heldNames.end() && --it->second == 0) {
            m_heldNames.erase(it);
        }
    }
}

void FileListDownloader::ParallelRun::Run()
{
    const std::size_t uintCount = m_engine.m_items.size();
    if (uintCount != 0) {
        // Several files count side by side from the start.
        m_engine.m_pStatistic->SetCurrentItem(m_engine.m_items[0]);
    }
    while (true) {
        // The places the last round freed are filled before the finished
        // files are committed and reported: connections do not wait for
        // that work.
        if (!m_engine.m_bSkipAll.load()) {
            StartFiles();
        }
        ReportFinished();
        if (m_uintReported == uintCount) {
            return;
        }
        if (m_engine.m_bSkipAll.load()) {
            ReportNotStarted();
            if (m_files.empty()) {
                // Nothing in flight: the files not yet named are skipped
                // without contacting their servers.
                m_engine.ReportSkippedByAll(m_uintNext, uintCount);
                return;
            }
        } else {
            NameFiles();
            StartFiles();
        }
        UpdateCurrent();
        Drive();
    }
}

void FileListDownloader::ParallelRun::ReportFinished()
{
    while (!m_files.empty() && m_files.front()->stage == File::Stage::Finished) {
        File& file = *m_files.front();
        FileOutcome outcome =
            file.bTransferred ? m_engine.CommitFinishedFile(file.pItem, file.name, file.uintSize)
                              : std::move(*file.outcome);
        m_engine.ReportOutcome(file.Index(), file.pItem, outcome);
        ReleaseNames(file);
        m_files.pop_front();
        ++m_uintReported;
    }
}

void FileListDownloader::ParallelRun::ReportNotStarted()
{
    std::size_t uintCount = 0;
    while (uintCount < m_files.size() && m_files[uintCount]->stage == File::Stage::Named) {
        // Known by their names as given, as if they had never been named.
        FileItem& item = *m_files[uintCount]->pItem;
        item.SetDestinationFolder(std::wstring());
        item.SetDestinationFileName(std::wstring());
        ReleaseNames(*m_files[uintCount]);
        ++uintCount;
    }
    if (uintCount == 0) {
        return;
    }
    m_engine.ReportSkippedByAll(m_uintReported, m_uintReported + uintCount);
    m_files.erase(m_files.begin(), m_files.begin() + static_cast<std::ptrdiff_t>(uintCount));
    m_uintReported += uintCount;
    ReportFinished();
}

bool FileListDownloader::ParallelRun::NameHeld(const FileItem& item) const
{
    std::wstring strFolder;
    std::wstring strName;
    try {
        DestinationName name = SplitDestinationName(item.GetFileName());
        strName = std::move(name.strFileName);
        strFolder = name.folders.empty() || !m_engine.m_settings.GetProcessSubfolders()
                        ? m_engine.m_strDestinationFolder
                        : JoinFolders(m_engine.m_strDestinationFolder, name.folders);
    } catch (...) {
        // A refused name holds nothing; naming the file refuses it again.
        core::ClearRecordedFailure();
        return false;
    }
    return m_heldNames.contains(NameKey(strFolder, strName));
}

void FileListDownloader::ParallelRun::NameFiles()
{
    const std::size_t uintCount = m_engine.m_items.size();
    // A few at a time: a long list's names are chosen over the first
    // rounds, not all before the first transfer.
    constexpr std::size_t kNamesPerRound = 64;
    for (std::size_t uintNamed = 0; uintNamed < kNamesPerRound && m_uintNext < uintCount &&
                                    m_files.size() < kMaxFilesAhead && !m_engine.m_bSkipAll.load();
         ++uintNamed) {
        // A file whose name an earlier one still holds waits for it: it
        // then sees that file's entry, as it would one at a time.
        if (NameHeld(*m_engine.m_items[m_uintNext])) {
            return;
        }
        auto pFile = std::make_unique<File>(m_engine, m_uintNext);
        if (auto failure = m_engine.PrepareDestination(pFile->pItem, pFile->name)) {
            pFile->Finish(std::move(*failure));
        } else {
            const FileItem& item = *pFile->pItem;
            pFile->heldNames.push_back(
                NameKey(item.GetDestinationFolder(), pFile->name.strRequestedName));
            if (item.GetDestinationFileName() != pFile->name.strRequestedName) {
                pFile->heldNames.push_back(
                    NameKey(item.GetDestinationFolder(), item.GetDestinationFileName()));
            }
            for (const std::wstring& strKey : pFile->heldNames) {
                ++m_heldNames[strKey];
            }
            pFile->strServer = net::GetOrigin(item.GetUrl());
            pFile->pServer = &m_servers[pFile->strServer];
        }
        m_files.push_back(std::move(pFile));
        ++m_uintNext;
    }
}

void FileListDownloader::ParallelRun::StartFiles()
{
    for (const auto& pFile : m_files) {
        if (m_uintInFlight >= kMaxFilesInFlight) {
            return;
        }
        File& file = *pFile;
        if (file.stage != File::Stage::Named) {
            continue;
        }
        if (m_engine.SkipStopCode(file.Index()) != 0) {
            // Skip Current reached a file before its transfer began.
            file.Finish(FileOutcome::Of(FileOutcome::Kind::Skipped));
            continue;
        }
        Server& server = ServerOf(file);
        const std::uint32_t uintLimit = LimitOf(file, server);
        // A server that asked for a pause (Retry-After) gets no new request
        // until it ends; the other servers' files go on meanwhile.
        if (server.uintInFlight < uintLimit &&
            !m_engine.m_pServerPauses->PausedUntil(file.strServer, Clock::now())) {
            Start(file, server);
        }
    }
}

std::uint32_t FileListDownloader::ParallelRun::LimitOf(const File& file, const Server& server) const
{
    switch (server.protocol) {
    case Server::Protocol::Multiplexes:
        return kMaxFilesInFlight;
    case Server::Protocol::OneFilePerConnection:
        return m_engine.m_uintParallel;
    case Server::Protocol::Unknown:
        break;
    }
    return file.strServer.starts_with(L"https:") ? kMaxFilesInFlight : m_engine.m_uintParallel;
}

void FileListDownloader::ParallelRun::Start(File& file, Server& server)
{
    if (auto failure = m_engine.PrepareTemporaryFile(*file.pItem)) {
        file.Finish(std::move(*failure));
        return;
    }
    try {
        file.pEasy = m_easies.Take();
        file.pTransfer = std::make_unique<net::WInetDownloader>();
        m_engine.ConfigureTransfer(*file.pTransfer, *file.pItem, file.uintIndex);
        file.pTransfer->SetDownloadEvents(&file);
        file.pTransfer->SetWaitForMultiplexing(true);
    } catch (...) {
        core::RecordCaughtFailure();
        if (file.pEasy != nullptr) {
            m_easies.Give(file.pEasy);
            file.pEasy = nullptr;
        }
        file.Finish(FileOutcome::Of(FileOutcome::Kind::Unclassified));
        return;
    }
    // Counted before the start: a transfer that cannot begin ends inside it.
    file.stage = File::Stage::Transferring;
    ++server.uintInFlight;
    ++m_uintInFlight;
    try {
        file.pTransfer->Start(file.pItem->GetUrl().c_str(), m_pSession, file.pEasy, m_driver,
                              [this, pFile = &file](net::TransferOutcome outcome) {
                                  Ended(*pFile, std::move(outcome));
                              });
    } catch (...) {
        core::RecordCaughtFailure();
        net::TransferOutcome failed;
        failed.bCallbackFailed = true;
        Ended(file, std::move(failed));
    }
}

void FileListDownloader::ParallelRun::Ended(File& file, net::TransferOutcome outcome)
{
    Server& server = ServerOf(file);
    --server.uintInFlight;
    --m_uintInFlight;
    // What the server answered with tells how its later files go (no
    // answer, as after a refused connection, tells nothing).
    long intVersion = 0;
    if (curl_easy_getinfo(file.pEasy, CURLINFO_HTTP_VERSION, &intVersion) == CURLE_OK &&
        intVersion != 0) {
        server.protocol = intVersion >= CURL_HTTP_VERSION_2_0
                              ? Server::Protocol::Multiplexes
                              : Server::Protocol::OneFilePerConnection;
    }
    m_easies.Give(file.pEasy);
    file.pEasy = nullptr;
    if (outcome.bSucceeded) {
        // Closed now: the files that wait for earlier ones hold no
        // descriptor.
        file.uintSize = CloseTemporaryFile(*file.pItem);
        file.bTransferred = true;
        file.stage = File::Stage::Finished;
    } else {
        file.Finish(m_engine.TransferFailure(std::move(outcome)));
    }
    m_ended.push_back(&file);
}

void FileListDownloader::ParallelRun::UpdateCurrent()
{
    std::size_t uintCurrent = m_uintNext;
    const File* pCurrent = nullptr;
    for (const auto& pFile : m_files) {
        if (pFile->stage != File::Stage::Finished) {
            uintCurrent = pFile->uintIndex;
            pCurrent = pFile.get();
            break;
        }
    }
    if (uintCurrent >= m_engine.m_items.size()) {
        return;
    }
    const auto intCurrent = static_cast<std::int32_t>(uintCurrent);
    if (intCurrent != m_engine.m_intCurrent.load()) {
        m_engine.m_intCurrent = intCurrent;
        m_engine.m_pStatistic->SetCurrentItem(m_engine.m_items[uintCurrent]);
        m_engine.m_bWaiting = pCurrent != nullptr && pCurrent->bWaiting;
    }
}

void FileListDownloader::ParallelRun::Drive()
{
    auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(net::HttpExchange::kStopPollInterval);
    for (const auto& pFile : m_files) {
        if (pFile->stage == File::Stage::Transferring) {
            pFile->pTransfer->Poll(wait);
        }
    }
    // A transfer that ended in its pause frees a place: no wait for the
    // sockets before the next round fills it.
    m_driver.Step(m_ended.empty() ? wait : std::chrono::milliseconds(0));
    for (File* pFile : m_ended) {
        pFile->pTransfer.reset();
    }
    m_ended.clear();
}

}  // namespace pullbay::engine
