#pragma once
// The scripted loopback HTTP(S) server of the tests, built on the loopback
// server library:
//
//     TestHttpServer server;
//     server.Route("/file", HttpResponse::Text(200, PatternBytes(0, 4096)));
//     ... fetch server.BaseUrl() + "/file" ...
//     EXPECT_EQ(server.RequestCount("/file"), 1u);
//
// It listens on 127.0.0.1 on a port the kernel picks from construction on,
// serves each connection on its own thread with keep-alive, records every
// request and answers from the routes (exact match on the path without
// query; unknown paths get 404 "Not Found"). The responses can inject
// faults: stalls, delays, truncation, close-delimited or chunked bodies.
// Stop() (and the destructor) end every connection at once, stalled ones
// included; handlers run on server threads and must not call Stop()
// themselves.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "loopback/HttpRequest.h"
#include "support/HttpResponse.h"
#include "support/PatternBytes.h"
#include "support/TempFile.h"
#include "support/TlsIdentity.h"

namespace pullbay::test {

using HttpRequest = loopback::HttpRequest;
using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

class TestHttpServer {
public:
    // Plain HTTP.
    TestHttpServer();
    // HTTPS with this certificate.
    explicit TestHttpServer(const TlsIdentity& identity);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;
    TestHttpServer(TestHttpServer&&) = delete;
    TestHttpServer& operator=(TestHttpServer&&) = delete;

    std::uint16_t Port() const;
    // "http://127.0.0.1:PORT", or "https://localhost:PORT" when serving TLS.
    std::string BaseUrl() const;

    // Both replace an earlier route of the same path; safe while serving.
    void Route(const std::string& strPath, HttpResponse response);
    // The handler runs on a server thread, possibly concurrently with
    // itself; an exception it throws becomes a 500 answer.
    void Route(const std::string& strPath, HttpHandler handler);

    // Every request, in arrival order.
    std::vector<HttpRequest> Requests() const;
    // Requests whose path (without query) is strPath.
    std::size_t RequestCount(const std::string& strPath) const;
    // Connections accepted so far.
    int ConnectionCount() const;
    // True once at least uintCount requests have arrived; false on time-out.
    bool WaitForRequests(std::size_t uintCount, std::chrono::milliseconds timeOut) const;

    // Idempotent.
    void Stop();

private:
    class Impl;
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace pullbay::test
