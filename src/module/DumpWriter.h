#pragma once
// The crash dump's output: buffered write(2) to the dump file.
//
// Threads: async-signal-safe; a DumpWriter belongs to the thread that made it
// (the crashing one).
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "module/FixedText.h"

namespace pullbay::module {

// Buffered write(2) to the dump file. After the first failed write nothing
// more is written, so a full disk ends the dump instead of garbling it.
class DumpWriter {
public:
    explicit DumpWriter(int intFd) : m_intFd(intFd) {}
    DumpWriter(const DumpWriter&) = delete;
    DumpWriter& operator=(const DumpWriter&) = delete;

    DumpWriter& operator<<(std::string_view text)
    {
        if (text.size() > sizeof m_buffer - m_uintUsed) {
            Flush();
            if (text.size() > sizeof m_buffer) {
                WriteAll(text.data(), text.size());
                return *this;
            }
        }
        std::memcpy(m_buffer + m_uintUsed, text.data(), text.size());
        m_uintUsed += text.size();
        return *this;
    }
    DumpWriter& operator<<(std::int64_t intValue)
    {
        char digits[21];
        std::size_t uintLength = 0;
        // Two's complement: the magnitude of the most negative value still fits.
        std::uint64_t uintMagnitude = static_cast<std::uint64_t>(intValue);
        if (intValue < 0) {
            digits[uintLength++] = '-';
            uintMagnitude = ~uintMagnitude + 1;
        }
        uintLength += FormatDecimal(digits + uintLength, uintMagnitude);
        return *this << std::string_view(digits, uintLength);
    }
    void Hex(std::uint64_t uintValue)
    {
        char digits[18];
        *this << std::string_view(digits, FormatHex64(digits, uintValue));
    }
    void Flush()
    {
        WriteAll(m_buffer, m_uintUsed);
        m_uintUsed = 0;
    }

private:
    void WriteAll(const char* pData, std::size_t uintSize)
    {
        while (uintSize > 0 && !m_bFailed) {
            const ssize_t intWritten = ::write(m_intFd, pData, uintSize);
            if (intWritten < 0 && errno == EINTR) {
                continue;
            }
            if (intWritten <= 0) {
                m_bFailed = true;
                return;
            }
            pData += intWritten;
            uintSize -= static_cast<std::size_t>(intWritten);
        }
    }

    int m_intFd;
    char m_buffer[1024];
    std::size_t m_uintUsed = 0;
    bool m_bFailed = false;
};

}  // namespace pullbay::module
