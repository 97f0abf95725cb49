#pragma once
// The TLS side of the HTTPS test server: a server context (TLS 1.2 and
// newer) serving one TlsIdentity, which layers a TlsStream on the socket of
// each accepted connection. OpenSSL stays a dependency of the tests alone.
#include <memory>

#include "loopback/IConnectionStream.h"
#include "loopback/SocketStream.h"
#include "support/TlsIdentity.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace pullbay::test {

class TlsServerContext {
public:
    // Throws OpenSslError when the identity cannot be installed.
    explicit TlsServerContext(const TlsIdentity& identity);
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    // A TLS stream over the socket, whose Open runs the handshake; null
    // (the socket closed) when OpenSSL cannot set one up.
    std::unique_ptr<loopback::IConnectionStream> Accept(loopback::SocketStream&& socket) const;

private:
    SSL_CTX* m_pContext;
};

}  // namespace pullbay::test
