#pragma once
// A text argument of the scripting surface, where a null text differs from
// an empty one (the properties store an empty text for null but a fallback
// for empty). A value type: any thread.
//
// Held as a text plus a null flag rather than std::optional<std::wstring>:
// GCC 12 reports false "may be used uninitialized" warnings for the latter
// at -O2, which the warnings-as-errors build turns into failures.
#include <string>
#include <utility>

namespace pullbay::com {

class NullableString {
public:
    // Null.
    NullableString() = default;
    NullableString(std::wstring strText) : m_text(std::move(strText)), m_bNull(false) {}
    // Null for nullptr.
    NullableString(const wchar_t* pText)
        : m_text(pText != nullptr ? pText : L""), m_bNull(pText == nullptr)
    {
    }

    bool IsNull() const { return m_bNull; }
    // The text; empty for null.
    const std::wstring& Value() const { return m_text; }
    // The terminated text, or nullptr for null.
    const wchar_t* Ptr() const { return m_bNull ? nullptr : m_text.c_str(); }

    friend bool operator==(const NullableString& left, const NullableString& right)
    {
        return left.m_bNull == right.m_bNull && left.m_text == right.m_text;
    }

private:
    std::wstring m_text;  // always empty while null
    bool m_bNull = true;
};

}  // namespace pullbay::com
