#pragma once
// The bytes of the registry store's files. Stateless; any thread may call
// every function.
//
// A value file: "PBRV", then little-endian u32 fields: format version (1),
// value type, number of name units, number of data bytes; then the name, one
// u32 per wchar_t (so every name round-trips as it was given), then the data.
// A key record (".key" inside the key's directory): "PBRK", u32 version (1),
// u32 number of name units, then the name as above.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pullbay::platform {

struct RegistryValueRecord {
    std::wstring strName;
    std::uint32_t uintType = 0;
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> EncodeRegistryValueRecord(std::wstring_view strName,
                                                    std::uint32_t uintType,
                                                    std::span<const std::uint8_t> data);
// False when the bytes are not a complete value record of this format.
bool DecodeRegistryValueRecord(std::span<const std::uint8_t> bytes, RegistryValueRecord& record);

std::vector<std::uint8_t> EncodeRegistryKeyRecord(std::wstring_view strName);
bool DecodeRegistryKeyRecord(std::span<const std::uint8_t> bytes, std::wstring& strName);

}  // namespace pullbay::platform
