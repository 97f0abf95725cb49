#pragma once
// Text that the host prints for a person (stdout, stderr, a terminal or
// not): the C0 controls U+0000-U+001F, DEL and the C1 controls
// U+007F-U+009F are shown as "\xNN", so names, URLs and server texts cannot
// move the cursor, clear the screen or ring the bell. The JSON lines are not
// made here: JSON escapes these characters itself. Any thread.
#include <string>
#include <string_view>

namespace pullbay::host {

class TerminalText {
public:
    // Whether the character is shown escaped.
    static bool IsControl(wchar_t ch)
    {
        return (ch >= 0 && ch <= 0x1F) || (ch >= 0x7F && ch <= 0x9F);
    }
    // The text escaped, as UTF-8.
    static std::string Of(std::wstring_view strText);
    // UTF-8 text escaped; invalid UTF-8 shows as U+FFFD.
    static std::string Of(std::string_view strUtf8);
    // The text escaped, still as wide text (for texts cut to a width later).
    static std::wstring Wide(std::wstring_view strText);
};

}  // namespace pullbay::host
