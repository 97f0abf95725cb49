#pragma once
// A scripted answer of the test server, including the faults it can inject.
// The fields keep the short names the tests script them with.
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "loopback/FieldText.h"

namespace pullbay::test {

struct HttpResponse {
    int status = 200;
    // Empty: the standard reason phrase.
    std::string reason;
    // Empty: no Content-Type field at all.
    std::string contentType = "application/octet-stream";
    // Further fields (Location, ETag, ...), in this order.
    loopback::FieldList headers;
    std::string body;

    // False and not chunked: the body ends when the connection closes.
    bool sendContentLength = true;
    // Transfer-Encoding: chunked.
    bool chunked = false;
    // The body goes out in pieces of this size (chunks when chunked); 0: in
    // one piece.
    std::size_t chunkSize = 1024;

    // Fault: the connection closes abruptly once this many body bytes are
    // out (mid-chunk if need be; without a TLS close_notify).
    std::optional<std::size_t> closeAfterBodyBytes;
    std::chrono::milliseconds delayBeforeHeaders{0};
    std::chrono::milliseconds delayBetweenChunks{0};
    // Stall: the request is read, nothing is sent until the server stops.
    bool neverRespond = false;

    // Answers "Range: bytes=..." (a single range) with 206 and
    // Content-Range, or 416 when it cannot be satisfied; If-Range is
    // compared with this response's ETag or Last-Modified field, and a
    // mismatch serves the whole body with the original status. Adds
    // "Accept-Ranges: bytes". Applies to 200 responses only.
    bool honourRange = false;
    // False: "Connection: close" and the connection closes after the
    // response.
    bool keepAlive = true;

    // The value of the first further field of that name (ASCII case
    // ignored), if any.
    std::optional<std::string> Header(std::string_view strName) const;

    static HttpResponse Redirect(int intStatus, std::string strLocation);
    static HttpResponse Text(int intStatus, std::string strBody,
                             std::string strContentType = "text/plain");
};

}  // namespace pullbay::test
