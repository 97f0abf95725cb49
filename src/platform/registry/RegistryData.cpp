#include "platform/registry/RegistryData.h"

namespace pullbay::platform {

namespace {

void AppendUnit(std::vector<std::uint8_t>& out, std::uint32_t uintUnit)
{
    out.push_back(static_cast<std::uint8_t>(uintUnit & 0xFF));
    out.push_back(static_cast<std::uint8_t>((uintUnit >> 8) & 0xFF));
}

}  // namespace

std::vector<std::uint8_t> RegistryStringData(std::wstring_view strText)
{
    std::vector<std::uint8_t> out;
    out.reserve((strText.size() + 1) * 2);
    for (wchar_t ch : strText) {
        auto cp = static_cast<std::uint32_t>(ch);
        if (cp > 0x10FFFF) {
            cp = 0xFFFD;
        }
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            AppendUnit(out, 0xD800 + (cp >> 10));
            AppendUnit(out, 0xDC00 + (cp & 0x3FF));
        } else {
            AppendUnit(out, cp);
        }
    }
    AppendUnit(out, 0);
    return out;
}

std::wstring RegistryStringFromData(std::span<const std::uint8_t> data)
{
    std::wstring strText;
    const std::size_t uintUnits = data.size() / 2;
    const auto unitAt = [&data](std::size_t i) {
        return static_cast<std::uint32_t>(data[2 * i]) |
               (static_cast<std::uint32_t>(data[2 * i + 1]) << 8);
    };
    for (std::size_t i = 0; i < uintUnits; ++i) {
        const std::uint32_t uintUnit = unitAt(i);
        if (uintUnit == 0) {
            break;
        }
        if (uintUnit >= 0xD800 && uintUnit <= 0xDBFF && i + 1 < uintUnits) {
            const std::uint32_t uintLow = unitAt(i + 1);
            if (uintLow >= 0xDC00 && uintLow <= 0xDFFF) {
                strText.push_back(static_cast<wchar_t>(0x10000 + ((uintUnit - 0xD800) << 10) +
                                                       (uintLow - 0xDC00)));
                ++i;
                continue;
            }
        }
        strText.push_back(static_cast<wchar_t>(uintUnit));
    }
    return strText;
}

std::vector<std::uint8_t> RegistryDwordData(std::uint32_t uintValue)
{
    return {static_cast<std::uint8_t>(uintValue), static_cast<std::uint8_t>(uintValue >> 8),
            static_cast<std::uint8_t>(uintValue >> 16), static_cast<std::uint8_t>(uintValue >> 24)};
}

std::optional<std::uint32_t> RegistryDwordFromData(std::span<const std::uint8_t> data)
{
    if (data.size() != 4) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
           (static_cast<std::uint32_t>(data[2]) << 16) |
           (static_cast<std::uint32_t>(data[3]) << 24);
}

}  // namespace pullbay::platform
