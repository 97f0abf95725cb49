#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pullbay::test {

// A scripted answer of the test server, including the faults it can inject.
struct HttpResponse {
  int status = 200;
  std::string reason;  // empty: the standard reason phrase
  std::string contentType = "application/octet-stream";  // empty: no Content-Type header at all
  std::vector<std::pair<std::string, std::string>> headers;  // extra headers (Location, ETag, ...)
  std::string body;

  bool sendContentLength = true;  // false and not chunked: the body ends when the connection closes
  bool chunked = false;           // Transfer-Encoding: chunked
  size_t chunkSize = 1024;        // the body goes out in pieces of this size (chunks when chunked); 0: one piece

  // Fault: close the connection abruptly once this many body bytes are out
  // (mid-chunk if need be; without a TLS close_notify).
  std::optional<size_t> closeAfterBodyBytes;
  std::chrono::milliseconds delayBeforeHeaders{0};
  std::chrono::milliseconds delayBetweenChunks{0};
  bool neverRespond = false;  // stall: read the request, send nothing until the server stops

  // Answer "Range: bytes=..." (single range) with 206 + Content-Range, or 416
  // when unsatisfiable; If-Range is compared with this response's ETag or
  // Last-Modified header, and a mismatch serves the whole body with the
  // original status. Adds "Accept-Ranges: bytes". Applies to 200 responses only.
  bool honourRange = false;
  bool keepAlive = true;  // false: "Connection: close" and close after the response

  // Value of the first extra header called `name` (case-insensitive), if any.
  std::optional<std::string> Header(std::string_view name) const;

  static HttpResponse Redirect(int status, std::string location);
  static HttpResponse Text(int status, std::string body, std::string contentType = "text/plain");
};

// Standard reason phrase of a status code ("Unknown" for codes it doesn't know).
std::string_view ReasonPhrase(int status);

}  // namespace pullbay::test
