#pragma once
// Gathers the body bytes of a transfer into large blocks and writes them to
// the output stream: a few large writes instead of one per read slice. Once
// a body outgrows one block, the full blocks are written by a thread of the
// writer's own while the next block fills, so writing the file overlaps
// receiving the body; a body of less than one block never starts it.
//
// Nothing is lost silently: Flush waits until every byte handed in is
// written or a write failed, and Written() counts exactly the bytes that the
// stream reported written (a failing write may have taken part of its
// block), so a transfer that continues after a failure continues at the
// stream's real end.
//
// Threads: every member is called by one thread, the owner's (the
// transfer's). The writer thread uses the stream only between a block's
// hand-over and the wait that follows it; whenever a member returns, no
// write is under way except that of a block handed over by Append, and
// Flush, Discard and the destructor wait for that one too, so the owner may
// use the stream itself after them.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "core/IStream.h"

namespace pullbay::net {

class BlockWriter {
public:
    BlockWriter(core::IStream& stream, std::size_t uintBlockBytes);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // Takes the bytes; a full block goes to the writer thread. False once a
    // write has failed (the bytes are then dropped).
    bool Append(const char* pData, std::size_t uintSize);
    // Writes out everything handed in and waits for it. True when all of it
    // reached the stream; false once a write has failed.
    bool Flush();
    // Drops what is not written yet (the owner cuts the stream) after any
    // write under way has ended.
    void Discard();

    // Bytes the stream reported written, over the writer's life.
    std::uint64_t Written() const { return m_uintWritten; }
    // The failing write's result (S_OK while none failed; E_FAIL for a
    // stream that took nothing and gave no reason).
    HRESULT Failure() const { return m_hrFailure; }
    bool HasFailed() const { return Failed(m_hrFailure); }

private:
    // Writes the bytes on the calling thread; the count that reached the
    // stream and the result.
    static HRESULT WriteAll(core::IStream& stream, const std::vector<char>& bytes,
                            std::uint64_t& uintWritten);
    void HandOver();
    // Waits until no block is handed over; takes up its outcome.
    void WaitForWriter();
    void WriterLoop();

    core::IStream& m_stream;
    const std::size_t m_uintBlockBytes;
    std::vector<char> m_filling;  // owner thread
    std::uint64_t m_uintWritten = 0;
    HRESULT m_hrFailure = S_OK;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex: the block being written, whether there is one, its
    // outcome, and the end of the writer thread.
    std::vector<char> m_handedOver;
    bool m_bHandedOver = false;
    std::uint64_t m_uintBlockWritten = 0;
    HRESULT m_hrBlock = S_OK;
    bool m_bStopping = false;
    std::thread m_writer;  // started with the first full block
};

}  // namespace pullbay::net
