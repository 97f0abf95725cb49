#pragma once
// The data forms of typed registry values: REG_SZ as null-terminated UTF-16LE
// text, REG_DWORD as a little-endian u32. Stateless; any thread may call them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pullbay::platform {

// The text as UTF-16LE with its terminator: (units + 1) * 2 bytes. Code
// points above U+FFFF become surrogate pairs; values that are no code point
// at all become U+FFFD.
std::vector<std::uint8_t> RegistryStringData(std::wstring_view strText);

// The text of REG_SZ data, up to the first NUL unit or the end of the data
// (a missing terminator or an odd last byte is tolerated, as the original
// platform's readers do). Pairs of surrogates are joined; a lone surrogate is
// kept as it is.
std::wstring RegistryStringFromData(std::span<const std::uint8_t> data);

std::vector<std::uint8_t> RegistryDwordData(std::uint32_t uintValue);

// The number of REG_DWORD data: nullopt unless the data is exactly 4 bytes.
std::optional<std::uint32_t> RegistryDwordFromData(std::span<const std::uint8_t> data);

}  // namespace pullbay::platform
