#pragma once
// Roots, value types and name limits of the per-user registry store. Plain
// values; any thread may use them.
#include <cstddef>
#include <cstdint>

namespace pullbay::platform {

// CurrentUser is the user's own tree; ClassesRoot is the per-user class
// registration, i.e. CurrentUser "Software\Classes".
enum class RegistryRoot { CurrentUser, ClassesRoot };

// Value types with the numbers of the original platform; the store keeps any
// other number as it was written.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

// Longest key name (one level of a path) and value name, in UTF-16 units.
inline constexpr std::size_t kMaxRegistryKeyNameUnits = 255;
inline constexpr std::size_t kMaxRegistryValueNameUnits = 16383;

}  // namespace pullbay::platform
