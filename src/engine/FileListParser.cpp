#include "engine/FileListParser.h"

#include <algorithm>
#include <charconv>
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

// Compiled on first use (a thread-safe static); matching against the shared
// const pattern is safe from any thread.
const boost::wregex& LinePattern()
{
    static const boost::wregex pattern = [] {
        boost::wregex compiled;
        compiled.imbue(RegexLocale());
        compiled.assign(FileListParser::kLinePattern, boost::regex_constants::perl);
        return compiled;
    }();
    return pattern;
}

std::wstring GroupText(const boost::wcmatch& match, int intGroup)
{
    return std::wstring(match[intGroup].first, match[intGroup].second);
}

// The whole field as a number from 0 to 2^63 - 1; ASCII digits only, so the
// process locale plays no part.
bool ParseFileSize(const std::wstring& strField, std::int64_t& intSize)
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
    }
    return TakeCompleteLines();
}

FileListBatch FileListParser::Finish()
{
    // A lone partial mark at the end is ordinary bytes: nothing can follow.
    m_bStartSeen = true;
    if (m_strBuffer.empty()) {
        return {};
    }
    m_strBuffer.push_back('\n');
    return TakeCompleteLines();
}

FileListBatch FileListParser::TakeCompleteLines()
{
    const std::size_t uintLastFeed = m_strBuffer.rfind('\n');
    if (uintLastFeed == std::string::npos) {
        return {};
    }
    // Taken out before decoding: should decoding fail, these lines are lost
    // and the following ones still read, rather than failing forever.
    std::string strComplete = m_strBuffer.substr(0, uintLastFeed + 1);
    m_strBuffer.erase(0, uintLastFeed + 1);
    const std::wstring strText = net::GetDecodedString(strComplete, net::kCodePageUtf8);

    FileListBatch batch;
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
    return batch;
}

FileListBatch::Entry FileListParser::ParseLine(const std::wstring& strLine) const
{
    boost::wcmatch match;
    bool bMatched = false;
    try {
        bMatched = boost::regex_match(strLine.data(), strLine.data() + strLine.size(), match,
                                      LinePattern());
    } catch (const std::runtime_error&) {
        // The matcher gives up on a line whose backtracking exceeds its
        // bounds (a very long line of separators): it cannot be read, like
        // any other line that does not match.
        bMatched = false;
    }
    if (!bMatched) {
        return FileListBatch::Entry::Error(ErrorCode::kBadListLine, strLine);
    }

    std::int64_t intSize = 0;
    if (!ParseFileSize(GroupText(match, kGroupSize), intSize)) {
        return FileListBatch::Entry::Error(ErrorCode::kInvalidArgument,
                                           FileListBatch::kInvalidFileSizeText);
    }

    std::wstring strUrl;
    if (!MakeItemUrl(GroupText(match, kGroupUrl), strUrl)) {
        return FileListBatch::Entry::Error(ErrorCode::kNoAbsoluteUrl, std::move(strUrl));
    }

    return FileListBatch::Entry::Item(FileItem::Create(GroupText(match, kGroupMimeType), intSize,
                                                       GroupText(match, kGroupFileName),
                                                       std::move(strUrl)));
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
