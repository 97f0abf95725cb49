#pragma once
// A 16-byte class or interface identifier, compared and ordered byte by byte,
// with the registry's text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
// A value type: any thread.
#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pullbay::com {

struct Guid {
    // In the order of the text form, so ordering by bytes is ordering by text.
    std::array<std::uint8_t, 16> bytes{};

    // From the four fields of the usual declaration
    // {0x12345678, 0x9ABC, 0xDEF0, {0x01, ..., 0x08}}.
    static constexpr Guid FromParts(std::uint32_t uintData1, std::uint16_t uintData2,
                                    std::uint16_t uintData3,
                                    const std::array<std::uint8_t, 8>& data4)
    {
        Guid guid;
        for (int i = 0; i < 4; ++i) {
            guid.bytes[i] = static_cast<std::uint8_t>(uintData1 >> (24 - 8 * i));
        }
        guid.bytes[4] = static_cast<std::uint8_t>(uintData2 >> 8);
        guid.bytes[5] = static_cast<std::uint8_t>(uintData2);
        guid.bytes[6] = static_cast<std::uint8_t>(uintData3 >> 8);
        guid.bytes[7] = static_cast<std::uint8_t>(uintData3);
        for (int i = 0; i < 8; ++i) {
            guid.bytes[8 + i] = data4[i];
        }
        return guid;
    }

    // Braces required, hex digits of either case; anything else: nullopt.
    static std::optional<Guid> Parse(std::wstring_view strText);
    // Upper-case hex digits in braces.
    std::wstring ToString() const;
    bool IsNull() const { return *this == Guid{}; }

    friend bool operator==(const Guid&, const Guid&) = default;
    friend auto operator<=>(const Guid&, const Guid&) = default;
};

// The all-zero identifier (IID_NULL).
inline constexpr Guid kNullGuid{};

}  // namespace pullbay::com
