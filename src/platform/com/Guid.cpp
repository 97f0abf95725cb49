#include "platform/com/Guid.h"

#include "core/HexDigits.h"

namespace pullbay::com {

namespace {

// Text positions of the hyphens in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
constexpr std::size_t kTextLength = 38;

bool IsHyphenPosition(std::size_t uintIndex)
{
    return uintIndex == 9 || uintIndex == 14 || uintIndex == 19 || uintIndex == 24;
}

}  // namespace

std::optional<Guid> Guid::Parse(std::wstring_view strText)
{
    if (strText.size() != kTextLength || strText.front() != L'{' || strText.back() != L'}') {
        return std::nullopt;
    }
    Guid guid;
    std::size_t uintNibble = 0;
    for (std::size_t i = 1; i + 1 < strText.size(); ++i) {
        if (IsHyphenPosition(i)) {
            if (strText[i] != L'-') {
                return std::nullopt;
            }
            continue;
        }
        const int intValue = core::HexDigitValue(strText[i]);
        if (intValue < 0) {
            return std::nullopt;
        }
        auto& byte = guid.bytes[uintNibble / 2];
        byte = static_cast<std::uint8_t>(uintNibble % 2 == 0 ? intValue << 4 : byte | intValue);
        ++uintNibble;
    }
    return guid;
}

std::wstring Guid::ToString() const
{
    std::wstring text;
    text.reserve(kTextLength);
    text.push_back(L'{');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text.push_back(L'-');
        }
        core::AppendHex(text, bytes[i], 2, core::HexCase::Upper);
    }
    text.push_back(L'}');
    return text;
}

}  // namespace pullbay::com
