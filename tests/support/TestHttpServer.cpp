#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "support/ServerStream.h"
#include "support/TlsSupport.h"

namespace pullbay::test {

namespace {

using detail::ServerStream;

constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kReadChunk = 16 * 1024;

enum class Outcome {
  KeepOpen,  // ready for the next request
  Close,     // orderly close after a complete response
  Abort,     // fault injection: close without finishing
  Drop,      // stopped or broken: just release the socket
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::optional<uint64_t> ParseDecimal(std::string_view s) {
  uint64_t value = 0;
  if (s.empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// True when the comma-separated header value lists `token` (case-insensitive).
bool HasToken(const std::optional<std::string>& value, std::string_view token) {
  if (!value) return false;
  std::string_view rest = *value;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    if (EqualsIgnoreCase(Trim(rest.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

// Offset just past the blank line that ends the header block, if it is complete.
std::optional<size_t> FindHeaderEnd(const std::string& buffer) {
  for (size_t newline = buffer.find('\n'); newline != std::string::npos; newline = buffer.find('\n', newline + 1)) {
    if (newline + 1 < buffer.size() && buffer[newline + 1] == '\n') return newline + 2;
    if (newline + 2 < buffer.size() && buffer[newline + 1] == '\r' && buffer[newline + 2] == '\n') return newline + 3;
  }
  return std::nullopt;
}

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

struct ParsedHead {
  HttpRequest request;
  std::string version;
};

// Parses the request line and header fields; false when malformed.
bool ParseHead(std::string_view head, ParsedHead& parsed) {
  bool firstLine = true;
  while (!head.empty()) {
    const size_t newline = head.find('\n');
    std::string_view line = head.substr(0, newline);
    head.remove_prefix(newline == std::string_view::npos ? head.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    if (firstLine) {
      firstLine = false;
      const size_t first = line.find(' ');
      const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
      if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) return false;
      const std::string_view method = line.substr(0, first);
      const std::string_view target = line.substr(first + 1, second - first - 1);
      const std::string_view version = line.substr(second + 1);
      if (method.empty() || !std::all_of(method.begin(), method.end(), IsTokenChar) || target.empty() ||
          (version != "HTTP/1.1" && version != "HTTP/1.0")) {
        return false;
      }
      parsed.request.method = method;
      parsed.request.target = target;
      parsed.version = version;
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsTokenChar)) return false;  // also rejects obsolete line folding
    parsed.request.headers.emplace_back(std::string(name), std::string(Trim(line.substr(colon + 1))));
  }
  return !firstLine;
}

void BlockSigpipeOnThisThread() {
  // OpenSSL writes with write(), which has no MSG_NOSIGNAL; with SIGPIPE
  // blocked on the server's threads a vanished peer is only an EPIPE.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// What a Range request turns a 200 response into.
struct RangeResult {
  int status = 200;
  std::string_view body;
  std::string contentRange;
};

// Range: one "bytes=" range (first-last, first-, -suffix). Syntax it doesn't
// understand, several ranges and failed If-Range all serve the whole body.
RangeResult ApplyRange(const HttpResponse& response, const HttpRequest& request) {
  RangeResult result{200, response.body, {}};
  const std::optional<std::string> range = request.Header("Range");
  if (!range) return result;
  if (const std::optional<std::string> ifRange = request.Header("If-Range")) {
    const std::string_view validator = Trim(*ifRange);
    bool matches;
    if (validator.starts_with("W/")) {
      matches = false;  // weak validators never match for ranges
    } else if (validator.starts_with("\"")) {
      const std::optional<std::string> etag = response.Header("ETag");
      matches = etag && !std::string_view(*etag).starts_with("W/") && Trim(*etag) == validator;
    } else {
      const std::optional<std::string> lastModified = response.Header("Last-Modified");
      matches = lastModified && Trim(*lastModified) == validator;
    }
    if (!matches) return result;
  }

  std::string_view rangeText = Trim(*range);
  if (rangeText.size() < 6 || !EqualsIgnoreCase(rangeText.substr(0, 6), "bytes=")) return result;
  rangeText = Trim(rangeText.substr(6));
  const size_t dash = rangeText.find('-');
  if (dash == std::string_view::npos || rangeText.find(',') != std::string_view::npos) return result;
  const std::string_view firstText = Trim(rangeText.substr(0, dash));
  const std::string_view lastText = Trim(rangeText.substr(dash + 1));
  const uint64_t size = response.body.size();
  uint64_t first;
  uint64_t last;
  bool satisfiable;
  if (firstText.empty()) {
    const std::optional<uint64_t> suffix = ParseDecimal(lastText);
    if (!suffix) return result;
    satisfiable = *suffix > 0 && size > 0;
    first = size - std::min(*suffix, size);
    last = size == 0 ? 0 : size - 1;
  } else {
    const std::optional<uint64_t> from = ParseDecimal(firstText);
    const std::optional<uint64_t> to = lastText.empty() ? std::optional<uint64_t>(UINT64_MAX) : ParseDecimal(lastText);
    if (!from || !to || *to < *from) return result;
    satisfiable = *from < size;
    first = *from;
    last = std::min(*to, size == 0 ? 0 : size - 1);
  }
  if (!satisfiable) {
    result.status = 416;
    result.body = {};
    result.contentRange = "bytes */" + std::to_string(size);
    return result;
  }
  result.status = 206;
  result.body = std::string_view(response.body).substr(first, last - first + 1);
  result.contentRange = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size);
  return result;
}

std::string Hex(size_t value) {
  char digits[32];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value, 16);
  return std::string(digits, end);
}

}  // namespace

struct TestHttpServer::Impl {
  struct RouteEntry {
    std::shared_ptr<const HttpResponse> fixed;
    std::shared_ptr<const HttpHandler> handler;
  };

  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
  };

  explicit Impl(detail::SslContextPtr context);
  ~Impl();

  void Stop();
  void AcceptLoop();
  void ReapFinishedWorkers();
  void ServeConnection(std::unique_ptr<ServerStream> stream, int connectionIndex);
  Outcome Answer(ServerStream& stream, const HttpRequest& request, bool clientWantsClose);
  Outcome Send(ServerStream& stream, const HttpResponse& response, const HttpRequest& request, bool mustClose);
  // Waits `duration` (forever when nullopt) unless the server stops first;
  // false when it stopped.
  bool WaitUnlessStopped(std::optional<std::chrono::milliseconds> duration);

  const detail::SslContextPtr tls;
  int listenFd = -1;
  int stopFd = -1;
  uint16_t port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable requestArrived;
  std::condition_variable stopRequested;
  std::map<std::string, RouteEntry, std::less<>> routes;
  std::vector<HttpRequest> requests;
  int connections = 0;
  std::atomic<bool> stopping{false};  // written under `mutex`, read anywhere

  std::mutex stopMutex;
  bool stopped = false;
  std::thread acceptThread;
  std::list<Worker> workers;  // only the accept thread touches it until Stop() has joined that thread
};

TestHttpServer::Impl::Impl(detail::SslContextPtr context) : tls(std::move(context)) {
  stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int error = listenFd < 0 ? errno : 0;
  if (error == 0) {
    const int one = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd, SOMAXCONN) != 0 ||
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      error = errno;
    }
    port = ntohs(address.sin_port);
  }
  if (error != 0) {
    if (listenFd >= 0) ::close(listenFd);
    ::close(stopFd);
    throw std::system_error(error, std::generic_category(), "listening on 127.0.0.1");
  }
  try {
    acceptThread = std::thread([this] { AcceptLoop(); });
  } catch (...) {
    ::close(listenFd);
    ::close(stopFd);
    throw;
  }
}

TestHttpServer::Impl::~Impl() {
  Stop();
  ::close(stopFd);
}

void TestHttpServer::Impl::Stop() {
  std::lock_guard stopLock(stopMutex);
  if (stopped) return;
  stopped = true;
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  stopRequested.notify_all();
  requestArrived.notify_all();
  const uint64_t one = 1;
  while (::write(stopFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
  acceptThread.join();
  for (Worker& worker : workers) worker.thread.join();
  workers.clear();
  ::close(listenFd);
}

bool TestHttpServer::Impl::WaitUnlessStopped(std::optional<std::chrono::milliseconds> duration) {
  std::unique_lock lock(mutex);
  const auto stoppedNow = [this] { return stopping.load(); };
  if (duration) return !stopRequested.wait_for(lock, *duration, stoppedNow);
  stopRequested.wait(lock, stoppedNow);
  return false;
}

void TestHttpServer::Impl::ReapFinishedWorkers() {
  for (auto it = workers.begin(); it != workers.end();) {
    if (it->finished->load()) {
      it->thread.join();
      it = workers.erase(it);
    } else {
      ++it;
    }
  }
}

void TestHttpServer::Impl::AcceptLoop() {
  BlockSigpipeOnThisThread();  // inherited by the connection threads
  for (;;) {
    if (detail::WaitReady(listenFd, POLLIN, stopFd) != detail::Readiness::Ready) return;
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED || errno == EPROTO) {
        continue;
      }
      // Out of descriptors or memory: back off instead of spinning on poll.
      if (!WaitUnlessStopped(std::chrono::milliseconds(20))) return;
      continue;
    }
    ReapFinishedWorkers();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // no Nagle stall between head and body
    int index;
    {
      std::lock_guard lock(mutex);
      index = connections++;
    }
    std::unique_ptr<ServerStream> stream =
        tls ? detail::MakeTlsStream(fd, stopFd, tls.get()) : detail::MakePlainStream(fd, stopFd);
    if (!stream) continue;
    Worker& worker = workers.emplace_back();
    try {
      worker.thread = std::thread([this, index, finished = worker.finished, connection = std::move(stream)]() mutable {
        ServeConnection(std::move(connection), index);
        finished->store(true);
      });
    } catch (const std::system_error&) {
      workers.pop_back();  // the lambda, and with it the socket, is gone already
    }
  }
}

void TestHttpServer::Impl::ServeConnection(std::unique_ptr<ServerStream> stream, int connectionIndex) {
  BlockSigpipeOnThisThread();
  if (!stream->Handshake()) return;
  std::string buffer;
  char chunk[kReadChunk];
  const auto readMore = [&]() -> bool {
    const size_t n = stream->Read(chunk, sizeof chunk);
    buffer.append(chunk, n);
    return n > 0;
  };
  const auto refuse = [&](int status, std::string_view text) {
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + std::string(ReasonPhrase(status)) +
                         "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
                         "\r\nConnection: close\r\n\r\n" + std::string(text);
    if (stream->Write(answer)) stream->CloseGracefully();
  };

  while (!stopping) {
    std::optional<size_t> headEnd;
    for (;;) {
      // Empty lines before a request are tolerated.
      buffer.erase(0, std::min(buffer.find_first_not_of("\r\n"), buffer.size()));
      if ((headEnd = FindHeaderEnd(buffer))) break;
      if (buffer.size() > kMaxHeaderBytes) return refuse(431, "request header too large");
      if (!readMore()) return;
    }
    if (*headEnd > kMaxHeaderBytes) return refuse(431, "request header too large");

    ParsedHead parsed;
    if (!ParseHead(std::string_view(buffer).substr(0, *headEnd), parsed)) return refuse(400, "malformed request");
    buffer.erase(0, *headEnd);
    HttpRequest& request = parsed.request;
    request.connectionIndex = connectionIndex;

    // Request bodies are skipped, but only a Content-Length body can be
    // skipped exactly; any other framing ends the connection after the answer.
    bool clientWantsClose = parsed.version == "HTTP/1.0" || HasToken(request.Header("Connection"), "close");
    uint64_t bodyLeft = 0;
    if (request.Header("Transfer-Encoding")) {
      clientWantsClose = true;
    } else if (const std::optional<std::string> length = request.Header("Content-Length")) {
      const std::optional<uint64_t> value = ParseDecimal(Trim(*length));
      if (!value) return refuse(400, "bad Content-Length");
      bodyLeft = *value;
    }

    {
      std::lock_guard lock(mutex);
      requests.push_back(request);
    }
    requestArrived.notify_all();

    if (bodyLeft > buffer.size() && HasToken(request.Header("Expect"), "100-continue") &&
        !stream->Write("HTTP/1.1 100 Continue\r\n\r\n")) {
      return;
    }
    while (bodyLeft > 0) {
      if (buffer.empty() && !readMore()) return;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(bodyLeft, buffer.size()));
      buffer.erase(0, take);
      bodyLeft -= take;
    }

    switch (Answer(*stream, request, clientWantsClose)) {
      case Outcome::KeepOpen:
        break;
      case Outcome::Close:
        stream->CloseGracefully();
        return;
      case Outcome::Abort:
        stream->CloseAbruptly();
        return;
      case Outcome::Drop:
        return;
    }
  }
}

Outcome TestHttpServer::Impl::Answer(ServerStream& stream, const HttpRequest& request, bool clientWantsClose) {
  RouteEntry route;
  {
    std::lock_guard lock(mutex);
    if (const auto it = routes.find(request.Path()); it != routes.end()) route = it->second;
  }
  if (route.fixed) return Send(stream, *route.fixed, request, clientWantsClose);
  HttpResponse answer;
  if (route.handler) {
    try {
      answer = (*route.handler)(request);
    } catch (const std::exception& error) {
      answer = HttpResponse::Text(500, std::string("handler threw: ") + error.what());
    } catch (...) {
      answer = HttpResponse::Text(500, "handler threw");
    }
  } else {
    answer = HttpResponse::Text(404, "Not Found");
  }
  return Send(stream, answer, request, clientWantsClose);
}

Outcome TestHttpServer::Impl::Send(ServerStream& stream, const HttpResponse& response, const HttpRequest& request,
                                   bool mustClose) {
  if (response.neverRespond) {
    WaitUnlessStopped(std::nullopt);
    return Outcome::Drop;
  }
  if (response.delayBeforeHeaders.count() > 0 && !WaitUnlessStopped(response.delayBeforeHeaders)) {
    return Outcome::Drop;
  }

  RangeResult range{response.status, response.body, {}};
  if (response.honourRange && response.status == 200) range = ApplyRange(response, request);
  const std::string_view body = range.body;
  const int status = range.status;
  const bool bodyless = status < 200 || status == 204 || status == 304;
  const bool closeDelimited = !bodyless && !response.chunked && !response.sendContentLength;
  const bool close =
      mustClose || !response.keepAlive || closeDelimited || HasToken(response.Header("Connection"), "close");

  std::string head = "HTTP/1.1 " + std::to_string(status) + " ";
  head += status == response.status && !response.reason.empty() ? std::string_view(response.reason)
                                                                 : ReasonPhrase(status);
  head += "\r\n";
  if (!response.contentType.empty()) head += "Content-Type: " + response.contentType + "\r\n";
  for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
  if (response.honourRange) head += "Accept-Ranges: bytes\r\n";
  if (!range.contentRange.empty()) head += "Content-Range: " + range.contentRange + "\r\n";
  if (!bodyless) {
    if (response.chunked) {
      head += "Transfer-Encoding: chunked\r\n";
    } else if (response.sendContentLength) {
      head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
  }
  if (close && !HasToken(response.Header("Connection"), "close")) head += "Connection: close\r\n";
  head += "\r\n";
  if (!stream.Write(head)) return Outcome::Drop;
  if (bodyless || request.method == "HEAD") return close ? Outcome::Close : Outcome::KeepOpen;

  const size_t limit = std::min(response.closeAfterBodyBytes.value_or(body.size()), body.size());
  const size_t pieceSize = response.chunkSize == 0 ? std::max<size_t>(body.size(), 1) : response.chunkSize;
  for (size_t offset = 0; offset < body.size(); offset += pieceSize) {
    if (offset >= limit) return Outcome::Abort;
    if (offset > 0 && response.delayBetweenChunks.count() > 0 && !WaitUnlessStopped(response.delayBetweenChunks)) {
      return Outcome::Drop;
    }
    const std::string_view piece = body.substr(offset, pieceSize);
    const std::string_view allowed = piece.substr(0, limit - offset);
    bool written;
    if (response.chunked) {
      std::string frame = Hex(piece.size()) + "\r\n";
      frame += allowed;
      if (allowed.size() == piece.size()) frame += "\r\n";
      written = stream.Write(frame);
    } else {
      written = stream.Write(allowed);
    }
    if (!written) return Outcome::Drop;
    if (allowed.size() < piece.size()) return Outcome::Abort;
  }
  if (response.chunked && !stream.Write("0\r\n\r\n")) return Outcome::Drop;
  if (response.closeAfterBodyBytes) return Outcome::Abort;
  return close ? Outcome::Close : Outcome::KeepOpen;
}

TestHttpServer::TestHttpServer() : impl_(std::make_unique<Impl>(nullptr)) {}

TestHttpServer::TestHttpServer(TlsIdentity identity)
    : impl_(std::make_unique<Impl>(detail::MakeServerContext(identity))) {}

TestHttpServer::~TestHttpServer() = default;

uint16_t TestHttpServer::Port() const { return impl_->port; }

std::string TestHttpServer::BaseUrl() const {
  return (impl_->tls ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(impl_->port);
}

void TestHttpServer::Route(const std::string& path, HttpResponse response) {
  auto fixed = std::make_shared<const HttpResponse>(std::move(response));
  std::lock_guard lock(impl_->mutex);
  impl_->routes[path] = Impl::RouteEntry{std::move(fixed), nullptr};
}

void TestHttpServer::Route(const std::string& path, HttpHandler handler) {
  auto shared = std::make_shared<const HttpHandler>(std::move(handler));
  std::lock_guard lock(impl_->mutex);
  impl_->routes[path] = Impl::RouteEntry{nullptr, std::move(shared)};
}

std::vector<HttpRequest> TestHttpServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

size_t TestHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard lock(impl_->mutex);
  return static_cast<size_t>(std::count_if(impl_->requests.begin(), impl_->requests.end(),
                                           [&](const HttpRequest& request) { return request.Path() == path; }));
}

int TestHttpServer::ConnectionCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->connections;
}

bool TestHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->requestArrived.wait_for(lock, timeout, [&] { return impl_->requests.size() >= count; });
}

void TestHttpServer::Stop() { impl_->Stop(); }

}  // namespace pullbay::test
