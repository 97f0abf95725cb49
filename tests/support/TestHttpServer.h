#pragma once

// Scripted loopback HTTP/1.1 server for the network tests.
//
//   TestHttpServer server;
//   server.Route("/file", HttpResponse::Text(200, PatternBytes(0, 4096)));
//   ... fetch server.BaseUrl() + "/file" ...
//   EXPECT_EQ(server.RequestCount("/file"), 1u);
//
// It listens on 127.0.0.1 on a port the kernel picks, serves each connection
// on its own thread with keep-alive, records every request and answers from
// the routes (exact match on the path without query; unknown paths get 404
// "Not Found"). The responses can inject faults: stalls, delays, truncation,
// close-delimited or chunked bodies. Stop() (and the destructor) end every
// connection at once, stalled ones included; handlers run on server threads
// and must not call Stop() themselves.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/HttpRequest.h"
#include "support/HttpResponse.h"
#include "support/PatternBytes.h"
#include "support/TempFile.h"
#include "support/TlsIdentity.h"

namespace pullbay::test {

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

class TestHttpServer {
 public:
  TestHttpServer();                               // plain HTTP
  explicit TestHttpServer(TlsIdentity identity);  // HTTPS with this certificate
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;
  TestHttpServer(TestHttpServer&&) = delete;
  TestHttpServer& operator=(TestHttpServer&&) = delete;

  uint16_t Port() const;
  // "http://127.0.0.1:PORT", or "https://localhost:PORT" when serving TLS.
  std::string BaseUrl() const;

  // Both replace an earlier route of the same path; safe while serving.
  void Route(const std::string& path, HttpResponse response);
  // `handler` runs on a server thread, possibly concurrently with itself; an
  // exception it throws becomes a 500 answer.
  void Route(const std::string& path, HttpHandler handler);

  std::vector<HttpRequest> Requests() const;           // every request, in arrival order
  size_t RequestCount(const std::string& path) const;  // requests whose path (no query) equals `path`
  int ConnectionCount() const;                         // connections accepted so far
  // True once at least `count` requests have arrived; false on timeout.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

  void Stop();  // idempotent

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pullbay::test
