#include "support/PatternBytes.h"

namespace pullbay::test {

namespace {

// splitmix64 finaliser: every output bit depends on every input bit.
uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

std::string PatternBytes(size_t offset, size_t length, uint32_t seed)
{
    std::string out(length, '\0');
    const uint64_t salt = Mix(seed) ^ 0xD6E8FEB86659FD93ULL;
    // Each 8-byte block of the stream is one mixed word; byte k of the block is
    // byte k of that word.
    uint64_t block = ~uint64_t{0};
    uint64_t word = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint64_t position = static_cast<uint64_t>(offset) + i;
        if (position / 8 != block) {
            block = position / 8;
            word = Mix(block ^ salt);
        }
        out[i] = static_cast<char>(static_cast<unsigned char>(word >> (8 * (position % 8))));
    }
    return out;
}

}  // namespace pullbay::test
