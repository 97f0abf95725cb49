#pragma once
// Gathers the body bytes of a transfer into blocks and writes each block to
// the output stream in one go: a few large writes instead of one per read
// slice.
//
// Nothing is lost silently: Flush writes out everything handed in, and
// Written() counts exactly the bytes that the stream reported written (a
// failing write may have taken part of its block), so a transfer that
// continues after a failure continues at the stream's real end.
//
// Threads: one thread at a time, the transfer's.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/IStream.h"

namespace pullbay::net {

class BlockWriter {
public:
    BlockWriter(core::IStream& stream, std::size_t uintBlockBytes);
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // Takes the bytes; a full block is written out. False once a write has
    // failed (the bytes are then dropped).
    bool Append(const char* pData, std::size_t uintSize);
    // Writes out everything handed in. True when all of it reached the
    // stream; false once a write has failed.
    bool Flush();
    // Drops what is not written yet (the owner cuts the stream).
    void Discard() { m_block.clear(); }

    // Bytes the stream reported written, over the writer's life.
    std::uint64_t Written() const { return m_uintWritten; }
    // The failing write's result (S_OK while none failed; E_FAIL for a
    // stream that took nothing and gave no reason).
    HRESULT Failure() const { return m_hrFailure; }
    bool HasFailed() const { return Failed(m_hrFailure); }

private:
    core::IStream& m_stream;
    const std::size_t m_uintBlockBytes;
    std::vector<char> m_block;
    std::uint64_t m_uintWritten = 0;
    HRESULT m_hrFailure = S_OK;
};

}  // namespace pullbay::net
