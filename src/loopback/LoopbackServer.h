#pragma once
// A loopback HTTP/1.1 server: listens on 127.0.0.1 at a port the kernel
// picks and serves each connection on a thread of its own, with keep-alive
// and pipelined requests. Request heads are read by RequestParser (a
// malformed or oversized one is answered 400 and the connection closed),
// bodies framed by Content-Length are skipped ("100 Continue" first when the
// client expects it), and every answer is left to the request handler. Stop
// ends every connection at once, stalled and paced ones included.
//
// Threads: construct, Start and destroy on the owner's thread; Stop from any
// thread but the handler's calls. Port, BaseUrl and ConnectionCount from any
// thread. The server's threads block SIGPIPE: a vanished peer is an EPIPE
// for every stream, one that writes with write() (TLS) included.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "loopback/IConnectionStream.h"
#include "loopback/IRequestHandler.h"
#include "loopback/RequestParser.h"
#include "loopback/SocketStream.h"
#include "loopback/StopSignal.h"

namespace pullbay::loopback {

class LoopbackServer {
public:
    using Clock = std::chrono::steady_clock;
    // Builds a connection's stream over its socket (a protocol layer such as
    // TLS); null drops the connection. Runs on the accept thread.
    using StreamFactory = std::function<std::unique_ptr<IConnectionStream>(SocketStream&& socket)>;

    struct Options {
        // The request line and header fields together; a larger head is
        // refused with 400.
        std::size_t uintMaxHeadBytes = 64 * 1024;
        // Connections served at once; further ones wait in the listen
        // queue. 0: no limit.
        std::size_t uintMaxConnections = 0;
        // A connection that sends nothing for this long while it has no
        // request to answer is closed; zero: never.
        std::chrono::milliseconds idleTimeOut{0};
        // Empty: plain TCP.
        StreamFactory streamFactory;
    };

    // The handler must outlive the server's threads (until Stop returns).
    LoopbackServer(IRequestHandler& handler, Options options);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    LoopbackServer(LoopbackServer&&) = delete;
    LoopbackServer& operator=(LoopbackServer&&) = delete;

    // Binds, listens and starts accepting. While running, a further call
    // does nothing; after Stop it starts again on a new port. Throws a core
    // exception (by errno) when the socket cannot be set up.
    void Start();
    // Closes every connection and the listening socket, so that further
    // clients are refused; returns when every thread of the server has
    // ended. Idempotent.
    void Stop();

    // 0 before the first Start; after Stop, the port it had.
    std::uint16_t Port() const { return m_uintPort.load(); }
    // "http://127.0.0.1:PORT"
    std::string BaseUrl() const;
    // Connections accepted since the last Start.
    int ConnectionCount() const { return m_intConnections.load(); }

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> bFinished{false};
    };

    // Accept thread only, from here on.
    void AcceptLoop();
    // False when the server stops while the connection limit is reached.
    bool WaitForRoom();
    void Spawn(SocketStream&& socket, int intIndex);
    void ReapFinishedWorkers();

    // A connection's thread.
    void ServeConnection(IConnectionStream& stream, int intIndex);
    // False when the connection is to end: its end of stream, an error, the
    // idle time-out or the stop.
    bool Receive(IConnectionStream& stream, RequestParser& parser) const;
    bool SkipBody(IConnectionStream& stream, RequestParser& parser,
                  const HttpRequest& request) const;

    IRequestHandler& m_handler;
    const Options m_options;
    StopSignal m_stop;
    std::atomic<std::uint16_t> m_uintPort{0};
    std::atomic<int> m_intConnections{0};

    // Start and Stop one at a time.
    std::mutex m_controlMutex;
    int m_hListen = -1;
    std::thread m_acceptThread;
    // The accept thread's until Stop has joined it.
    std::list<Worker> m_workers;

    // Connections being served, for the limit.
    std::mutex m_roomMutex;
    std::condition_variable m_roomFreed;
    std::size_t m_uintLive = 0;
};

}  // namespace pullbay::loopback
