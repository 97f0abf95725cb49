#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

using namespace std::chrono_literals;

struct ParsedResponse {
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::vector<size_t> chunkSizes;

  std::optional<std::string> Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
      if (EqualsIgnoreCase(key, name)) return value;
    }
    return std::nullopt;
  }
};

// A deliberately plain client: raw socket (optionally TLS), hand-parsed framing.
class RawClient {
 public:
  explicit RawClient(uint16_t port, SSL_CTX* tls = nullptr) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{10, 0};  // a broken server fails the test instead of hanging it
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      throw std::runtime_error("connect failed");
    }
    if (tls != nullptr) {
      ssl_ = SSL_new(tls);
      SSL_set_fd(ssl_, fd_);
      SSL_set_tlsext_host_name(ssl_, "localhost");
      SSL_set1_host(ssl_, "localhost");
    }
  }
  ~RawClient() {
    SSL_free(ssl_);
    ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Handshake() { return SSL_connect(ssl_) == 1; }
  long VerifyResult() const { return SSL_get_verify_result(ssl_); }

  void Send(std::string_view data) {
    if (ssl_ != nullptr) {
      ASSERT_EQ(SSL_write(ssl_, data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
    } else {
      ASSERT_EQ(::send(fd_, data.data(), data.size(), MSG_NOSIGNAL), static_cast<ssize_t>(data.size()));
    }
  }

  void Get(std::string_view target, std::string_view extraHeaders = "", std::string_view method = "GET") {
    Send(std::string(method) + " " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
         std::string(extraHeaders) + "\r\n");
  }

  // One response, framed by its headers; a HEAD response has no body.
  ParsedResponse Read(bool head = false) {
    ParsedResponse response;
    const std::string statusLine = Line();
    if (statusLine.size() < 12) throw std::runtime_error("no status line: " + statusLine);
    response.status = std::stoi(statusLine.substr(9, 3));
    for (std::string line = Line(); !line.empty(); line = Line()) {
      const size_t colon = line.find(':');
      response.headers.emplace_back(line.substr(0, colon), line.substr(line.find_first_not_of(' ', colon + 1)));
    }
    const int status = response.status;
    if (head || status == 204 || status == 304) return response;
    if (response.Header("Transfer-Encoding") == "chunked") {
      for (;;) {
        const size_t size = std::stoul(Line(), nullptr, 16);
        if (size == 0) break;
        response.chunkSizes.push_back(size);
        response.body += Take(size);
        if (Line() != "") throw std::runtime_error("chunk not followed by CRLF");
      }
      if (Line() != "") throw std::runtime_error("no CRLF after the last chunk");
    } else if (const auto length = response.Header("Content-Length")) {
      response.body = Take(std::stoul(*length));
    } else {
      response.body = ReadUntilClose();
    }
    return response;
  }

  // Everything until the server closes (or the receive timeout).
  std::string ReadUntilClose() {
    while (Fill()) {
    }
    return std::exchange(buffer_, {});
  }

  bool ServerClosed() { return buffer_.empty() && !Fill() && eof_; }

 private:
  bool Fill() {
    char chunk[16384];
    const int n = ssl_ != nullptr ? SSL_read(ssl_, chunk, sizeof chunk)
                                  : static_cast<int>(::recv(fd_, chunk, sizeof chunk, 0));
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
      return true;
    }
    eof_ = n == 0 || (ssl_ != nullptr && SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN);
    return false;
  }
  std::string Line() {
    size_t end;
    while ((end = buffer_.find("\r\n")) == std::string::npos) {
      if (!Fill()) throw std::runtime_error("connection ended inside a line");
    }
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 2);
    return line;
  }
  std::string Take(size_t size) {
    while (buffer_.size() < size) {
      if (!Fill()) throw std::runtime_error("connection ended inside a body");
    }
    std::string data = buffer_.substr(0, size);
    buffer_.erase(0, size);
    return data;
  }

  int fd_ = -1;
  SSL* ssl_ = nullptr;
  std::string buffer_;
  bool eof_ = false;
};

TEST(TestHttpServerTest, AnswersRoutesByPathUnknownPathsWith404AndHandlerFailuresWith500) {
  TestHttpServer server;
  server.Route("/file", HttpResponse::Text(200, "hello"));
  server.Route("/echo", [](const HttpRequest& request) { return HttpResponse::Text(201, request.target); });
  server.Route("/boom", [](const HttpRequest&) -> HttpResponse { throw std::runtime_error("scripted"); });

  RawClient client(server.Port());
  client.Get("/file?version=2");
  ParsedResponse file = client.Read();
  EXPECT_EQ(file.status, 200);
  EXPECT_EQ(file.body, "hello");
  EXPECT_EQ(file.Header("Content-Type"), "text/plain");

  client.Get("/file", "", "HEAD");
  ParsedResponse head = client.Read(/*head=*/true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("Content-Length"), "5");

  client.Get("/echo?a=b");
  EXPECT_EQ(client.Read().body, "/echo?a=b");

  client.Get("/missing");
  ParsedResponse missing = client.Read();
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, "Not Found");

  client.Get("/boom");
  EXPECT_EQ(client.Read().status, 500);

  EXPECT_EQ(server.RequestCount("/file"), 2u);
  EXPECT_EQ(server.RequestCount("/echo"), 1u);
}

TEST(TestHttpServerTest, KeepsConnectionsAliveUntilAResponseAsksToClose) {
  TestHttpServer server;
  server.Route("/a", HttpResponse::Text(200, "first"));
  HttpResponse last = HttpResponse::Text(200, "last");
  last.keepAlive = false;
  server.Route("/last", last);

  RawClient first(server.Port());
  first.Get("/a");
  EXPECT_EQ(first.Read().body, "first");
  first.Get("/a");
  EXPECT_EQ(first.Read().body, "first");
  EXPECT_EQ(server.ConnectionCount(), 1);

  RawClient second(server.Port());
  second.Get("/last");
  ParsedResponse response = second.Read();
  EXPECT_EQ(response.body, "last");
  EXPECT_EQ(response.Header("Connection"), "close");
  EXPECT_TRUE(second.ServerClosed());

  const std::vector<HttpRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].connectionIndex, 0);
  EXPECT_EQ(requests[1].connectionIndex, 0);
  EXPECT_EQ(requests[2].connectionIndex, 1);
  EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(TestHttpServerTest, SkipsRequestBodiesAndAnswersPipelinedRequestsInOrder) {
  TestHttpServer server;
  server.Route("/path", [](const HttpRequest& request) { return HttpResponse::Text(200, request.target); });
  RawClient client(server.Port());
  // One write: a GET, a POST whose body must not be taken for a request, another GET.
  client.Send(
      "GET /path?1 HTTP/1.1\r\nHost: h\r\n\r\n"
      "POST /path?2 HTTP/1.1\r\nHost: h\r\nContent-Length: 26\r\n\r\nGET /smuggled HTTP/1.1\r\n\r\n"
      "GET /path?3 HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(client.Read().body, "/path?1");
  EXPECT_EQ(client.Read().body, "/path?2");
  EXPECT_EQ(client.Read().body, "/path?3");
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(TestHttpServerTest, RecordsRequestLineAndHeadersAsReceived) {
  TestHttpServer server;
  RawClient client(server.Port());
  client.Send("GET /dir/item?x=1&y=2 HTTP/1.1\r\nHost: h\r\nX-First: one\r\nx-second:   two  \r\n\r\n");
  ASSERT_TRUE(server.WaitForRequests(1, 10s));
  EXPECT_FALSE(server.WaitForRequests(2, 20ms));

  const HttpRequest request = server.Requests().at(0);
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/dir/item?x=1&y=2");
  EXPECT_EQ(request.Path(), "/dir/item");
  const std::vector<std::pair<std::string, std::string>> expected{
      {"Host", "h"}, {"X-First", "one"}, {"x-second", "two"}};
  EXPECT_EQ(request.headers, expected);
  EXPECT_EQ(request.Header("X-SECOND"), "two");
  EXPECT_EQ(request.Header("X-Absent"), std::nullopt);
}

TEST(TestHttpServerTest, MalformedRequestGets400AndTheConnectionEnds) {
  TestHttpServer server;
  RawClient client(server.Port());
  client.Send("GET /no-version\r\n\r\n");
  EXPECT_EQ(client.Read().status, 400);
  EXPECT_TRUE(client.ServerClosed());
}

TEST(TestHttpServerTest, HonoursRangeAndIfRange) {
  TestHttpServer server;
  const std::string body = PatternBytes(0, 1000);
  HttpResponse file = HttpResponse::Text(200, body, "application/octet-stream");
  file.honourRange = true;
  file.headers.emplace_back("ETag", "\"v1\"");
  server.Route("/file", file);
  RawClient client(server.Port());

  client.Get("/file", "Range: bytes=100-\r\n");
  ParsedResponse tail = client.Read();
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.Header("Content-Range"), "bytes 100-999/1000");
  EXPECT_EQ(tail.Header("Accept-Ranges"), "bytes");
  EXPECT_EQ(tail.body, body.substr(100));

  client.Get("/file", "Range: bytes=1000-\r\n");
  ParsedResponse beyond = client.Read();
  EXPECT_EQ(beyond.status, 416);
  EXPECT_EQ(beyond.Header("Content-Range"), "bytes */1000");
  EXPECT_EQ(beyond.body, "");

  client.Get("/file", "Range: bytes=10-19\r\nIf-Range: \"v1\"\r\n");
  ParsedResponse same = client.Read();
  EXPECT_EQ(same.status, 206);
  EXPECT_EQ(same.body, body.substr(10, 10));

  client.Get("/file", "Range: bytes=10-\r\nIf-Range: \"v0\"\r\n");
  ParsedResponse changed = client.Read();
  EXPECT_EQ(changed.status, 200);
  EXPECT_EQ(changed.Header("Content-Range"), std::nullopt);
  EXPECT_EQ(changed.body, body);
}

TEST(TestHttpServerTest, CloseAfterBodyBytesCutsTheBodyAtExactlyThatByte) {
  TestHttpServer server;
  const std::string body = PatternBytes(0, 5000);
  HttpResponse cut = HttpResponse::Text(200, body);
  cut.chunkSize = 1000;
  cut.closeAfterBodyBytes = 1234;
  server.Route("/cut", cut);

  RawClient client(server.Port());
  client.Send("GET /cut HTTP/1.1\r\nHost: h\r\n\r\n");
  const std::string raw = client.ReadUntilClose();
  const size_t headEnd = raw.find("\r\n\r\n");
  ASSERT_NE(headEnd, std::string::npos);
  EXPECT_NE(raw.find("Content-Length: 5000\r\n"), std::string::npos);
  EXPECT_EQ(raw.substr(headEnd + 4), body.substr(0, 1234));
}

TEST(TestHttpServerTest, FramesChunkedAndCloseDelimitedBodies) {
  TestHttpServer server;
  const std::string body = PatternBytes(0, 2500, 7);
  HttpResponse chunked = HttpResponse::Text(200, body);
  chunked.chunked = true;
  chunked.chunkSize = 1000;
  server.Route("/chunked", chunked);
  HttpResponse unframed = HttpResponse::Text(200, body);
  unframed.sendContentLength = false;
  server.Route("/unframed", unframed);

  RawClient client(server.Port());
  client.Get("/chunked");
  ParsedResponse response = client.Read();
  EXPECT_EQ(response.Header("Content-Length"), std::nullopt);
  EXPECT_EQ(response.chunkSizes, (std::vector<size_t>{1000, 1000, 500}));
  EXPECT_EQ(response.body, body);

  // The terminating chunk ended the body exactly: the connection stays usable.
  client.Get("/unframed");
  ParsedResponse closeDelimited = client.Read();
  EXPECT_EQ(closeDelimited.Header("Content-Length"), std::nullopt);
  EXPECT_EQ(closeDelimited.Header("Connection"), "close");
  EXPECT_EQ(closeDelimited.body, body);
  EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(TestHttpServerTest, StopEndsStalledAndDelayedResponsesAtOnce) {
  TestHttpServer server;
  HttpResponse stall;
  stall.neverRespond = true;
  server.Route("/stall", stall);
  HttpResponse slow = HttpResponse::Text(200, "late");
  slow.delayBeforeHeaders = 60s;
  server.Route("/slow", slow);

  RawClient stalled(server.Port());
  stalled.Get("/stall");
  RawClient delayed(server.Port());
  delayed.Get("/slow");
  ASSERT_TRUE(server.WaitForRequests(2, 10s));

  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(stalled.ReadUntilClose(), "");
  EXPECT_EQ(delayed.ReadUntilClose(), "");
  server.Stop();
}

TEST(PatternBytesTest, IsPositionalAndDetectsShiftsAndSeeds) {
  const std::string whole = PatternBytes(0, 10000);
  EXPECT_EQ(PatternBytes(1234, 777), whole.substr(1234, 777));
  EXPECT_EQ(PatternBytes(9999, 1), whole.substr(9999));
  EXPECT_NE(PatternBytes(1, 64), whole.substr(0, 64));
  EXPECT_NE(PatternBytes(0, 64, 1), whole.substr(0, 64));
  // No short period: a block copied from elsewhere in the file is caught.
  EXPECT_NE(whole.substr(0, 4096), whole.substr(4096, 4096));
}

struct ClientContext {
  explicit ClientContext(const std::string& caFile) : context(SSL_CTX_new(TLS_client_method())) {
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    loaded = SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) == 1;
  }
  ~ClientContext() { SSL_CTX_free(context); }
  ClientContext(const ClientContext&) = delete;
  ClientContext& operator=(const ClientContext&) = delete;
  SSL_CTX* context;
  bool loaded = false;
};

TEST(TestHttpServerTlsTest, ServesHttpsWithACertificateTheClientCanTrust) {
  const TlsIdentity identity = TlsIdentity::SelfSigned();
  TestHttpServer server(identity);
  server.Route("/secure", HttpResponse::Text(200, "over tls"));
  EXPECT_EQ(server.BaseUrl(), "https://localhost:" + std::to_string(server.Port()));

  const TempFile caFile(identity.certificatePem, ".pem");
  ClientContext client(caFile.Path());
  ASSERT_TRUE(client.loaded);
  RawClient connection(server.Port(), client.context);
  ASSERT_TRUE(connection.Handshake()) << connection.VerifyResult();
  connection.Get("/secure");
  EXPECT_EQ(connection.Read().body, "over tls");
  connection.Get("/secure");
  EXPECT_EQ(connection.Read().body, "over tls");
  EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(TestHttpServerTlsTest, ExpiredOrMisnamedCertificatesFailVerification) {
  const TlsIdentity expired = TlsIdentity::SelfSigned("localhost", /*expired=*/true);
  const TlsIdentity misnamed = TlsIdentity::SelfSigned("elsewhere.test");
  const std::pair<const TlsIdentity*, long> cases[] = {{&expired, X509_V_ERR_CERT_HAS_EXPIRED},
                                                       {&misnamed, X509_V_ERR_HOSTNAME_MISMATCH}};
  for (const auto& [identity, expectedError] : cases) {
    TestHttpServer server(*identity);
    const TempFile caFile(identity->certificatePem);
    ClientContext client(caFile.Path());
    RawClient connection(server.Port(), client.context);
    EXPECT_FALSE(connection.Handshake());
    EXPECT_EQ(connection.VerifyResult(), expectedError);
    ERR_clear_error();
  }
}

}  // namespace
}  // namespace pullbay::test
