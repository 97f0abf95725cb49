#pragma once
// Parser of option strings made of name=value pairs separated by ";"
// ("Appearance=Words; PresentDirection=HMS"); values may be quoted with ' or
// ". An instance is used by one thread at a time; the compiled pattern
// behind it is shared and may be used from any thread.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pullbay::ui {

class ParameterSplitter {
public:
    struct Param {
        std::wstring strName;
        std::wstring strValue;
    };

    // Replaces the pairs with those found in strText, in their order. Text
    // between matches that does not form a pair is skipped. Returns true
    // when at least one pair was found; a failure of the regular expression
    // engine is recorded for the thread and returns false with no pairs.
    bool Split(std::wstring_view strText);

    std::size_t GetParamCount() const { return m_params.size(); }
    // A copy of the pair at uintIndex; throws ArgumentOutOfRangeException at
    // or beyond the count.
    Param GetParamValue(std::size_t uintIndex) const;

private:
    std::vector<Param> m_params;
};

}  // namespace pullbay::ui
