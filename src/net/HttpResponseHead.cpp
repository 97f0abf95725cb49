#include "net/HttpResponseHead.h"

#include <charconv>

#include "core/TextUnits.h"

namespace pullbay::net {

namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text)
{
    Number value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::string> HttpResponseHead::Header(std::string_view strName) const
{
    for (auto it = headers.rbegin(); it != headers.rend(); ++it) {
        if (core::EqualsIgnoreAsciiCase(it->first, strName)) {
            return std::string(Trim(it->second));
        }
    }
    return std::nullopt;
}

std::optional<long long> HttpResponseHead::ContentLength() const
{
    const auto value = Header("Content-Length");
    if (!value) {
        return std::nullopt;
    }
    const auto length = ParseNumber<long long>(*value);
    if (!length || *length < 0) {
        return std::nullopt;
    }
    return length;
}

int ParseStatusLine(std::string_view strLine)
{
    strLine = Trim(strLine);
    if (strLine.substr(0, 5) != "HTTP/") {
        return 0;
    }
    const std::size_t uintSpace = strLine.find(' ');
    if (uintSpace == std::string_view::npos) {
        return 0;
    }
    const std::string_view code = strLine.substr(uintSpace + 1, 3);
    const auto status = ParseNumber<int>(code);
    return status && *status >= 100 && *status <= 999 ? *status : 0;
}

std::optional<std::pair<std::string, std::string>> ParseHeaderLine(std::string_view strLine)
{
    const std::size_t uintColon = strLine.find(':');
    if (uintColon == std::string_view::npos) {
        return std::nullopt;
    }
    return std::pair<std::string, std::string>(strLine.substr(0, uintColon),
                                               strLine.substr(uintColon + 1));
}

std::optional<ContentRange> ParseContentRange(std::string_view strValue)
{
    strValue = Trim(strValue);
    if (strValue.substr(0, 6) != "bytes ") {
        return std::nullopt;
    }
    strValue.remove_prefix(6);
    const std::size_t uintDash = strValue.find('-');
    const std::size_t uintSlash = strValue.find('/');
    if (uintDash == std::string_view::npos || uintSlash == std::string_view::npos ||
        uintDash > uintSlash) {
        return std::nullopt;
    }
    const auto first = ParseNumber<long long>(Trim(strValue.substr(0, uintDash)));
    const auto last =
        ParseNumber<long long>(Trim(strValue.substr(uintDash + 1, uintSlash - uintDash - 1)));
    const std::string_view totalText = Trim(strValue.substr(uintSlash + 1));
    if (!first || !last || *last < *first) {
        return std::nullopt;
    }
    if (totalText == "*") {
        return ContentRange{*first, -1};
    }
    const auto total = ParseNumber<long long>(totalText);
    if (!total || *total <= *last) {
        return std::nullopt;
    }
    return ContentRange{*first, *total};
}

}  // namespace pullbay::net
