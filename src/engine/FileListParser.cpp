#include "engine/FileListParser.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <locale>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/regex.hpp>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "net/CodePageDecoder.h"
#include "net/SafeWinApi.h"
#include "net/UrlComponents.h"
#include "net/UrlFunctions.h"

namespace pullbay::engine {

namespace {

using model::FileItem;
namespace ErrorCode = api::ErrorCode;

enum LineGroup { kGroupMimeType = 1, kGroupSize = 2, kGroupUrl = 3, kGroupFileName = 4 };

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::locale RegexLocale()
{
    // Without a UTF-8 locale the wide-character classes miss non-ASCII text.
    try {
        return std::locale("C.UTF-8");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

boost::wregex Compiled(const wchar_t* strPattern)
{
    boost::wregex compiled;
    compiled.imbue(RegexLocale());
    compiled.assign(strPattern, boost::regex_constants::perl);
    return compiled;
}

// Compiled on first use (thread-safe statics); matching against the shared
// const patterns is safe from any thread.
const boost::wregex& LinePattern()
{
    static const boost::wregex pattern = Compiled(FileListParser::kLinePattern);
    return pattern;
}

const boost::wregex& WideTypeLinePattern()
{
    static const boost::wregex pattern = Compiled(FileListParser::kWideTypeLinePattern);
    return pattern;
}

// The four fields of a line that matched the line pattern.
struct LineFields {
    std::wstring_view mimeType;
    std::wstring_view size;
    std::wstring_view url;
    std::wstring_view fileName;
};

enum class SplitOutcome { Matched, NotMatched, Undecided };

bool IsAsciiBlank(wchar_t ch)
{
    return ch == L' ' || ch == L'\t';
}

std::wstring_view TrimAsciiBlanks(std::wstring_view strText)
{
    while (!strText.empty() && IsAsciiBlank(strText.front())) {
        strText.remove_prefix(1);
    }
    while (!strText.empty() && IsAsciiBlank(strText.back())) {
        strText.remove_suffix(1);
    }
    return strText;
}

// Letters, digits and the marks a type or subtype name may hold, and "*".
bool IsMimeCharacter(wchar_t ch)
{
    constexpr std::wstring_view kMarks = L"!#$&-^_.+*";
    return (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z') || (ch >= L'0' && ch <= L'9') ||
           kMarks.find(ch) != std::wstring_view::npos;
}

// The line pattern decided without the matcher for the lines a list is
// made of: exactly three "|" (so none can belong to a field and the fields
// are what lies between them) and, where white space is trimmed, only ASCII
// (so "\s" can only mean a blank or a tab there). Anything else (another
// control character, a field edge that is not ASCII and might be Unicode
// white space) is Undecided and goes to the matcher, which stays the
// definition.
SplitOutcome SplitLine(std::wstring_view strLine, LineFields& fields)
{
    // A carriage return is white space only as the last character (a
    // Windows line end); any other control character is for the matcher.
    if (!strLine.empty() && strLine.back() == L'\r') {
        strLine.remove_suffix(1);
    }
    std::size_t uintBars[3] = {};
    int intBars = 0;
    for (std::size_t i = 0; i < strLine.size(); ++i) {
        const wchar_t ch = strLine[i];
        if (ch < 0x20 && ch != L'\t') {
            return SplitOutcome::Undecided;
        }
        if (ch == L'|') {
            if (intBars == 3) {
                return SplitOutcome::Undecided;
            }
            uintBars[intBars++] = i;
        }
    }
    if (intBars != 3) {
        return SplitOutcome::Undecided;
    }
    const std::wstring_view parts[4] = {
        strLine.substr(0, uintBars[0]),
        strLine.substr(uintBars[0] + 1, uintBars[1] - uintBars[0] - 1),
        strLine.substr(uintBars[1] + 1, uintBars[2] - uintBars[1] - 1),
        strLine.substr(uintBars[2] + 1),
    };
    std::wstring_view trimmed[4];
    for (int i = 0; i < 4; ++i) {
        trimmed[i] = TrimAsciiBlanks(parts[i]);
        if (!trimmed[i].empty() && (trimmed[i].front() > 0x7F || trimmed[i].back() > 0x7F)) {
            return SplitOutcome::Undecided;
        }
    }
    // MIME type: one "/" between two non-empty halves of type characters.
    // With exactly three "|" both patterns split the line alike.
    const std::wstring_view mime = trimmed[0];
    const std::size_t uintSlash = mime.find(L'/');
    if (uintSlash == 0 || uintSlash == std::wstring_view::npos || uintSlash + 1 == mime.size()) {
        return SplitOutcome::NotMatched;
    }
    for (std::size_t i = 0; i < mime.size(); ++i) {
        if (i != uintSlash && !IsMimeCharacter(mime[i])) {
            return mime[i] > 0x7F ? SplitOutcome::Undecided : SplitOutcome::NotMatched;
        }
    }
    // Size: digits only, possibly none.
    for (const wchar_t ch : trimmed[1]) {
        if (ch < L'0' || ch > L'9') {
            return ch > 0x7F ? SplitOutcome::Undecided : SplitOutcome::NotMatched;
        }
    }
    // URL and name: at least two characters from the first to the last
    // that is not white space.
    if (trimmed[2].size() < 2 || trimmed[3].size() < 2) {
        return SplitOutcome::NotMatched;
    }
    fields = {mime, trimmed[1], trimmed[2], trimmed[3]};
    return SplitOutcome::Matched;
}

// The fields by the line patterns themselves: the first, else the wide one.
bool MatchLine(const std::wstring& strLine, LineFields& fields)
{
    boost::wcmatch match;
    try {
        if (!boost::regex_match(strLine.data(), strLine.data() + strLine.size(), match,
                                LinePattern()) &&
            !boost::regex_match(strLine.data(), strLine.data() + strLine.size(), match,
                                WideTypeLinePattern())) {
            return false;
        }
    } catch (const std::runtime_error&) {
        // The matcher gives up on a line whose backtracking exceeds its
        // bounds (a very long line of separators): it cannot be read, like
        // any other line that does not match.
        return false;
    }
    const auto group = [&](int intGroup) {
        return std::wstring_view(match[intGroup].first,
                                 static_cast<std::size_t>(match[intGroup].length()));
    };
    fields = {group(kGroupMimeType), group(kGroupSize), group(kGroupUrl), group(kGroupFileName)};
    return true;
}

// The whole field as a number from 0 to 2^63 - 1; ASCII digits only, so the
// process locale plays no part.
bool ParseFileSize(std::wstring_view strField, std::int64_t& intSize)
{
    if (strField.empty()) {
        return false;
    }
    std::string strDigits;
    strDigits.reserve(strField.size());
    for (wchar_t ch : strField) {
        if (ch < L'0' || ch > L'9') {
            return false;
        }
        strDigits.push_back(static_cast<char>(ch));
    }
    const char* pEnd = strDigits.data() + strDigits.size();
    const auto result = std::from_chars(strDigits.data(), pEnd, intSize);
    return result.ec == std::errc() && result.ptr == pEnd;
}

// Whether the URL is an absolute http(s) URL with a host (GetHost), and
// whether its port fits 16 bits (ParseUrl, which checks the port as well:
// one match instead of two on the common path).
bool HasHost(const std::wstring& strUrl, bool& bPortFits)
{
    bPortFits = true;
    net::UrlComponents components;
    try {
        return net::ParseUrl(strUrl.c_str(), components) && !components.host.empty();
    } catch (const boost::bad_lexical_cast&) {
        bPortFits = false;
        return !net::GetHost(strUrl).empty();
    }
}

}  // namespace

FileListParser::FileListParser(std::wstring strListUrl) : m_strBaseUrl(BaseUrlOf(strListUrl))
{
    LinePattern();
}

std::wstring FileListParser::BaseUrlOf(const std::wstring& strListUrl)
{
    // The slashes of "scheme://" do not end a folder: cutting there would
    // turn "http://host" into "http://", against which "a.jpg" resolves to
    // the host "a.jpg".
    const std::size_t uintScheme = strListUrl.find(L"://");
    const std::size_t uintSearchFrom = uintScheme == std::wstring::npos ? 0 : uintScheme + 3;
    const std::size_t uintSlash = strListUrl.rfind(L'/');
    if (uintSlash == std::wstring::npos || uintSlash < uintSearchFrom) {
        return strListUrl;
    }
    return strListUrl.substr(0, uintSlash + 1);
}

FileListBatch FileListParser::Consume(const char* pData, std::size_t uintSize)
{
    if (uintSize == 0) {
        return {};
    }
    if (pData == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pData");
    }
    if (m_bDroppingLongLine) {
        // The rest of a line already reported: only what follows its end is read.
        const auto* pFeed = static_cast<const char*>(std::memchr(pData, '\n', uintSize));
        if (pFeed == nullptr) {
            return {};
        }
        m_bDroppingLongLine = false;
        const auto uintSkipped = static_cast<std::size_t>(pFeed - pData) + 1;
        pData += uintSkipped;
        uintSize -= uintSkipped;
    }
    const std::size_t uintSearchFrom = m_strBuffer.size();
    m_strBuffer.append(pData, uintSize);
    if (!m_bStartSeen) {
        // The mark is judged on the first 3 bytes of the stream however the
        // server cut them, so a mark that arrives alone or byte by byte is
        // dropped as well and never reaches the first line as garbage.
        const std::size_t uintHead = std::min(m_strBuffer.size(), kByteOrderMark.size());
        if (std::string_view(m_strBuffer).substr(0, uintHead) ==
            kByteOrderMark.substr(0, uintHead)) {
            if (uintHead < kByteOrderMark.size()) {
                return {};
            }
            m_strBuffer.erase(0, kByteOrderMark.size());
        }
        m_bStartSeen = true;
        return TakeCompleteLines(0);
    }
    return TakeCompleteLines(uintSearchFrom);
}

FileListBatch FileListParser::Finish()
{
    // A lone partial mark at the end is ordinary bytes: nothing can follow.
    m_bStartSeen = true;
    m_bDroppingLongLine = false;
    if (m_strBuffer.empty()) {
        return {};
    }
    const std::size_t uintSearchFrom = m_strBuffer.size();
    m_strBuffer.push_back('\n');
    return TakeCompleteLines(uintSearchFrom);
}

FileListBatch FileListParser::TakeCompleteLines(std::size_t uintSearchFrom)
{
    FileListBatch batch;
    const std::size_t uintLastFeed = m_strBuffer.rfind('\n');
    if (uintLastFeed == std::string::npos || uintLastFeed < uintSearchFrom) {
        DropLongUnfinishedLine(batch);
        return batch;
    }
    // Taken out before decoding: should decoding fail, these lines are lost
    // and the following ones still read, rather than failing forever.
    std::string strComplete = m_strBuffer.substr(0, uintLastFeed + 1);
    m_strBuffer.erase(0, uintLastFeed + 1);

    // Runs of lines within the limit are decoded at once; a longer line
    // between them is its own error.
    const char* pRun = strComplete.data();
    const char* pLine = pRun;
    const char* const pEnd = strComplete.data() + strComplete.size();
    while (pLine < pEnd) {
        const auto* pFeed = static_cast<const char*>(
            std::memchr(pLine, '\n', static_cast<std::size_t>(pEnd - pLine)));
        if (static_cast<std::size_t>(pFeed - pLine) > kMaxLineBytes) {
            ParseLines(pRun, pLine, batch);
            batch.entries.push_back(
                LongLineError(std::string_view(pLine, static_cast<std::size_t>(pFeed - pLine))));
            pRun = pFeed + 1;
        }
        pLine = pFeed + 1;
    }
    ParseLines(pRun, pEnd, batch);
    DropLongUnfinishedLine(batch);
    return batch;
}

void FileListParser::DropLongUnfinishedLine(FileListBatch& batch)
{
    if (m_strBuffer.size() <= kMaxLineBytes) {
        return;
    }
    // Reported now, and dropped up to its end as it arrives.
    batch.entries.push_back(LongLineError(m_strBuffer));
    m_strBuffer.clear();
    m_strBuffer.shrink_to_fit();
    m_bDroppingLongLine = true;
}

void FileListParser::ParseLines(const char* pBegin, const char* pEnd, FileListBatch& batch) const
{
    if (pBegin == pEnd) {
        return;
    }
    const std::wstring strText = net::GetDecodedString(
        std::string_view(pBegin, static_cast<std::size_t>(pEnd - pBegin)), net::kCodePageUtf8);
    std::size_t uintStart = 0;
    while (uintStart < strText.size()) {
        std::size_t uintFeed = strText.find(L'\n', uintStart);
        if (uintFeed == std::wstring::npos) {
            // The bytes ended with a line feed, so the text does too; should
            // the decoder ever differ, the rest is still a line, not lost.
            uintFeed = strText.size();
        }
        batch.entries.push_back(ParseLine(strText.substr(uintStart, uintFeed - uintStart)));
        uintStart = uintFeed + 1;
    }
}

FileListBatch::Entry FileListParser::LongLineError(std::string_view strLineStart)
{
    std::string_view strShown = strLineStart.substr(0, kMaxLineBytes);
    // Cut at a character boundary: a UTF-8 sequence never ends half-way.
    if (strShown.size() < strLineStart.size()) {
        std::size_t uintCut = strShown.size();
        for (int i = 0; i < 3 && uintCut > 0 &&
                        (static_cast<unsigned char>(strLineStart[uintCut]) & 0xC0) == 0x80;
             ++i) {
            --uintCut;
        }
        strShown = strShown.substr(0, uintCut);
    }
    return FileListBatch::Entry::Error(ErrorCode::kBadListLine,
                                       net::GetDecodedString(strShown, net::kCodePageUtf8));
}

FileListBatch::Entry FileListParser::ParseLine(const std::wstring& strLine) const
{
    LineFields fields;
    const SplitOutcome outcome = SplitLine(strLine, fields);
    if (outcome == SplitOutcome::NotMatched ||
        (outcome == SplitOutcome::Undecided && !MatchLine(strLine, fields))) {
        return FileListBatch::Entry::Error(ErrorCode::kBadListLine, strLine);
    }

    std::int64_t intSize = 0;
    if (!ParseFileSize(fields.size, intSize)) {
        return FileListBatch::Entry::Error(ErrorCode::kInvalidArgument,
                                           FileListBatch::kInvalidFileSizeText);
    }

    std::wstring strUrl;
    if (!MakeItemUrl(std::wstring(fields.url), strUrl)) {
        return FileListBatch::Entry::Error(ErrorCode::kNoAbsoluteUrl, std::move(strUrl));
    }

    return FileListBatch::Entry::Item(
        FileItem::Create(fields.mimeType, intSize, fields.fileName, strUrl));
}

bool FileListParser::MakeItemUrl(const std::wstring& strField, std::wstring& strUrl) const
{
    strUrl = strField;
    // The URL services take C strings: a NUL would silently cut the URL to
    // another address.
    if (strField.find(L'\0') != std::wstring::npos) {
        return false;
    }
    try {
        bool bPortFits = true;
        strUrl = net::SafeWinApi::InternetCanonicalizeUrlW(strField.c_str(),
                                                           net::SafeWinApi::kIcuNoEncode);
        if (!HasHost(strUrl, bPortFits)) {
            strUrl = net::ResolveUrl(m_strBaseUrl, strField);
            strUrl = net::SafeWinApi::InternetCanonicalizeUrlW(strUrl.c_str(), 0);
            if (!HasHost(strUrl, bPortFits)) {
                return false;
            }
        }
        // A port beyond 16 bits could never be fetched.
        return bPortFits;
    } catch (const core::Exception&) {
        // Handled for good: the line is reported as 101.
        core::ClearRecordedFailure();
        return false;
    }
}

}  // namespace pullbay::engine
