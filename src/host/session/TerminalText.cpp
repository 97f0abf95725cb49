#include "host/session/TerminalText.h"

#include "core/HexDigits.h"
#include "core/TextUnits.h"

namespace pullbay::host {

std::wstring TerminalText::Wide(std::wstring_view strText)
{
    std::wstring strShown;
    strShown.reserve(strText.size());
    for (const wchar_t ch : strText) {
        if (!IsControl(ch)) {
            strShown.push_back(ch);
            continue;
        }
        strShown += L"\\x";
        core::AppendHex(strShown, static_cast<std::uint64_t>(ch), 2, core::HexCase::Lower);
    }
    return strShown;
}

std::string TerminalText::Of(std::wstring_view strText)
{
    return core::ToUtf8(Wide(strText));
}

std::string TerminalText::Of(std::string_view strUtf8)
{
    return Of(core::FromUtf8(strUtf8));
}

}  // namespace pullbay::host
