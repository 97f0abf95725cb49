#include "loopback/RequestParser.h"

#include <algorithm>
#include <vector>

#include "core/TextUnits.h"

namespace pullbay::loopback {

namespace {

bool IsTokenChar(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(ch) != std::string_view::npos;
}

bool IsToken(std::string_view strText)
{
    return !strText.empty() && std::all_of(strText.begin(), strText.end(), IsTokenChar);
}

// Control characters (NUL, a stray CR among them) make a head unreadable;
// a tab is allowed in field values only.
bool HasControlCharacter(std::string_view strText, bool bTabAllowed)
{
    return std::any_of(strText.begin(), strText.end(), [&](char ch) {
        const auto uintCh = static_cast<unsigned char>(ch);
        return (uintCh < 0x20 && !(bTabAllowed && ch == '\t')) || uintCh == 0x7F;
    });
}

}  // namespace

RequestParser::RequestParser(std::size_t uintMaxHeadBytes) : m_uintMaxHeadBytes(uintMaxHeadBytes)
{
}

void RequestParser::Append(std::string_view strBytes)
{
    m_strInput.append(strBytes);
}

RequestParser::Result RequestParser::Next(HttpRequest& request)
{
    if (m_uintLineStart == 0) {
        // Blank lines before a request line are ignored.
        m_strInput.erase(0, std::min(m_strInput.find_first_not_of("\r\n"), m_strInput.size()));
    }
    // The head ends with its first empty line (LF or CR LF alone).
    std::size_t uintHeadLength = std::string::npos;
    while (uintHeadLength == std::string::npos) {
        const std::size_t uintFeed = m_strInput.find('\n', m_uintLineStart);
        if (uintFeed == std::string::npos) {
            // Everything received belongs to the unfinished head.
            return m_strInput.size() > m_uintMaxHeadBytes ? Result::Malformed : Result::NeedMore;
        }
        const std::size_t uintLineLength = uintFeed - m_uintLineStart;
        if (uintLineLength == 0 || (uintLineLength == 1 && m_strInput[m_uintLineStart] == '\r')) {
            uintHeadLength = uintFeed + 1;
        }
        m_uintLineStart = uintFeed + 1;
    }
    m_uintLineStart = 0;
    if (uintHeadLength > m_uintMaxHeadBytes) {
        return Result::Malformed;
    }
    request = HttpRequest();
    const bool bParsed = ParseHead(std::string_view(m_strInput).substr(0, uintHeadLength), request);
    m_strInput.erase(0, uintHeadLength);
    return bParsed ? Result::Complete : Result::Malformed;
}

std::size_t RequestParser::DropBody(std::uint64_t uintBytes)
{
    const auto uintDropped =
        static_cast<std::size_t>(std::min<std::uint64_t>(uintBytes, m_strInput.size()));
    m_strInput.erase(0, uintDropped);
    return uintDropped;
}

bool RequestParser::ParseHead(std::string_view strHead, HttpRequest& request)
{
    std::vector<std::string_view> lines;
    while (!strHead.empty()) {
        const std::size_t uintFeed = strHead.find('\n');
        std::string_view strLine = strHead.substr(0, uintFeed);
        if (!strLine.empty() && strLine.back() == '\r') {
            strLine.remove_suffix(1);
        }
        if (!strLine.empty()) {
            lines.push_back(strLine);
        }
        strHead.remove_prefix(uintFeed == std::string_view::npos ? strHead.size() : uintFeed + 1);
    }
    if (lines.empty() || !ParseRequestLine(lines[0], request)) {
        return false;
    }

    bool bHost = false;
    bool bClose = false;
    bool bKeepAliveToken = false;
    bool bLengthSeen = false;
    bool bOtherFraming = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view strField = lines[i];
        // A line that begins with a blank continues the previous one: an
        // obsolete form that is refused rather than misread.
        const std::size_t uintColon = strField.find(':');
        if (uintColon == std::string_view::npos || !IsToken(strField.substr(0, uintColon))) {
            return false;
        }
        const std::string_view strName = strField.substr(0, uintColon);
        const std::string_view strValue = TrimBlanks(strField.substr(uintColon + 1));
        if (HasControlCharacter(strValue, true)) {
            return false;
        }
        request.headers.emplace_back(strName, strValue);
        if (core::EqualsIgnoreAsciiCase(strName, "Host")) {
            bHost = true;
        } else if (core::EqualsIgnoreAsciiCase(strName, "Connection")) {
            bClose = bClose || HasListToken(strValue, "close");
            bKeepAliveToken = bKeepAliveToken || HasListToken(strValue, "keep-alive");
        } else if (core::EqualsIgnoreAsciiCase(strName, "Content-Length")) {
            const std::optional<std::uint64_t> length = ParseDecimal(strValue);
            if (!length || (bLengthSeen && *length != request.uintContentLength)) {
                return false;
            }
            bLengthSeen = true;
            request.uintContentLength = *length;
        } else if (core::EqualsIgnoreAsciiCase(strName, "Transfer-Encoding")) {
            bOtherFraming = true;
        }
    }
    // HTTP/1.1 requires Host.
    if (!request.bHttp10 && !bHost) {
        return false;
    }
    if (bOtherFraming) {
        // Content-Length is ignored beside Transfer-Encoding.
        request.uintContentLength = 0;
    }
    request.bKeepAlive = !bClose && (!request.bHttp10 || bKeepAliveToken) && !bOtherFraming;
    return true;
}

bool RequestParser::ParseRequestLine(std::string_view strLine, HttpRequest& request)
{
    // method SP request-target SP HTTP-version, single spaces.
    const std::size_t uintFirst = strLine.find(' ');
    const std::size_t uintSecond = uintFirst == std::string_view::npos
                                       ? std::string_view::npos
                                       : strLine.find(' ', uintFirst + 1);
    if (uintSecond == std::string_view::npos ||
        strLine.find(' ', uintSecond + 1) != std::string_view::npos) {
        return false;
    }
    const std::string_view strMethod = strLine.substr(0, uintFirst);
    const std::string_view strTarget = strLine.substr(uintFirst + 1, uintSecond - uintFirst - 1);
    const std::string_view strVersion = strLine.substr(uintSecond + 1);
    if (!IsToken(strMethod) || strTarget.empty() || HasControlCharacter(strTarget, false)) {
        return false;
    }
    if (strVersion == "HTTP/1.0") {
        request.bHttp10 = true;
    } else if (strVersion != "HTTP/1.1") {
        return false;
    }
    request.strMethod = strMethod;
    request.strTarget = strTarget;
    // Only the origin form ("/path") and the absolute form are served.
    return !request.Path().empty();
}

}  // namespace pullbay::loopback
