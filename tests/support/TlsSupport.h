#pragma once

// TLS pieces of the test server: the server context built from a
// TlsIdentity and the TLS connection stream.

#include <memory>
#include <stdexcept>
#include <string>

#include "support/ServerStream.h"
#include "support/TlsIdentity.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace pullbay::test::detail {

// Carries `what` plus the reasons OpenSSL queued for the current thread.
class OpenSslError : public std::runtime_error {
 public:
  explicit OpenSslError(const std::string& what);
};

struct SslContextDeleter {
  void operator()(SSL_CTX* context) const;
};
using SslContextPtr = std::unique_ptr<SSL_CTX, SslContextDeleter>;

// A server context (TLS 1.2 and newer) serving `identity`; throws OpenSslError.
SslContextPtr MakeServerContext(const TlsIdentity& identity);

// Takes ownership of the connected, non-blocking socket `fd`; Handshake()
// runs the TLS accept.
std::unique_ptr<ServerStream> MakeTlsStream(int fd, int stopFd, SSL_CTX* context);

}  // namespace pullbay::test::detail
