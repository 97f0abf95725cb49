#pragma once
// The byte stream of one accepted connection: plain TCP (SocketStream) or a
// protocol layered on it, such as the tests' TLS. Every blocking step also
// waits for the server's stop signal, so a stopping server ends each one at
// once. Used by the connection's own thread only.
#include <chrono>
#include <cstddef>
#include <string_view>

namespace pullbay::loopback {

class IConnectionStream {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~IConnectionStream() = default;

    // Protocol setup before the first request (a TLS handshake); false: the
    // connection is dropped.
    virtual bool Open() = 0;
    // Bytes read into pBuffer; 0 at the end of the stream, on an error, on
    // stop, or when nothing arrived by the deadline.
    virtual std::size_t Read(char* pBuffer, std::size_t uintCapacity,
                             Clock::time_point deadline) = 0;
    // Writes every byte; false on an error or stop.
    virtual bool Write(std::string_view strBytes) = 0;
    // The orderly end (a TLS close_notify, then FIN). What the peer still
    // sends is read and dropped for a short while, so that unread input
    // does not turn the close into a reset that destroys response bytes the
    // peer has not read yet.
    virtual void CloseGracefully() = 0;
    // The end of a server that dies mid-response: FIN without a protocol
    // close (no TLS close_notify).
    virtual void CloseAbruptly() = 0;
};

}  // namespace pullbay::loopback
