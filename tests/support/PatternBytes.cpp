#include "support/PatternBytes.h"

namespace pullbay::test {

namespace {

// splitmix64 finaliser: every output bit depends on every input bit.
std::uint64_t Mix(std::uint64_t uintValue)
{
    uintValue += 0x9E3779B97F4A7C15ULL;
    uintValue = (uintValue ^ (uintValue >> 30)) * 0xBF58476D1CE4E5B9ULL;
    uintValue = (uintValue ^ (uintValue >> 27)) * 0x94D049BB133111EBULL;
    return uintValue ^ (uintValue >> 31);
}

}  // namespace

std::string PatternBytes(std::size_t uintOffset, std::size_t uintLength, std::uint32_t uintSeed)
{
    std::string strBytes(uintLength, '\0');
    const std::uint64_t uintSalt = Mix(uintSeed) ^ 0xD6E8FEB86659FD93ULL;
    // Each 8-byte block of the stream is one mixed word; byte k of the block
    // is byte k of that word.
    std::uint64_t uintBlock = ~std::uint64_t{0};
    std::uint64_t uintWord = 0;
    for (std::size_t i = 0; i < uintLength; ++i) {
        const std::uint64_t uintPosition = static_cast<std::uint64_t>(uintOffset) + i;
        if (uintPosition / 8 != uintBlock) {
            uintBlock = uintPosition / 8;
            uintWord = Mix(uintBlock ^ uintSalt);
        }
        strBytes[i] =
            static_cast<char>(static_cast<unsigned char>(uintWord >> (8 * (uintPosition % 8))));
    }
    return strBytes;
}

}  // namespace pullbay::test
