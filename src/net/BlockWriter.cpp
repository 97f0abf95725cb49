#include "net/BlockWriter.h"

#include <algorithm>

namespace pullbay::net {

BlockWriter::BlockWriter(core::IStream& stream, std::size_t uintBlockBytes)
    : m_stream(stream), m_uintBlockBytes(uintBlockBytes)
{
}

bool BlockWriter::Append(const char* pData, std::size_t uintSize)
{
    while (uintSize > 0 && !HasFailed()) {
        const std::size_t uintTake = std::min(uintSize, m_uintBlockBytes - m_block.size());
        m_block.insert(m_block.end(), pData, pData + uintTake);
        pData += uintTake;
        uintSize -= uintTake;
        if (m_block.size() >= m_uintBlockBytes) {
            Flush();
        }
    }
    return !HasFailed();
}

bool BlockWriter::Flush()
{
    std::size_t uintDone = 0;
    while (!HasFailed() && uintDone < m_block.size()) {
        const std::size_t uintLeft = m_block.size() - uintDone;
        std::uint32_t uintTaken = 0;
        HRESULT hr = E_FAIL;
        try {
            hr = m_stream.Write(m_block.data() + uintDone, static_cast<std::uint32_t>(uintLeft),
                                &uintTaken);
        } catch (...) {
            // A stream that throws has failed like one that says so.
            hr = E_FAIL;
            uintTaken = 0;
        }
        // A stream that reports more than it was given took all of it.
        const std::size_t uintCounted = std::min<std::size_t>(uintTaken, uintLeft);
        uintDone += uintCounted;
        m_uintWritten += uintCounted;
        if (Failed(hr)) {
            m_hrFailure = hr;
        } else if (uintTaken == 0 || uintTaken > uintLeft) {
            m_hrFailure = E_FAIL;
        }
    }
    m_block.clear();
    return !HasFailed();
}

}  // namespace pullbay::net
