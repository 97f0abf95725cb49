#include "support/ServerStream.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace pullbay::test::detail {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kLingerTime{1000};

class PlainStream final : public ServerStream {
 public:
  PlainStream(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}
  ~PlainStream() override { ::close(fd_); }

  bool Handshake() override { return true; }

  size_t Read(char* buffer, size_t capacity) override {
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, capacity, 0);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return 0;
      if (WaitReady(fd_, POLLIN, stopFd_) != Readiness::Ready) return 0;
    }
  }

  bool Write(std::string_view data) override {
    while (!data.empty()) {
      const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n > 0) {
        data.remove_prefix(static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (WaitReady(fd_, POLLOUT, stopFd_) != Readiness::Ready) return false;
        continue;
      }
      return false;
    }
    return true;
  }

  void CloseGracefully() override { LingeringShutdown(fd_, stopFd_); }
  void CloseAbruptly() override { LingeringShutdown(fd_, stopFd_); }

 private:
  int fd_;
  int stopFd_;
};

}  // namespace

Readiness WaitReady(int fd, short events, int stopFd, std::chrono::milliseconds timeout) {
  const bool bounded = timeout.count() >= 0;
  const auto deadline = Clock::now() + (bounded ? timeout : std::chrono::milliseconds(0));
  for (;;) {
    int waitMs = -1;
    if (bounded) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int rc = ::poll(fds, 2, waitMs);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return Readiness::Stopped;  // poll itself failing leaves nothing sensible to wait for
    }
    if (fds[1].revents != 0) return Readiness::Stopped;
    // POLLERR / POLLHUP count as ready: the next I/O call reports what happened.
    if (fds[0].revents != 0) return Readiness::Ready;
    if (rc == 0 && bounded) return Readiness::TimedOut;
  }
}

void LingeringShutdown(int fd, int stopFd) {
  ::shutdown(fd, SHUT_WR);
  const auto deadline = Clock::now() + kLingerTime;
  char sink[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
    if (n == 0) return;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    if (WaitReady(fd, POLLIN, stopFd, left) != Readiness::Ready) return;
  }
}

std::unique_ptr<ServerStream> MakePlainStream(int fd, int stopFd) { return std::make_unique<PlainStream>(fd, stopFd); }

}  // namespace pullbay::test::detail
