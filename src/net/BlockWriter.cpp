#include "net/BlockWriter.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace pullbay::net {

BlockWriter::BlockWriter(core::IStream& stream, std::size_t uintBlockBytes)
    : m_stream(stream), m_uintBlockBytes(uintBlockBytes)
{
}

BlockWriter::~BlockWriter()
{
    if (m_writer.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_bStopping = true;
        }
        m_changed.notify_all();
        // A block still handed over is written before the thread ends.
        m_writer.join();
    }
}

HRESULT BlockWriter::WriteAll(core::IStream& stream, const std::vector<char>& bytes,
                              std::uint64_t& uintWritten)
{
    std::size_t uintDone = 0;
    while (uintDone < bytes.size()) {
        const std::size_t uintLeft = bytes.size() - uintDone;
        std::uint32_t uintTaken = 0;
        HRESULT hr = E_FAIL;
        try {
            hr = stream.Write(bytes.data() + uintDone, static_cast<std::uint32_t>(uintLeft),
                              &uintTaken);
        } catch (...) {
            // A stream that throws has failed like one that says so.
            hr = E_FAIL;
            uintTaken = 0;
        }
        // A stream that reports more than it was given took all of it.
        const std::size_t uintCounted = std::min<std::size_t>(uintTaken, uintLeft);
        uintDone += uintCounted;
        uintWritten += uintCounted;
        if (Failed(hr)) {
            return hr;
        }
        if (uintTaken == 0 || uintTaken > uintLeft) {
            return E_FAIL;
        }
    }
    return S_OK;
}

bool BlockWriter::Append(const char* pData, std::size_t uintSize)
{
    while (uintSize > 0 && !HasFailed()) {
        const std::size_t uintTake = std::min(uintSize, m_uintBlockBytes - m_filling.size());
        m_filling.insert(m_filling.end(), pData, pData + uintTake);
        pData += uintTake;
        uintSize -= uintTake;
        if (m_filling.size() >= m_uintBlockBytes) {
            HandOver();
        }
    }
    if (HasFailed()) {
        m_filling.clear();
        return false;
    }
    return true;
}

void BlockWriter::HandOver()
{
    WaitForWriter();
    if (HasFailed()) {
        return;
    }
    if (!m_writer.joinable()) {
        try {
            m_writer = std::thread([this] { WriterLoop(); });
        } catch (const std::system_error&) {
            // No thread to be had: the block is written here instead.
            std::uint64_t uintWritten = 0;
            m_hrFailure = WriteAll(m_stream, m_filling, uintWritten);
            m_uintWritten += uintWritten;
            m_filling.clear();
            return;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        // The thread's last block comes back empty, with its capacity.
        std::swap(m_handedOver, m_filling);
        m_bHandedOver = true;
    }
    m_changed.notify_all();
}

void BlockWriter::WaitForWriter()
{
    if (!m_writer.joinable()) {
        return;
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_bHandedOver; });
    m_uintWritten += std::exchange(m_uintBlockWritten, 0);
    if (Failed(m_hrBlock) && !HasFailed()) {
        m_hrFailure = m_hrBlock;
    }
}

bool BlockWriter::Flush()
{
    WaitForWriter();
    if (!HasFailed() && !m_filling.empty()) {
        std::uint64_t uintWritten = 0;
        m_hrFailure = WriteAll(m_stream, m_filling, uintWritten);
        m_uintWritten += uintWritten;
    }
    m_filling.clear();
    return !HasFailed();
}

void BlockWriter::Discard()
{
    WaitForWriter();
    m_filling.clear();
}

void BlockWriter::WriterLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_bHandedOver || m_bStopping; });
        if (!m_bHandedOver) {
            return;
        }
        // The owner leaves the handed-over block alone until it is given
        // back, so it is written without the lock.
        lock.unlock();
        std::uint64_t uintWritten = 0;
        const HRESULT hr = WriteAll(m_stream, m_handedOver, uintWritten);
        m_handedOver.clear();
        lock.lock();
        m_uintBlockWritten = uintWritten;
        m_hrBlock = hr;
        m_bHandedOver = false;
        m_changed.notify_all();
    }
}

}  // namespace pullbay::net
