#pragma once
// An in-memory core::IStream for transfer tests, with scripted faults:
// partial writes and a write failure after a number of bytes (disk full by
// default). Used on one thread.
#include <cstdint>
#include <optional>
#include <string>

#include "core/IStream.h"

namespace pullbay::test {

class MemoryStream : public core::IStream {
public:
    HRESULT Read(void* pData, std::uint32_t uintSize, std::uint32_t* pRead) override;
    HRESULT Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten) override;
    HRESULT Seek(std::int64_t intOffset, core::StreamSeekOrigin origin,
                 std::uint64_t* pNewPosition) override;
    HRESULT SetSize(std::uint64_t uintSize) override;

    const std::string& Contents() const { return m_strContents; }
    std::uint64_t Position() const { return m_uintPosition; }
    int SeekCount() const { return m_intSeeks; }

    // Each Write takes at most this many bytes.
    void LimitWriteTo(std::uint32_t uintBytes) { m_maxWrite = uintBytes; }
    // Writes fail with hrFailure once this many bytes were written in all.
    void FailAfter(std::uint64_t uintBytes, HRESULT hrFailure);

private:
    std::string m_strContents;
    std::uint64_t m_uintPosition = 0;
    std::uint64_t m_uintTotalWritten = 0;
    int m_intSeeks = 0;
    std::optional<std::uint32_t> m_maxWrite;
    std::optional<std::uint64_t> m_failAfter;
    HRESULT m_hrFailure = E_FAIL;
};

}  // namespace pullbay::test
