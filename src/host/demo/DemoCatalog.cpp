#include "host/demo/DemoCatalog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"

namespace pullbay::host {

namespace {

using Content = DemoCatalog::Content;

constexpr std::uint32_t kMiB = 1024 * 1024;
// Line widths, line feed included.
constexpr std::size_t kProseWidth = 72;
constexpr std::size_t kCsvWidth = 32;
constexpr std::size_t kMaxWidth = std::max(kProseWidth, kCsvWidth);

constexpr std::array<std::string_view, 32> kWords = {
    "harbour", "light",  "morning", "river",   "station", "signal", "quiet",  "window",
    "garden",  "bridge", "copper",  "lantern", "meadow",  "north",  "paper",  "silver",
    "tower",   "valley", "winter",  "yellow",  "anchor",  "basket", "candle", "forest",
    "island",  "ladder", "market",  "orchard", "pebble",  "ribbon", "timber", "harvest"};

// splitmix64: cheap, and good enough that every 8-byte block looks random.
std::uint64_t Mix(std::uint64_t uintValue)
{
    uintValue += 0x9E3779B97F4A7C15ull;
    uintValue = (uintValue ^ (uintValue >> 30)) * 0xBF58476D1CE4E5B9ull;
    uintValue = (uintValue ^ (uintValue >> 27)) * 0x94D049BB133111EBull;
    return uintValue ^ (uintValue >> 31);
}

std::uint64_t Hash(std::uint32_t uintVariation, std::uint64_t uintRow, std::uint64_t uintDraw)
{
    return Mix(Mix(Mix(uintVariation) ^ uintRow) ^ uintDraw);
}

std::size_t LineWidth(Content content)
{
    return content == Content::Csv ? kCsvWidth : kProseWidth;
}

// What a text body is: prefix, whole fixed-width lines, suffix.
struct TextFrame {
    std::string strPrefix;
    std::string strSuffix;
};

TextFrame FrameOf(Content content, const std::wstring& strFileName)
{
    const std::string strName = core::ToUtf8(strFileName);
    switch (content) {
    case Content::Prose:
        return {"Pullbay demo: " + strName + "\n\n", "\n"};
    case Content::Html:
        return {"<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>" + strName +
                    "</title></head>\n<body>\n<pre>\n",
                "</pre>\n</body>\n</html>\n"};
    case Content::Csv:
        return {"sample,station,temperature,humidity,pressure\n", ""};
    case Content::Binary:
        break;
    }
    return {};
}

void AppendPadded(std::string& strOut, std::uint64_t uintValue, std::size_t uintWidth)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, uintValue);
    const auto uintDigits = static_cast<std::size_t>(result.ptr - buffer);
    if (uintDigits < uintWidth) {
        strOut.append(uintWidth - uintDigits, '0');
    }
    strOut.append(buffer, uintDigits);
}

// One justified line of words ending in a full stop.
void MakeProseLine(std::uint32_t uintVariation, std::uint64_t uintRow, char* pLine)
{
    constexpr std::size_t kText = kProseWidth - 1;
    std::vector<std::string_view> words;
    std::size_t uintUsed = 1;  // the full stop
    for (std::uint64_t uintDraw = 0;; ++uintDraw) {
        const std::string_view word =
            kWords[Hash(uintVariation, uintRow, uintDraw) % kWords.size()];
        const std::size_t uintNeed = word.size() + (words.empty() ? 0 : 1);
        if (uintUsed + uintNeed > kText) {
            break;
        }
        words.push_back(word);
        uintUsed += uintNeed;
    }
    // Every word is far shorter than a line, so there are several and at
    // least one gap to spread the rest of the line over.
    const std::size_t uintGaps = words.size() - 1;
    const std::size_t uintExtra = kText - uintUsed;
    char* pOut = pLine;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            const std::size_t uintSpaces =
                1 + uintExtra / uintGaps + (i - 1 < uintExtra % uintGaps ? 1 : 0);
            std::memset(pOut, ' ', uintSpaces);
            pOut += uintSpaces;
        }
        std::memcpy(pOut, words[i].data(), words[i].size());
        if (i == 0) {
            *pOut = static_cast<char>(*pOut - 'a' + 'A');
        }
        pOut += words[i].size();
    }
    *pOut++ = '.';
    *pOut = '\n';
}

// "0000001,station-07,21.4,55,1013\n"
void MakeCsvLine(std::uint32_t uintVariation, std::uint64_t uintRow, char* pLine)
{
    const std::uint64_t uintRandom = Hash(uintVariation, uintRow, 0);
    std::string strLine;
    strLine.reserve(kCsvWidth);
    AppendPadded(strLine, uintRow + 1, 7);
    strLine += ",station-";
    AppendPadded(strLine, 1 + uintRandom % 12, 2);
    strLine += ',';
    const std::uint64_t uintTenths = 100 + (uintRandom >> 8) % 200;
    AppendPadded(strLine, uintTenths / 10, 2);
    strLine += '.';
    AppendPadded(strLine, uintTenths % 10, 1);
    strLine += ',';
    AppendPadded(strLine, 30 + (uintRandom >> 20) % 60, 2);
    strLine += ',';
    AppendPadded(strLine, 980 + (uintRandom >> 32) % 60, 4);
    strLine += '\n';
    std::memcpy(pLine, strLine.data(), kCsvWidth);
}

void ReadText(const DemoCatalog::File& file, std::uint64_t uintOffset, char* pBuffer,
              std::size_t uintLength)
{
    const TextFrame frame = FrameOf(file.content, file.strFileName);
    const std::uint64_t uintSize = file.uintSize;
    // A size too small for the frame cuts it; the catalogue never does that.
    const std::uint64_t uintPrefix = std::min<std::uint64_t>(frame.strPrefix.size(), uintSize);
    const std::uint64_t uintSuffix =
        std::min<std::uint64_t>(frame.strSuffix.size(), uintSize - uintPrefix);
    const std::uint64_t uintSuffixStart = uintSize - uintSuffix;
    const std::size_t uintWidth = LineWidth(file.content);
    std::array<char, kMaxWidth> line{};

    while (uintLength > 0) {
        std::size_t uintTake = 0;
        if (uintOffset < uintPrefix) {
            uintTake = static_cast<std::size_t>(
                std::min<std::uint64_t>(uintPrefix - uintOffset, uintLength));
            std::memcpy(pBuffer, frame.strPrefix.data() + uintOffset, uintTake);
        } else if (uintOffset >= uintSuffixStart) {
            uintTake = uintLength;
            std::memcpy(pBuffer, frame.strSuffix.data() + (uintOffset - uintSuffixStart), uintTake);
        } else {
            const std::uint64_t uintFill = uintOffset - uintPrefix;
            const std::uint64_t uintRow = uintFill / uintWidth;
            const std::size_t uintColumn = static_cast<std::size_t>(uintFill % uintWidth);
            if (file.content == Content::Csv) {
                MakeCsvLine(file.uintVariation, uintRow, line.data());
            } else {
                MakeProseLine(file.uintVariation, uintRow, line.data());
            }
            uintTake = static_cast<std::size_t>(std::min<std::uint64_t>(
                {uintWidth - uintColumn, uintSuffixStart - uintOffset, uintLength}));
            std::memcpy(pBuffer, line.data() + uintColumn, uintTake);
        }
        pBuffer += uintTake;
        uintOffset += uintTake;
        uintLength -= uintTake;
    }
}

void ReadBinary(std::uint32_t uintVariation, std::uint64_t uintOffset, char* pBuffer,
                std::size_t uintLength)
{
    const std::uint64_t uintKey = Mix(uintVariation);
    while (uintLength > 0) {
        const std::uint64_t uintBlock = Mix(uintKey ^ (uintOffset / 8));
        std::size_t uintByte = static_cast<std::size_t>(uintOffset % 8);
        const std::size_t uintTake = std::min<std::size_t>(8 - uintByte, uintLength);
        for (std::size_t i = 0; i < uintTake; ++i, ++uintByte) {
            pBuffer[i] = static_cast<char>((uintBlock >> (8 * uintByte)) & 0xFF);
        }
        pBuffer += uintTake;
        uintOffset += uintTake;
        uintLength -= uintTake;
    }
}

}  // namespace

DemoCatalog::DemoCatalog()
{
    struct Entry {
        const char* strPath;
        const wchar_t* strMimeType;
        std::uint32_t uintApproximateSize;
        const wchar_t* strFileName;
        const char* strContentType;
        bool bServed;
        Content content;
    };
    // The served Content-Type equals the declared type except for "*/*",
    // which accepts any, and for the annual report, which a misconfigured
    // server sends as an HTML page.
    static constexpr Entry kEntries[] = {
        {"/files/readme.txt", L"text/plain", 3000, L"readme.txt", "text/plain", true,
         Content::Prose},
        {"/files/docs/guide.html", L"text/html", 48000, L"docs/guide.html", "text/html", true,
         Content::Html},
        {"/files/docs/changes.txt", L"*/*", 14000, L"docs/changes.txt", "text/plain; charset=utf-8",
         true, Content::Prose},
        {"/files/data/measurements.csv", L"text/csv", 420000, L"data/measurements.csv", "text/csv",
         true, Content::Csv},
        {"/files/photos/harbour.jpeg", L"image/jpeg", 1800000, L"photos/harbour.jpeg", "image/jpeg",
         true, Content::Binary},
        {"/files/photos/lighthouse.png", L"image/png", 950000, L"photos/lighthouse.png",
         "image/png", true, Content::Binary},
        {"/files/video/flight.mpeg", L"video/mpeg", 7 * kMiB + 4321, L"video/flight.mpeg",
         "video/mpeg", true, Content::Binary},
        {"/files/music/surprise.mp3", L"audio/mpeg", 4 * kMiB + 77, L"music/\u00DCberraschung.mp3",
         "audio/mpeg", true, Content::Binary},
        {"/files/archives/sources.zip", L"application/zip", 5 * kMiB + 999, L"archives/sources.zip",
         "application/zip", true, Content::Binary},
        {"/files/archives/backup.gz", L"application/gzip", 3 * kMiB + 5, L"archives/backup.gz",
         "application/gzip", true, Content::Binary},
        {"/files/docs/handbook.pdf", L"application/pdf", 260000, L"docs/handbook.pdf",
         "application/pdf", false, Content::Binary},
        {"/files/reports/annual.pdf", L"application/pdf", 180000, L"reports/annual.pdf",
         "text/html", true, Content::Html},
    };

    std::uint32_t uintVariation = 1;
    for (const Entry& entry : kEntries) {
        File file;
        file.strPath = entry.strPath;
        file.strMimeType = entry.strMimeType;
        file.strFileName = entry.strFileName;
        file.strContentType = entry.strContentType;
        file.bServed = entry.bServed;
        file.content = entry.content;
        file.uintVariation = uintVariation++;
        file.uintSize = entry.uintApproximateSize;
        if (entry.content != Content::Binary) {
            // Whole lines only, so a text file never ends in half a line.
            const TextFrame frame = FrameOf(entry.content, file.strFileName);
            const std::uint32_t uintFrame =
                static_cast<std::uint32_t>(frame.strPrefix.size() + frame.strSuffix.size());
            const std::uint32_t uintWidth = static_cast<std::uint32_t>(LineWidth(entry.content));
            file.uintSize =
                uintFrame + (entry.uintApproximateSize - uintFrame) / uintWidth * uintWidth;
        }
        m_files.push_back(std::move(file));
    }
}

const DemoCatalog::File* DemoCatalog::Find(std::string_view strPath) const
{
    const auto found = std::find_if(m_files.begin(), m_files.end(),
                                    [&](const File& file) { return file.strPath == strPath; });
    return found == m_files.end() ? nullptr : &*found;
}

std::string DemoCatalog::ListText(const std::string& strBaseUrl) const
{
    std::string strText;
    for (const File& file : m_files) {
        strText += core::ToUtf8(file.strMimeType);
        strText += " | ";
        AppendPadded(strText, file.uintSize, 1);
        strText += " | ";
        strText += strBaseUrl;
        strText += file.strPath;
        strText += " | ";
        strText += core::ToUtf8(file.strFileName);
        strText += '\n';
    }
    return strText;
}

void DemoCatalog::ReadBody(const File& file, std::uint64_t uintOffset, char* pBuffer,
                           std::size_t uintLength)
{
    if (uintOffset > file.uintSize || uintLength > file.uintSize - uintOffset) {
        PB_THROW(core::ArgumentOutOfRangeException, L"uintOffset");
    }
    if (uintLength == 0) {
        return;
    }
    if (pBuffer == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pBuffer");
    }
    if (file.content == Content::Binary) {
        ReadBinary(file.uintVariation, uintOffset, pBuffer, uintLength);
    } else {
        ReadText(file, uintOffset, pBuffer, uintLength);
    }
}

std::string DemoCatalog::Body(const File& file)
{
    std::string strBody(file.uintSize, '\0');
    ReadBody(file, 0, strBody.data(), strBody.size());
    return strBody;
}

}  // namespace pullbay::host
