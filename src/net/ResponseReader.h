#pragma once
// The read loop of one response of a WInetDownloader transfer, as the
// exchange's handler: it follows or refuses redirects, positions the body
// (a validated tail continues it, anything else starts at 0), writes it to
// the output stream through a BlockWriter, feeds the raw listener, keeps an
// error body as text, and asks the transfer's callbacks after every read.
// One attempt's hop at a time, on the transfer's thread; included only by
// WInetDownloader.cpp.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/TextUnits.h"
#include "net/BlockWriter.h"
#include "net/HttpExchange.h"
#include "net/TransferOutcome.h"
#include "net/WInetDownloader.h"

namespace pullbay::net {

class WInetDownloader::ResponseReader final : public IHttpExchangeHandler {
public:
    enum class Next { Finish, Follow, RestartWithoutRange, Refuse };

    ResponseReader(WInetDownloader& owner, AttemptState& state, const std::string& strUrl,
                   bool bSentRange);

    BodyDisposition OnResponseHead(const HttpResponseHead& head) override;

    ~ResponseReader() override;
    ResponseReader(const ResponseReader&) = delete;
    ResponseReader& operator=(const ResponseReader&) = delete;

    bool OnResponseBody(const char* pData, std::size_t uintSize) override;

    // Writes out what was gathered: before anything judges the attempt.
    // False when the stream failed (now or before).
    bool FlushWrites();

    // The last, empty read of a body that ended.
    bool FinishBody();

    Next GetNext() const { return m_next; }
    const std::string& GetNextUrl() const { return m_strNextUrl; }
    // Body bytes of this attempt that reached the output stream (with a
    // stream) or the caller: what the next attempt continues after. Bytes
    // that a failing write lost are not counted, so the resume position
    // never runs ahead of the file.
    std::int64_t GetReceived() const;
    std::int64_t GetDeclaredLength() const { return m_intDeclaredLength; }
    bool IsFileSystemFailure() const { return m_bFileSystemFailure; }
    // A callback's verdict or exception ended the transfer.
    bool IsEndedByCallback() const { return m_bEndedByCallback; }
    std::wstring TakeErrorText() { return core::FromUtf8(m_strErrorBytes); }

private:
    // Position 0: the stream is cut back to empty, so a body that starts over
    // is never followed by bytes of an earlier attempt.
    bool Rewind();

    // Hands one slice to the block writer.
    bool StoreSlice(const char* pData, std::size_t uintSize);
    void NoteWriteFailure();
    void FailWrite(HRESULT hr);
    void NotifyListener(const char* pData, std::size_t uintSize);
    void AppendErrorBytes(const char* pData, std::size_t uintSize);

    // DownloadProgress; false when its verdict ends the attempt.
    bool ReportProgress();

    // A callback's verdict; one that throws ends the transfer, recorded.
    template <typename Callback>
    TransferVerdict Ask(Callback callback);

    // False when the verdict ends the attempt or the transfer.
    bool Apply(const TransferVerdict& verdict);

    WInetDownloader& m_owner;
    AttemptState& m_state;
    const std::string& m_strUrl;
    const bool m_bSentRange;
    Next m_next = Next::Finish;
    std::string m_strNextUrl;
    std::int64_t m_intDeclaredLength = 0;
    std::int64_t m_intReceived = 0;
    bool m_bWriteFailed = false;
    // Gathers the body for the output stream, when there is one.
    std::optional<BlockWriter> m_writer;
    bool m_bFileSystemFailure = false;
    bool m_bEndedByCallback = false;
    bool m_bStreamFailed = false;
    std::string m_strErrorBytes;
};

}  // namespace pullbay::net
