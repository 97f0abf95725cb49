#pragma once
// Status and headers of one HTTP response, as they arrived.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pullbay::net {

struct HttpResponseHead {
    int intStatus = 0;
    std::vector<std::pair<std::string, std::string>> headers;

    // The last value of the named header (case-insensitive), trimmed.
    std::optional<std::string> Header(std::string_view strName) const;

    // Content-Length as a number; nullopt when absent or not a number.
    std::optional<long long> ContentLength() const;
};

// "HTTP/1.1 206 Partial Content" -> 206; 0 when the line is no status line.
int ParseStatusLine(std::string_view strLine);

// A header line as it arrived ("Name: value\r\n") split at its first ":"
// into the name and the rest, both untrimmed (Header() trims the value);
// nullopt for a line without ":".
std::optional<std::pair<std::string, std::string>> ParseHeaderLine(std::string_view strLine);

// "bytes 600-999/1000" -> {600, 1000}; total -1 when given as "*". nullopt
// when the text is not a byte range.
struct ContentRange {
    long long intFirst;
    long long intTotal;
};
std::optional<ContentRange> ParseContentRange(std::string_view strValue);

}  // namespace pullbay::net
