#pragma once
// The loopback HTTP/1.1 server of "pullbay demo": serves the DemoCatalog's
// file list and files on 127.0.0.1 at a port the kernel picks, from one
// thread of its own that multiplexes every connection with poll(). Bodies
// are paced so that a person sees the progress of a several-MiB file.
//
// Threads: construct, Start, Stop and destroy on one thread (the owner's).
// Port, BaseUrl, ListUrl, ConnectionCount and Catalog may be called from any
// thread; they describe the server once Start has returned. The serving
// thread touches only its own connections; the owner reaches it through the
// atomic stop flag and the wake-up descriptor.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/DemoCatalog.h"

namespace pullbay::host {

class DemoServer {
public:
    // A 5 MiB file takes about a second.
    static constexpr std::uint64_t kDefaultBytesPerSecond = 5 * 1024 * 1024;
    // A request head (request line and headers) larger than this is refused.
    static constexpr std::size_t kMaxHeadBytes = 16 * 1024;
    // Further connections wait in the listen queue.
    static constexpr std::size_t kMaxConnections = 64;
    // A connection that sends no complete request for this long is closed.
    static constexpr std::chrono::seconds kIdleTimeOut{30};

    // uintBytesPerSecond paces every response body on each connection;
    // 0 sends as fast as the client reads.
    explicit DemoServer(std::uint64_t uintBytesPerSecond = kDefaultBytesPerSecond);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;
    DemoServer(DemoServer&&) = delete;
    DemoServer& operator=(DemoServer&&) = delete;

    // Binds, listens and starts the serving thread; returns BaseUrl(). While
    // running, a further call only returns BaseUrl(); after Stop it starts
    // again on a new port. Throws a core exception (by errno) when the
    // socket cannot be set up.
    std::string Start();
    // Ends the serving thread and closes every connection, a paced transfer
    // included; returns when the thread has ended. Idempotent.
    void Stop();

    // 0 before the first Start.
    std::uint16_t Port() const { return m_uintPort.load(); }
    // "http://127.0.0.1:PORT"
    std::string BaseUrl() const;
    // BaseUrl() followed by DemoCatalog::kListPath: the value for FileList.
    std::string ListUrl() const;
    // Connections accepted since the last Start.
    int ConnectionCount() const { return m_intConnections.load(); }
    const DemoCatalog& Catalog() const { return m_catalog; }

private:
    using Clock = std::chrono::steady_clock;
    struct Connection;
    struct Request;

    // Serving thread only, from here on.
    void Serve();
    void RunLoop();
    void AcceptConnections(Clock::time_point now);
    // False when the connection is to be closed.
    bool ReadFrom(Connection& connection, Clock::time_point now);
    bool WriteTo(Connection& connection, Clock::time_point now);
    // Starts the answer to the next complete request in the input, if any.
    void HandleInput(Connection& connection, Clock::time_point now);
    void Answer(Connection& connection, const Request& request, Clock::time_point now);
    // 400, then the connection closes.
    void Refuse(Connection& connection);
    void BeginClosing(Connection& connection, Clock::time_point now);
    // An idle connection past its time-out, or a closing one past its linger.
    bool Expired(const Connection& connection, Clock::time_point now) const;
    // False for a head that is not a well-formed HTTP/1.0 or 1.1 request.
    static bool ParseRequest(std::string_view strHead, Request& request);
    // When the next body slice may be generated.
    Clock::time_point ReleaseTime(const Connection& connection) const;
    std::size_t SliceBytes() const;

    const DemoCatalog m_catalog;
    const std::uint64_t m_uintBytesPerSecond;

    std::atomic<std::uint16_t> m_uintPort{0};
    std::atomic<int> m_intConnections{0};
    std::atomic<bool> m_bStop{false};
    int m_hListen = -1;
    // An eventfd: written by Stop to end the serving thread's poll at once.
    int m_hWake = -1;
    std::thread m_thread;
    // Answered from the serving thread; fixed while it runs.
    std::string m_strListText;

    // Serving thread only.
    std::vector<std::unique_ptr<Connection>> m_connections;
    Clock::time_point m_acceptPausedUntil{};
};

}  // namespace pullbay::host
