#pragma once
// Wide text in as few bytes as keep it whole, for records that a long file
// list holds by the million. Each text is stored in the narrowest unit that
// fits every one of its characters (1 byte when all are below U+0100, 2 below
// U+10000, else 4) behind a header of one or two bytes with its length and
// unit, so an ASCII URL takes about a quarter of a std::wstring and any
// wchar_t value comes back unchanged. Writing and reading are plain functions
// over bytes: a record keeps several texts in one block of its own, a table
// a whole column in a few large ones.
//
// Threads: no state of its own. A view reads bytes that its owner keeps
// unchanged for as long as the view is used.
#include <cstddef>
#include <string>
#include <string_view>

namespace pullbay::core {

// One text inside a buffer that WriteCompactText filled.
class CompactTextView {
public:
    CompactTextView() = default;

    std::size_t Length() const { return m_uintLength; }
    bool Empty() const { return m_uintLength == 0; }
    wchar_t At(std::size_t uintIndex) const;
    std::wstring Str() const;

    // The text as stored, header included: WriteCompactText of the view
    // copies these bytes.
    const unsigned char* EncodedData() const { return m_pHeader; }
    std::size_t EncodedSize() const;

    friend bool operator==(const CompactTextView& left, std::wstring_view right);

private:
    friend CompactTextView ReadCompactText(const unsigned char*& pIn);

    // Null for the empty view made by the default constructor.
    const unsigned char* m_pHeader = nullptr;
    const unsigned char* m_pUnits = nullptr;
    std::size_t m_uintLength = 0;
    std::size_t m_uintUnitBytes = 1;
};

// Bytes that WriteCompactText takes for the text.
std::size_t CompactTextSize(std::wstring_view text);
std::size_t CompactTextSize(const CompactTextView& text);

// Writes the text at pOut, CompactTextSize(text) bytes; returns their end.
unsigned char* WriteCompactText(std::wstring_view text, unsigned char* pOut);
unsigned char* WriteCompactText(const CompactTextView& text, unsigned char* pOut);

// Reads the text that starts at pIn and moves pIn past it.
CompactTextView ReadCompactText(const unsigned char*& pIn);

}  // namespace pullbay::core
