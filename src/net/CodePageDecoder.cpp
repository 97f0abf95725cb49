#include "net/CodePageDecoder.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <vector>

#include <iconv.h>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"

namespace pullbay::net {

namespace {

constexpr wchar_t kReplacementCharacter = 0xFFFD;

struct CodePageName {
    unsigned uintCodePage;
    const char* strName;
    // Bytes of one code unit: how far to skip over an invalid one.
    std::size_t uintUnitBytes;
};

constexpr CodePageName kNamedCodePages[] = {
    {1200, "UTF-16LE", 2},  {1201, "UTF-16BE", 2},     {12000, "UTF-32LE", 4},
    {12001, "UTF-32BE", 4}, {20127, "ASCII", 1},       {20866, "KOI8-R", 1},
    {21866, "KOI8-U", 1},   {28603, "ISO-8859-13", 1}, {28605, "ISO-8859-15", 1},
    {54936, "GB18030", 1},  {65000, "UTF-7", 1},
};

constexpr unsigned kIsoCodePageFirst = 28591;  // ISO-8859-1
constexpr unsigned kIsoCodePageLast = 28599;   // ISO-8859-9

struct IconvEncoding {
    std::string strName;
    std::size_t uintUnitBytes = 1;
};

IconvEncoding EncodingOf(unsigned uintCodePage)
{
    for (const CodePageName& entry : kNamedCodePages) {
        if (entry.uintCodePage == uintCodePage) {
            return {entry.strName, entry.uintUnitBytes};
        }
    }
    char digits[16];
    if (uintCodePage >= kIsoCodePageFirst && uintCodePage <= kIsoCodePageLast) {
        const auto result =
            std::to_chars(digits, digits + sizeof digits, uintCodePage - kIsoCodePageFirst + 1);
        return {"ISO-8859-" + std::string(digits, result.ptr), 1};
    }
    const auto result = std::to_chars(digits, digits + sizeof digits, uintCodePage);
    return {"CP" + std::string(digits, result.ptr), 1};
}

// One conversion descriptor, closed on every path.
class IconvToWide {
public:
    explicit IconvToWide(const std::string& strEncoding)
        : m_handle(::iconv_open("WCHAR_T", strEncoding.c_str()))
    {
    }
    ~IconvToWide()
    {
        if (IsOpen()) {
            ::iconv_close(m_handle);
        }
    }
    IconvToWide(const IconvToWide&) = delete;
    IconvToWide& operator=(const IconvToWide&) = delete;

    bool IsOpen() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; returns false with errno set when iconv
    // stopped early. The converted characters are appended either way.
    bool Convert(char*& pInput, std::size_t& uintInputLeft, std::wstring& out)
    {
        wchar_t buffer[1024];
        auto* pOutput = reinterpret_cast<char*>(buffer);
        std::size_t uintOutputLeft = sizeof buffer;
        const std::size_t uintResult =
            pInput == nullptr
                ? ::iconv(m_handle, nullptr, nullptr, &pOutput, &uintOutputLeft)
                : ::iconv(m_handle, &pInput, &uintInputLeft, &pOutput, &uintOutputLeft);
        const int intError = errno;
        out.append(buffer, static_cast<std::size_t>(reinterpret_cast<wchar_t*>(pOutput) - buffer));
        errno = intError;
        return uintResult != static_cast<std::size_t>(-1);
    }

private:
    iconv_t m_handle;
};

}  // namespace

std::wstring GetDecodedString(std::string_view bytes, unsigned uintCodePage)
{
    if (uintCodePage == kCodePageUtf8) {
        return core::FromUtf8(bytes);
    }
    const IconvEncoding encoding = EncodingOf(uintCodePage);
    IconvToWide converter(encoding.strName);
    if (!converter.IsOpen()) {
        PB_THROW(core::UnexpectedException);
    }
    std::wstring out;
    out.reserve(bytes.size());
    // iconv's interface takes a non-const input pointer but never writes through it.
    char* pInput = const_cast<char*>(bytes.data());
    std::size_t uintInputLeft = bytes.size();
    while (uintInputLeft > 0) {
        if (converter.Convert(pInput, uintInputLeft, out)) {
            continue;
        }
        switch (errno) {
        case E2BIG:
            break;  // the buffer was full; its characters are kept
        case EILSEQ: {
            out.push_back(kReplacementCharacter);
            const std::size_t uintSkip = std::min(encoding.uintUnitBytes, uintInputLeft);
            pInput += uintSkip;
            uintInputLeft -= uintSkip;
            break;
        }
        case EINVAL:
            // An incomplete sequence at the end of the input.
            out.push_back(kReplacementCharacter);
            uintInputLeft = 0;
            break;
        default:
            PB_THROW(core::UnexpectedException);
        }
    }
    // A stateful encoding may still hold output (end of its shift state).
    char* pFlush = nullptr;
    while (!converter.Convert(pFlush, uintInputLeft, out) && errno == E2BIG) {
    }
    return out;
}

}  // namespace pullbay::net
