#include "bridge/NativeMessageWriter.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace pullbay::bridge {

NativeMessageWriter::NativeMessageWriter(int fdOutput, std::size_t uintLimit)
    : m_fdOutput(fdOutput), m_uintLimit(uintLimit)
{
}

bool NativeMessageWriter::Write(std::string_view strJson)
{
    if (m_bBroken) {
        return false;
    }
    for (const std::string& strFrame :
         NativeMessageFraming::Encode(strJson, ++m_uintNextPartId, m_uintLimit)) {
        if (!WriteAll(strFrame)) {
            m_bBroken = true;
            return false;
        }
    }
    return true;
}

bool NativeMessageWriter::WriteAll(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t intWritten = ::write(m_fdOutput, bytes.data(), bytes.size());
        if (intWritten < 0 && errno == EINTR) {
            continue;
        }
        if (intWritten <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(intWritten));
    }
    return true;
}

}  // namespace pullbay::bridge
