#pragma once
// Writes messages to the browser in native messaging's framing, splitting
// those above the browser's limit into part messages
// (NativeMessageFraming). Each message is written whole before the next,
// so parts never interleave. GUI thread only.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bridge/NativeMessageFraming.h"

namespace pullbay::bridge {

class NativeMessageWriter {
public:
    explicit NativeMessageWriter(int fdOutput,
                                 std::size_t uintLimit = NativeMessageFraming::kMaxToBrowserBytes);

    // False once the browser has gone (a failed write); later writes are
    // dropped.
    bool Write(std::string_view strJson);

private:
    bool WriteAll(std::string_view bytes);

    const int m_fdOutput;
    const std::size_t m_uintLimit;
    std::uint32_t m_uintNextPartId = 0;
    bool m_bBroken = false;
};

}  // namespace pullbay::bridge
