#pragma once
// The loop of a run with several files in flight: names the files in list
// order, starts their transfers as the servers' limits allow, drives them
// all on one libcurl multi handle (whose connections they share, and over
// HTTP/2 multiplex), and commits and reports them in list order.
//
// A server (scheme, host, port) gets at most the run's connections per
// server at once while it speaks HTTP/1.1, one file per connection; once a
// transfer to it came back over HTTP/2 its files share one connection and
// only the run's limit of kMaxFilesInFlight holds them back. An HTTPS server
// is taken to multiplex until a transfer to it tells otherwise: its first
// files wait for the first connection's handshake (PIPEWAIT), and libcurl
// opens at most the run's connections per server (MAX_HOST_CONNECTIONS),
// queueing the rest, so a server that turns out to speak HTTP/1.1 still
// sees no more than its share at once.
//
// Threads: the engine's worker only, inside FileListDownloader::Process.
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <curl/curl.h>

#include "engine/FileListDownloader.h"
#include "net/CurlSession.h"
#include "net/MultiDriver.h"

namespace pullbay::engine {

class FileListDownloader::ParallelRun {
public:
    explicit ParallelRun(FileListDownloader& engine);
    ~ParallelRun();
    ParallelRun(const ParallelRun&) = delete;
    ParallelRun& operator=(const ParallelRun&) = delete;

    // Every file of the list, reported.
    void Run();

private:
    class File;
    struct Server {
        enum class Protocol { Unknown, Multiplexes, OneFilePerConnection };
        std::uint32_t uintInFlight = 0;
        Protocol protocol = Protocol::Unknown;
    };
    // How many files of the server may be in flight at once.
    std::uint32_t LimitOf(const File& file, const Server& server) const;
    // Easy handles of the run's multi handle, reused from file to file.
    class EasyPool {
    public:
        EasyPool() = default;
        ~EasyPool();
        EasyPool(const EasyPool&) = delete;
        EasyPool& operator=(const EasyPool&) = delete;
        // Throws MemoryException when libcurl has none to give.
        CURL* Take();
        void Give(CURL* pEasy) { m_free.push_back(pEasy); }

    private:
        std::vector<CURL*> m_free;
    };
    // The limit of connections per server on the multi handle for the run;
    // the handle belongs to the thread and outlives the run.
    class HostConnectionLimit {
    public:
        HostConnectionLimit(CURLM* pMulti, long intLimit);
        ~HostConnectionLimit();
        HostConnectionLimit(const HostConnectionLimit&) = delete;
        HostConnectionLimit& operator=(const HostConnectionLimit&) = delete;

    private:
        CURLM* const m_pMulti;
    };

    // Commits and reports the finished files at the head of the list.
    void ReportFinished();
    // Reports the files at the head that skip-all ended before they started.
    void ReportNotStarted();
    // Chooses the names of the next files, in list order.
    void NameFiles();
    // Whether an unreported file holds the name the item would ask for.
    bool NameHeld(const model::FileItem& item) const;
    void StartFiles();
    void Start(File& file, Server& server);
    // A transfer's end (its completion, inside a driver step or a poll).
    void Ended(File& file, net::TransferOutcome outcome);
    // The lowest-numbered file not finished becomes the current file.
    void UpdateCurrent();
    // One round of the transfers: their pauses, then the driver.
    void Drive();
    Server& ServerOf(const File& file);
    static std::wstring NameKey(const std::wstring& strFolder, const std::wstring& strName);
    // The file's names are free again (it was reported).
    void ReleaseNames(const File& file);

    FileListDownloader& m_engine;
    const std::shared_ptr<net::CurlSession> m_pSession;
    HostConnectionLimit m_hostLimit;
    EasyPool m_easies;
    // The files named and not yet reported, in list order: the first is at
    // m_uintReported.
    std::deque<std::unique_ptr<File>> m_files;
    // Goes first (it detaches what is still attached), before the files'
    // exchanges and the easy handles.
    net::MultiDriver m_driver;
    // Servers by origin; a file keeps a pointer to its own (the elements of
    // an unordered_map stay where they are).
    std::unordered_map<std::wstring, Server> m_servers;
    // The names unreported files hold (NameKey), with how many hold each.
    std::unordered_map<std::wstring, std::uint32_t> m_heldNames;
    std::size_t m_uintReported = 0;
    std::size_t m_uintNext = 0;
    std::uint32_t m_uintInFlight = 0;
    // Transfers that ended since the last round: their objects go after it.
    std::vector<File*> m_ended;
};

}  // namespace pullbay::engine
