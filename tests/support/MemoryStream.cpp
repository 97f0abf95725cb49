#include "support/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace pullbay::test {

HRESULT MemoryStream::Read(void* pData, std::uint32_t uintSize, std::uint32_t* pRead)
{
    const std::uint64_t uintAvailable =
        m_uintPosition < m_strContents.size() ? m_strContents.size() - m_uintPosition : 0;
    const auto uintCount =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(uintSize, uintAvailable));
    std::memcpy(pData, m_strContents.data() + m_uintPosition, uintCount);
    m_uintPosition += uintCount;
    if (pRead != nullptr) {
        *pRead = uintCount;
    }
    return S_OK;
}

HRESULT MemoryStream::Write(const void* pData, std::uint32_t uintSize, std::uint32_t* pWritten)
{
    std::uint32_t uintCount = uintSize;
    if (m_maxWrite) {
        uintCount = std::min(uintCount, *m_maxWrite);
    }
    if (m_failAfter) {
        if (m_uintTotalWritten >= *m_failAfter) {
            if (pWritten != nullptr) {
                *pWritten = 0;
            }
            return m_hrFailure;
        }
        uintCount = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(uintCount, *m_failAfter - m_uintTotalWritten));
    }
    if (m_strContents.size() < m_uintPosition + uintCount) {
        m_strContents.resize(m_uintPosition + uintCount);
    }
    std::memcpy(m_strContents.data() + m_uintPosition, pData, uintCount);
    m_uintPosition += uintCount;
    m_uintTotalWritten += uintCount;
    if (pWritten != nullptr) {
        *pWritten = uintCount;
    }
    return S_OK;
}

HRESULT MemoryStream::Seek(std::int64_t intOffset, core::StreamSeekOrigin origin,
                           std::uint64_t* pNewPosition)
{
    std::int64_t intBase = 0;
    if (origin == core::StreamSeekOrigin::Current) {
        intBase = static_cast<std::int64_t>(m_uintPosition);
    } else if (origin == core::StreamSeekOrigin::End) {
        intBase = static_cast<std::int64_t>(m_strContents.size());
    }
    if (intBase + intOffset < 0) {
        return E_INVALIDARG;
    }
    m_uintPosition = static_cast<std::uint64_t>(intBase + intOffset);
    ++m_intSeeks;
    if (pNewPosition != nullptr) {
        *pNewPosition = m_uintPosition;
    }
    return S_OK;
}

HRESULT MemoryStream::SetSize(std::uint64_t uintSize)
{
    m_strContents.resize(uintSize);
    return S_OK;
}

void MemoryStream::FailAfter(std::uint64_t uintBytes, HRESULT hrFailure)
{
    m_failAfter = uintBytes;
    m_hrFailure = hrFailure;
}

}  // namespace pullbay::test
