#pragma once
// Fetches a file list with one transfer and turns the text into list items
// while it arrives, reporting batches, progress, a failure and the end to
// its sink. Run (through a DownloadWork) and the transfer's callbacks run on
// one worker thread; Cancel and IsCancelled on any thread.
//
// Cancel. Every sink call passes one gate: under m_mutex the gate takes a
// shared reference to the sink, which Cancel (and the final Ended) clears
// under the same mutex. So once Cancel has returned no sink call begins, and
// the cancel also raises the transfer's stop condition, which ends even a
// stalled transfer within its poll interval (20 ms). Cancel never waits for a
// sink call already under way: such a call usually waits for the GUI thread,
// where Cancel is called, and waiting would deadlock. That call keeps its
// sink alive through its own reference and ends normally; a consumer that
// carries it to the GUI thread checks IsCancelled() there before it touches
// the list: on the GUI thread that check and Cancel are ordered, so nothing
// reaches the list after Cancel.
//
// Lifetime. Shared-owned (Create): the dialog holds it, and the DownloadWork
// holds it while the pool may still run it, so the transfer never calls into
// a destroyed object.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/FileListParser.h"
#include "engine/IFileListSink.h"
#include "net/IDownloadDirectEvents.h"
#include "net/IDownloadEvents.h"
#include "net/WInetDownloader.h"

namespace pullbay::engine {

class DownloadWork;

class FileListRetrieval : public net::IDownloadEvents,
                          public net::IDownloadDirectEvents,
                          public std::enable_shared_from_this<FileListRetrieval> {
public:
    // Ended results and the codes of RetrievalFailed.
    static constexpr std::int32_t kErrorNotFound = 201;
    static constexpr std::int32_t kErrorHostNotResolved = 202;
    static constexpr std::int32_t kErrorTransferFailed = 200;
    static constexpr int kHttpOk = 200;
    static constexpr int kHttpNotFound = 404;
    static constexpr int kNameNotResolved = 12007;
    // The most bytes of a list read; a longer list ends with Error 200
    // (lines already read stay), so a list that never ends is not read for
    // ever.
    static constexpr std::uint64_t kMaxListBytes = 256ull * 1024 * 1024;

    // Any thread. The transfer gets the time-out, the reconnect attempts and
    // wait, the cookie text with the address of its page (empty: none), this
    // object as both event sinks and the cancel as stop condition; it
    // decodes a content coding of the list. A negative time-out throws ArgumentException
    // ("intTimeOut"); a null sink ArgumentNullPointerException ("pSink").
    static std::shared_ptr<FileListRetrieval> Create(std::wstring strListUrl,
                                                     std::wstring strCookieText,
                                                     std::wstring strPageAddress, int intTimeOut,
                                                     std::uint32_t uintReconnectAttempts,
                                                     std::uint32_t uintReconnectWaitMs,
                                                     std::shared_ptr<IFileListSink> pSink);
    ~FileListRetrieval() override;
    FileListRetrieval(const FileListRetrieval&) = delete;
    FileListRetrieval& operator=(const FileListRetrieval&) = delete;

    // The work item to queue on the pool; it shares ownership of this object.
    std::shared_ptr<DownloadWork> CreateWork();

    // Worker thread: the whole transfer. Runs once; a further call, or a call
    // after Cancel, returns at once. Should the transfer throw (session
    // set-up, a failure while the last lines are delivered), the sink still
    // gets Ended(kResultFailed) and the exception passes on to the pool,
    // which records it.
    void Run();

    // Any thread, never blocks for long (see the note on top). Idempotent.
    void Cancel();
    bool IsCancelled() const { return m_bCancelled.load(); }

    const std::wstring& GetListUrl() const { return m_strListUrl; }
    // Before Run: a smaller limit than kMaxListBytes (tests).
    void SetMaxListBytes(std::uint64_t uintMaxBytes) { m_uintMaxBytes = uintMaxBytes; }

    // net::IDownloadEvents, on the worker.
    net::TransferVerdict DownloadProgress(std::int64_t intPosition,
                                          std::int64_t intDeclaredLength) override;
    net::TransferVerdict MimeTypeAvailable(const std::wstring& strMimeType) override;
    void WaitingForReconnect() override;

    // net::IDownloadDirectEvents, on the worker.
    void DataReceived(const char* pData, unsigned uintSize) override;

private:
    FileListRetrieval(std::wstring strListUrl, std::shared_ptr<IFileListSink> pSink);

    // The transfer's outcome, told to the sink: the last lines and the end,
    // or the failure and the end.
    void Complete();
    void Fail(const net::TransferOutcome& outcome);

    // The gate: the sink while calls may begin, else null.
    std::shared_ptr<IFileListSink> SinkForCall() const;
    // The gate for the last call: the sink once, and the gate closed.
    std::shared_ptr<IFileListSink> SinkForEnd();
    void Deliver(FileListBatch batch);
    void End(std::int32_t intResult);
    // Error 200 naming the limit, and the end.
    void FailTooLarge();

    const std::wstring m_strListUrl;
    FileListParser m_parser;  // worker only
    net::WInetDownloader m_transfer;
    std::atomic<bool> m_bCancelled{false};
    std::atomic<bool> m_bStarted{false};
    std::uint64_t m_uintMaxBytes = kMaxListBytes;
    std::uint64_t m_uintReceived = 0;  // worker only
    // Set on the worker once the list passed m_uintMaxBytes; read by the
    // transfer's stop condition.
    std::atomic<bool> m_bTooLarge{false};
    mutable std::mutex m_mutex;
    // Guarded by m_mutex; null once cancelled or ended.
    std::shared_ptr<IFileListSink> m_pSink;
};

}  // namespace pullbay::engine
