#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pullbay::test {

// Deterministic bytes that can be checked byte for byte: byte i of the result
// depends only on (seed, offset + i), and does so pseudo-randomly, so a file
// whose parts were spliced, shifted or duplicated no longer matches.
// PatternBytes(a, n) == PatternBytes(0, a + n).substr(a).
std::string PatternBytes(size_t offset, size_t length, uint32_t seed = 0);

}  // namespace pullbay::test
