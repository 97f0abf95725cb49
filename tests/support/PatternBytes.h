#pragma once
// Deterministic bytes that can be checked byte for byte: byte i of the result
// depends only on (seed, offset + i), and does so pseudo-randomly, so a file
// whose parts were spliced, shifted or duplicated no longer matches.
// PatternBytes(a, n) == PatternBytes(0, a + n).substr(a). Any thread.
#include <cstddef>
#include <cstdint>
#include <string>

namespace pullbay::test {

std::string PatternBytes(std::size_t uintOffset, std::size_t uintLength,
                         std::uint32_t uintSeed = 0);

}  // namespace pullbay::test
