#include "core/TextUnits.h"

#include <algorithm>

namespace pullbay::core {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsValidCodePoint(char32_t cp)
{
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (!IsValidCodePoint(cp)) {
        cp = kReplacementCharacter;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::size_t Utf16Length(std::wstring_view text)
{
    std::size_t uintUnits = 0;
    for (wchar_t ch : text) {
        uintUnits += static_cast<char32_t>(ch) > 0xFFFF ? 2 : 1;
    }
    return uintUnits;
}

std::wstring_view TruncateToUtf16Units(std::wstring_view text, std::size_t uintMaxUnits)
{
    std::size_t uintUnits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t uintWidth = static_cast<char32_t>(text[i]) > 0xFFFF ? 2 : 1;
        if (uintUnits + uintWidth > uintMaxUnits) {
            return text.substr(0, i);
        }
        uintUnits += uintWidth;
    }
    return text;
}

std::string ToUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t ch : text) {
        AppendUtf8(out, static_cast<char32_t>(ch));
    }
    return out;
}

std::wstring FromUtf8(std::string_view bytes)
{
    // An ill-formed sequence is replaced by one U+FFFD per maximal subpart
    // (the longest prefix of a well-formed sequence, or one byte), the
    // practice of the Unicode standard: a truncated character costs one
    // replacement, and the byte that broke it is decoded afresh.
    std::wstring out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        std::size_t uintLength = 0;
        char32_t cp = 0;
        // The range of the second byte excludes overlong forms, surrogates
        // and values above U+10FFFF.
        unsigned char secondLow = 0x80;
        unsigned char secondHigh = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            uintLength = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            uintLength = 3;
            cp = lead & 0x0F;
            secondLow = lead == 0xE0 ? 0xA0 : 0x80;
            secondHigh = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            uintLength = 4;
            cp = lead & 0x07;
            secondLow = lead == 0xF0 ? 0x90 : 0x80;
            secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::size_t uintTaken = 1;
        while (uintTaken < uintLength && i + uintTaken < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + uintTaken]);
            const unsigned char low = uintTaken == 1 ? secondLow : 0x80;
            const unsigned char high = uintTaken == 1 ? secondHigh : 0xBF;
            if (next < low || next > high) {
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
            ++uintTaken;
        }
        const bool complete = uintLength != 0 && uintTaken == uintLength;
        const char32_t decoded = complete && IsValidCodePoint(cp) ? cp : kReplacementCharacter;
        out.push_back(static_cast<wchar_t>(decoded));
        i += uintTaken;
    }
    return out;
}

wchar_t ToLowerAscii(wchar_t ch)
{
    return (ch >= L'A' && ch <= L'Z') ? static_cast<wchar_t>(ch - L'A' + L'a') : ch;
}

std::wstring ToLowerAscii(std::wstring_view text)
{
    std::wstring out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](wchar_t ch) { return ToLowerAscii(ch); });
    return out;
}

bool EqualsIgnoreAsciiCase(std::wstring_view left, std::wstring_view right)
{
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](wchar_t a, wchar_t b) { return ToLowerAscii(a) == ToLowerAscii(b); });
}

bool EqualsIgnoreAsciiCase(std::string_view left, std::string_view right)
{
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return ToLowerAscii(static_cast<wchar_t>(static_cast<unsigned char>(a))) ==
                      ToLowerAscii(static_cast<wchar_t>(static_cast<unsigned char>(b)));
           });
}

}  // namespace pullbay::core
