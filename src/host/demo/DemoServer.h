#pragma once
// The loopback HTTP/1.1 server of "pullbay demo": serves the DemoCatalog's
// file list and files on 127.0.0.1 at a port the kernel picks, through the
// loopback server library (a thread per connection). Bodies are paced so
// that a person sees the progress of a several-MiB file.
//
// Threads: construct, Start, Stop and destroy on one thread (the owner's).
// Port, BaseUrl, ListUrl, ConnectionCount and Catalog may be called from any
// thread; they describe the server once Start has returned. The catalogue is
// answered from the connection threads, which the owner reaches through the
// server's stop.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/demo/DemoCatalog.h"
#include "loopback/IRequestHandler.h"
#include "loopback/LoopbackServer.h"

namespace pullbay::host {

class DemoServer : private loopback::IRequestHandler {
public:
    // A 5 MiB file takes about a second.
    static constexpr std::uint64_t kDefaultBytesPerSecond = 5 * 1024 * 1024;
    // A request head (request line and headers) larger than this is refused.
    static constexpr std::size_t kMaxHeadBytes = 16 * 1024;
    // Further connections wait in the listen queue.
    static constexpr std::size_t kMaxConnections = 64;
    // A connection that sends nothing for this long while it has no request
    // to answer is closed.
    static constexpr std::chrono::seconds kIdleTimeOut{30};

    // uintBytesPerSecond paces every response body on each connection;
    // 0 sends as fast as the client reads.
    explicit DemoServer(std::uint64_t uintBytesPerSecond = kDefaultBytesPerSecond);
    ~DemoServer() override;
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;
    DemoServer(DemoServer&&) = delete;
    DemoServer& operator=(DemoServer&&) = delete;

    // Binds, listens and starts serving; returns BaseUrl(). While running,
    // a further call only returns BaseUrl(); after Stop it starts again on
    // a new port. Throws a core exception (by errno) when the socket cannot
    // be set up.
    std::string Start();
    // Closes every connection, a paced transfer included; returns when the
    // server's threads have ended. Idempotent.
    void Stop();

    // 0 before the first Start.
    std::uint16_t Port() const { return m_server.Port(); }
    // "http://127.0.0.1:PORT"
    std::string BaseUrl() const { return m_server.BaseUrl(); }
    // BaseUrl() followed by DemoCatalog::kListPath: the value for FileList.
    std::string ListUrl() const;
    // The demo page (served at "/" too): an object element of the control
    // whose FileList names the list relative to the page.
    static constexpr std::string_view kPagePath = "/index.html";
    static std::string PageHtml();
    std::string PageUrl() const { return BaseUrl() + std::string(kPagePath); }
    // Connections accepted since the last Start.
    int ConnectionCount() const { return m_server.ConnectionCount(); }
    const DemoCatalog& Catalog() const { return m_catalog; }

private:
    using Clock = std::chrono::steady_clock;

    // A connection thread's: the page, the list, a file, 404 or 405.
    Ending Answer(const loopback::HttpRequest& request, loopback::ResponseWriter& writer) override;
    // The file's body in slices, each released when the pace allows.
    Ending SendBody(const DemoCatalog::File& file, loopback::ResponseWriter& writer) const;
    std::size_t SliceBytes() const;

    const DemoCatalog m_catalog;
    const std::uint64_t m_uintBytesPerSecond;
    // Last: its threads end before the rest goes.
    loopback::LoopbackServer m_server;
};

}  // namespace pullbay::host
