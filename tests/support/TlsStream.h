#pragma once
// The TLS stream of one connection of the HTTPS test server: non-blocking
// OpenSSL over the connection's SocketStream, every wait made through the
// socket stream, so the server's stop ends it at once. Used by the
// connection's thread only.
#include "loopback/IConnectionStream.h"
#include "loopback/SocketStream.h"

typedef struct ssl_st SSL;

namespace pullbay::test {

class TlsStream final : public loopback::IConnectionStream {
public:
    // Takes the socket and the SSL object bound to its descriptor.
    TlsStream(loopback::SocketStream&& socket, SSL* pSsl) noexcept;
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // The TLS accept.
    bool Open() override;
    std::size_t Read(char* pBuffer, std::size_t uintCapacity, Clock::time_point deadline) override;
    bool Write(std::string_view strBytes) override;
    // One close_notify out (the peer's answer is not awaited), then the
    // socket's orderly end.
    void CloseGracefully() override;
    // The socket's end without a close_notify.
    void CloseAbruptly() override;

private:
    // Runs a non-blocking OpenSSL call until it makes progress, waiting on
    // the socket in whichever direction OpenSSL asks for. Returns the call's
    // result, or -1 after an error, the stop or the deadline.
    template <typename Operation>
    int Drive(Operation operation, Clock::time_point deadline = Clock::time_point::max());

    loopback::SocketStream m_socket;
    SSL* m_pSsl;
    // Cleared by a fatal error, which forbids SSL_shutdown later.
    bool m_bHealthy = true;
};

}  // namespace pullbay::test
