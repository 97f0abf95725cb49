#pragma once
// The HTML colour keywords that BackgroundColor accepts, each with its value
// written as "#" and six hexadecimal digits. Immutable; any thread may read it.
#include <span>
#include <string_view>

namespace pullbay::model {

class ColorTable {
public:
    struct Entry {
        const wchar_t* strName;
        const wchar_t* strValue;  // "#RRGGBB"
    };

    // All 140 keywords in their fixed order, "Snow" first and "Black" last.
    static std::span<const Entry> Entries();

    // The value of the first keyword equal to strName ignoring ASCII case, or
    // nullptr when there is none.
    static const wchar_t* FindValue(std::wstring_view strName);
};

}  // namespace pullbay::model
