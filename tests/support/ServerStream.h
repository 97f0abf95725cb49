#pragma once

// Byte streams of the test server's connections, plain TCP or TLS. Every
// blocking step polls the connection's socket together with the server's stop
// descriptor, so a stopping server ends each of them at once.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

namespace pullbay::test::detail {

enum class Readiness { Ready, Stopped, TimedOut };

// Waits until `fd` reports one of `events` (or an error), the stop descriptor
// becomes readable, or the timeout passes (negative: no timeout).
Readiness WaitReady(int fd, short events, int stopFd, std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

class ServerStream {
 public:
  virtual ~ServerStream() = default;
  ServerStream() = default;
  ServerStream(const ServerStream&) = delete;
  ServerStream& operator=(const ServerStream&) = delete;

  // Protocol setup (the TLS handshake); false: drop the connection.
  virtual bool Handshake() = 0;
  // Bytes read into `buffer`, or 0 on end of stream, error or stop.
  virtual size_t Read(char* buffer, size_t capacity) = 0;
  // Writes everything; false on error or stop.
  virtual bool Write(std::string_view data) = 0;
  // Orderly end (TLS close_notify, then FIN); lingers briefly reading what the
  // peer still sends, so unread input doesn't turn the close into a reset that
  // could destroy response bytes the peer hasn't read yet.
  virtual void CloseGracefully() = 0;
  // Fault injection: FIN without a TLS close_notify, as a server dying mid-response.
  virtual void CloseAbruptly() = 0;
};

// Takes ownership of the connected, non-blocking socket `fd`.
std::unique_ptr<ServerStream> MakePlainStream(int fd, int stopFd);

// Sends FIN, then reads and discards input until the peer's end of stream,
// the stop descriptor or a short deadline; the caller still closes `fd`.
void LingeringShutdown(int fd, int stopFd);

}  // namespace pullbay::test::detail
