#pragma once
// One request as a loopback server received it: the request line and the
// header fields as sent, and what they say about the connection. Its body,
// if any, is skipped, not kept.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "loopback/FieldText.h"

namespace pullbay::loopback {

struct HttpRequest {
    std::string strMethod;
    // As sent: the path with its query, or the absolute form
    // ("http://host/path?query").
    std::string strTarget;
    // In the order received; values without their surrounding blanks.
    FieldList headers;
    bool bHttp10 = false;
    // The client keeps the connection for another request: HTTP/1.1 unless
    // it sent "Connection: close", HTTP/1.0 only with "Connection:
    // keep-alive". Never after a body framed otherwise than by
    // Content-Length, which cannot be skipped exactly.
    bool bKeepAlive = true;
    // The body's length as Content-Length declared it; 0 without one.
    std::uint64_t uintContentLength = 0;
    // Which accepted connection carried it, counted from 0 since the
    // server started.
    int intConnectionIndex = 0;

    // The value of the first field of that name (ASCII case ignored).
    std::optional<std::string> Header(std::string_view strName) const;
    // The target's path without query or fragment; of the absolute form,
    // the path after the authority ("/" when there is none). Empty when the
    // target is of neither form.
    std::string Path() const;
};

}  // namespace pullbay::loopback
