#pragma once
// "0x" and the lowercase hex digits of a 32-bit code (an HRESULT or a
// DISPID) as the host's messages show it. Any thread.
#include <charconv>
#include <cstdint>
#include <string>

namespace pullbay::host {

inline std::string HexText(std::int32_t intCode)
{
    char buffer[16] = {};
    const auto [pEnd, error] =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint32_t>(intCode), 16);
    (void)error;
    return "0x" + std::string(buffer, pEnd);
}

}  // namespace pullbay::host
