#pragma once
// The HTTP/1.1 request reader of one connection: takes the bytes as they
// arrive, in pieces of any size, and yields one request head after another
// (pipelined requests included). Lines end with LF or CR LF; blank lines
// before a request line are skipped. A head is refused as malformed when it
// is not a well-formed HTTP/1.0 or 1.1 request, or grows beyond the limit
// whether or not its end has arrived. Used by one thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "loopback/HttpRequest.h"

namespace pullbay::loopback {

class RequestParser {
public:
    enum class Result { NeedMore, Complete, Malformed };

    // uintMaxHeadBytes bounds the request line and header fields together.
    explicit RequestParser(std::size_t uintMaxHeadBytes);

    // Takes bytes received.
    void Append(std::string_view strBytes);
    // Complete: the next request's head was taken from the input into
    // request, its body (if any) is next. Malformed: the connection is to
    // be answered 400 and closed; the parser is of no further use.
    Result Next(HttpRequest& request);
    // Drops up to uintBytes of a request body from what was received;
    // returns how many it dropped.
    std::size_t DropBody(std::uint64_t uintBytes);
    // Bytes received and not taken yet.
    std::size_t Buffered() const { return m_strInput.size(); }

private:
    static bool ParseHead(std::string_view strHead, HttpRequest& request);
    static bool ParseRequestLine(std::string_view strLine, HttpRequest& request);

    const std::size_t m_uintMaxHeadBytes;
    std::string m_strInput;
    // Where the first line of the head not yet ended begins in m_strInput:
    // lines before it were scanned already.
    std::size_t m_uintLineStart = 0;
};

}  // namespace pullbay::loopback
