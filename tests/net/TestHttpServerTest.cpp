#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "loopback/FieldText.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

using namespace std::chrono_literals;

struct ParsedResponse {
    int intStatus = 0;
    loopback::FieldList headers;
    std::string strBody;
    std::vector<std::size_t> chunkSizes;

    std::optional<std::string> Header(std::string_view strName) const
    {
        return loopback::FindField(headers, strName);
    }
};

// A deliberately plain client: raw socket (optionally TLS), hand-parsed
// framing.
class RawClient {
public:
    explicit RawClient(std::uint16_t uintPort, SSL_CTX* pTls = nullptr)
        : m_hSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        // A broken server fails the test instead of hanging it.
        timeval limit{10, 0};
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uintPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
            0) {
            ::close(m_hSocket);
            throw std::runtime_error("connect failed");
        }
        if (pTls != nullptr) {
            m_pSsl = SSL_new(pTls);
            SSL_set_fd(m_pSsl, m_hSocket);
            SSL_set_tlsext_host_name(m_pSsl, "localhost");
            SSL_set1_host(m_pSsl, "localhost");
        }
    }
    ~RawClient()
    {
        SSL_free(m_pSsl);
        ::close(m_hSocket);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Handshake() { return SSL_connect(m_pSsl) == 1; }
    long VerifyResult() const { return SSL_get_verify_result(m_pSsl); }

    void Send(std::string_view strData)
    {
        if (m_pSsl != nullptr) {
            ASSERT_EQ(SSL_write(m_pSsl, strData.data(), static_cast<int>(strData.size())),
                      static_cast<int>(strData.size()));
        } else {
            ASSERT_EQ(::send(m_hSocket, strData.data(), strData.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(strData.size()));
        }
    }

    void Get(std::string_view strTarget, std::string_view strExtraHeaders = "",
             std::string_view strMethod = "GET")
    {
        Send(std::string(strMethod) + " " + std::string(strTarget) +
             " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + std::string(strExtraHeaders) + "\r\n");
    }

    // One response, framed by its headers; a HEAD response has no body.
    ParsedResponse Read(bool bHead = false)
    {
        ParsedResponse response;
        const std::string strStatusLine = Line();
        if (strStatusLine.size() < 12) {
            throw std::runtime_error("no status line: " + strStatusLine);
        }
        response.intStatus = std::stoi(strStatusLine.substr(9, 3));
        for (std::string strLine = Line(); !strLine.empty(); strLine = Line()) {
            const std::size_t uintColon = strLine.find(':');
            response.headers.emplace_back(
                strLine.substr(0, uintColon),
                strLine.substr(strLine.find_first_not_of(' ', uintColon + 1)));
        }
        const int intStatus = response.intStatus;
        if (bHead || intStatus == 204 || intStatus == 304) {
            return response;
        }
        if (response.Header("Transfer-Encoding") == "chunked") {
            for (;;) {
                const std::size_t uintSize = std::stoul(Line(), nullptr, 16);
                if (uintSize == 0) {
                    break;
                }
                response.chunkSizes.push_back(uintSize);
                response.strBody += Take(uintSize);
                if (!Line().empty()) {
                    throw std::runtime_error("chunk not followed by CRLF");
                }
            }
            if (!Line().empty()) {
                throw std::runtime_error("no CRLF after the last chunk");
            }
        } else if (const auto strLength = response.Header("Content-Length")) {
            response.strBody = Take(std::stoul(*strLength));
        } else {
            response.strBody = ReadUntilClose();
        }
        return response;
    }

    // Everything until the server closes (or the receive time-out).
    std::string ReadUntilClose()
    {
        while (Fill()) {
        }
        return std::exchange(m_strBuffer, {});
    }

    bool ServerClosed() { return m_strBuffer.empty() && !Fill() && m_bEndOfStream; }

private:
    bool Fill()
    {
        char chunk[16384];
        const int intRead = m_pSsl != nullptr
                                ? SSL_read(m_pSsl, chunk, sizeof chunk)
                                : static_cast<int>(::recv(m_hSocket, chunk, sizeof chunk, 0));
        if (intRead > 0) {
            m_strBuffer.append(chunk, static_cast<std::size_t>(intRead));
            return true;
        }
        m_bEndOfStream = intRead == 0 || (m_pSsl != nullptr &&
                                          SSL_get_error(m_pSsl, intRead) == SSL_ERROR_ZERO_RETURN);
        return false;
    }
    std::string Line()
    {
        std::size_t uintEnd = 0;
        while ((uintEnd = m_strBuffer.find("\r\n")) == std::string::npos) {
            if (!Fill()) {
                throw std::runtime_error("connection ended inside a line");
            }
        }
        std::string strLine = m_strBuffer.substr(0, uintEnd);
        m_strBuffer.erase(0, uintEnd + 2);
        return strLine;
    }
    std::string Take(std::size_t uintSize)
    {
        while (m_strBuffer.size() < uintSize) {
            if (!Fill()) {
                throw std::runtime_error("connection ended inside a body");
            }
        }
        std::string strData = m_strBuffer.substr(0, uintSize);
        m_strBuffer.erase(0, uintSize);
        return strData;
    }

    int m_hSocket;
    SSL* m_pSsl = nullptr;
    std::string m_strBuffer;
    bool m_bEndOfStream = false;
};

TEST(TestHttpServerTest, AnswersRoutesByPathUnknownPathsWith404AndHandlerFailuresWith500)
{
    TestHttpServer server;
    server.Route("/file", HttpResponse::Text(200, "hello"));
    server.Route("/echo", [](const HttpRequest& request) {
        return HttpResponse::Text(201, request.strTarget);
    });
    server.Route("/boom",
                 [](const HttpRequest&) -> HttpResponse { throw std::runtime_error("scripted"); });

    RawClient client(server.Port());
    client.Get("/file?version=2");
    ParsedResponse file = client.Read();
    EXPECT_EQ(file.intStatus, 200);
    EXPECT_EQ(file.strBody, "hello");
    EXPECT_EQ(file.Header("Content-Type"), "text/plain");

    client.Get("/file", "", "HEAD");
    ParsedResponse head = client.Read(/*bHead=*/true);
    EXPECT_EQ(head.intStatus, 200);
    EXPECT_EQ(head.Header("Content-Length"), "5");

    client.Get("/echo?a=b");
    EXPECT_EQ(client.Read().strBody, "/echo?a=b");

    client.Get("/missing");
    ParsedResponse missing = client.Read();
    EXPECT_EQ(missing.intStatus, 404);
    EXPECT_EQ(missing.strBody, "Not Found");

    client.Get("/boom");
    EXPECT_EQ(client.Read().intStatus, 500);

    EXPECT_EQ(server.RequestCount("/file"), 2u);
    EXPECT_EQ(server.RequestCount("/echo"), 1u);
}

TEST(TestHttpServerTest, KeepsConnectionsAliveUntilAResponseAsksToClose)
{
    TestHttpServer server;
    server.Route("/a", HttpResponse::Text(200, "first"));
    HttpResponse last = HttpResponse::Text(200, "last");
    last.keepAlive = false;
    server.Route("/last", last);

    RawClient first(server.Port());
    first.Get("/a");
    EXPECT_EQ(first.Read().strBody, "first");
    first.Get("/a");
    EXPECT_EQ(first.Read().strBody, "first");
    EXPECT_EQ(server.ConnectionCount(), 1);

    RawClient second(server.Port());
    second.Get("/last");
    ParsedResponse response = second.Read();
    EXPECT_EQ(response.strBody, "last");
    EXPECT_EQ(response.Header("Connection"), "close");
    EXPECT_TRUE(second.ServerClosed());

    const std::vector<HttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].intConnectionIndex, 0);
    EXPECT_EQ(requests[1].intConnectionIndex, 0);
    EXPECT_EQ(requests[2].intConnectionIndex, 1);
    EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(TestHttpServerTest, SkipsRequestBodiesAndAnswersPipelinedRequestsInOrder)
{
    TestHttpServer server;
    server.Route("/path", [](const HttpRequest& request) {
        return HttpResponse::Text(200, request.strTarget);
    });
    RawClient client(server.Port());
    // One write: a GET, a POST whose strBody must not be taken for a request, another GET.
    client.Send(
        "GET /path?1 HTTP/1.1\r\nHost: h\r\n\r\n"
        "POST /path?2 HTTP/1.1\r\nHost: h\r\nContent-Length: 26\r\n\r\nGET /smuggled HTTP/1.1\r\n\r\n"
        "GET /path?3 HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(client.Read().strBody, "/path?1");
    EXPECT_EQ(client.Read().strBody, "/path?2");
    EXPECT_EQ(client.Read().strBody, "/path?3");
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(TestHttpServerTest, RecordsRequestLineAndHeadersAsReceived)
{
    TestHttpServer server;
    RawClient client(server.Port());
    client.Send(
        "GET /dir/item?x=1&y=2 HTTP/1.1\r\nHost: h\r\nX-First: one\r\nx-second:   two  \r\n\r\n");
    ASSERT_TRUE(server.WaitForRequests(1, 10s));
    EXPECT_FALSE(server.WaitForRequests(2, 20ms));

    const HttpRequest request = server.Requests().at(0);
    EXPECT_EQ(request.strMethod, "GET");
    EXPECT_EQ(request.strTarget, "/dir/item?x=1&y=2");
    EXPECT_EQ(request.Path(), "/dir/item");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Host", "h"}, {"X-First", "one"}, {"x-second", "two"}};
    EXPECT_EQ(request.headers, expected);
    EXPECT_EQ(request.Header("X-SECOND"), "two");
    EXPECT_EQ(request.Header("X-Absent"), std::nullopt);
}

TEST(TestHttpServerTest, MalformedRequestGets400AndTheConnectionEnds)
{
    TestHttpServer server;
    RawClient client(server.Port());
    client.Send("GET /no-version\r\n\r\n");
    EXPECT_EQ(client.Read().intStatus, 400);
    EXPECT_TRUE(client.ServerClosed());
}

TEST(TestHttpServerTest, HonoursRangeAndIfRange)
{
    TestHttpServer server;
    const std::string strBody = PatternBytes(0, 1000);
    HttpResponse file = HttpResponse::Text(200, strBody, "application/octet-stream");
    file.honourRange = true;
    file.headers.emplace_back("ETag", "\"v1\"");
    server.Route("/file", file);
    RawClient client(server.Port());

    client.Get("/file", "Range: bytes=100-\r\n");
    ParsedResponse tail = client.Read();
    EXPECT_EQ(tail.intStatus, 206);
    EXPECT_EQ(tail.Header("Content-Range"), "bytes 100-999/1000");
    EXPECT_EQ(tail.Header("Accept-Ranges"), "bytes");
    EXPECT_EQ(tail.strBody, strBody.substr(100));

    client.Get("/file", "Range: bytes=1000-\r\n");
    ParsedResponse beyond = client.Read();
    EXPECT_EQ(beyond.intStatus, 416);
    EXPECT_EQ(beyond.Header("Content-Range"), "bytes */1000");
    EXPECT_EQ(beyond.strBody, "");

    client.Get("/file", "Range: bytes=10-19\r\nIf-Range: \"v1\"\r\n");
    ParsedResponse same = client.Read();
    EXPECT_EQ(same.intStatus, 206);
    EXPECT_EQ(same.strBody, strBody.substr(10, 10));

    client.Get("/file", "Range: bytes=10-\r\nIf-Range: \"v0\"\r\n");
    ParsedResponse changed = client.Read();
    EXPECT_EQ(changed.intStatus, 200);
    EXPECT_EQ(changed.Header("Content-Range"), std::nullopt);
    EXPECT_EQ(changed.strBody, strBody);
}

TEST(TestHttpServerTest, CloseAfterBodyBytesCutsTheBodyAtExactlyThatByte)
{
    TestHttpServer server;
    const std::string strBody = PatternBytes(0, 5000);
    HttpResponse cut = HttpResponse::Text(200, strBody);
    cut.chunkSize = 1000;
    cut.closeAfterBodyBytes = 1234;
    server.Route("/cut", cut);

    RawClient client(server.Port());
    client.Send("GET /cut HTTP/1.1\r\nHost: h\r\n\r\n");
    const std::string strRaw = client.ReadUntilClose();
    const std::size_t uintHeadEnd = strRaw.find("\r\n\r\n");
    ASSERT_NE(uintHeadEnd, std::string::npos);
    EXPECT_NE(strRaw.find("Content-Length: 5000\r\n"), std::string::npos);
    EXPECT_EQ(strRaw.substr(uintHeadEnd + 4), strBody.substr(0, 1234));
}

TEST(TestHttpServerTest, FramesChunkedAndCloseDelimitedBodies)
{
    TestHttpServer server;
    const std::string strBody = PatternBytes(0, 2500, 7);
    HttpResponse chunked = HttpResponse::Text(200, strBody);
    chunked.chunked = true;
    chunked.chunkSize = 1000;
    server.Route("/chunked", chunked);
    HttpResponse unframed = HttpResponse::Text(200, strBody);
    unframed.sendContentLength = false;
    server.Route("/unframed", unframed);

    RawClient client(server.Port());
    client.Get("/chunked");
    ParsedResponse response = client.Read();
    EXPECT_EQ(response.Header("Content-Length"), std::nullopt);
    EXPECT_EQ(response.chunkSizes, (std::vector<std::size_t>{1000, 1000, 500}));
    EXPECT_EQ(response.strBody, strBody);

    // The terminating chunk ended the strBody exactly: the connection stays usable.
    client.Get("/unframed");
    ParsedResponse closeDelimited = client.Read();
    EXPECT_EQ(closeDelimited.Header("Content-Length"), std::nullopt);
    EXPECT_EQ(closeDelimited.Header("Connection"), "close");
    EXPECT_EQ(closeDelimited.strBody, strBody);
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(TestHttpServerTest, StopEndsStalledAndDelayedResponsesAtOnce)
{
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

TEST(PatternBytesTest, IsPositionalAndDetectsShiftsAndSeeds)
{
    const std::string strWhole = PatternBytes(0, 10000);
    EXPECT_EQ(PatternBytes(1234, 777), strWhole.substr(1234, 777));
    EXPECT_EQ(PatternBytes(9999, 1), strWhole.substr(9999));
    EXPECT_NE(PatternBytes(1, 64), strWhole.substr(0, 64));
    EXPECT_NE(PatternBytes(0, 64, 1), strWhole.substr(0, 64));
    // No short period: a block copied from elsewhere in the file is caught.
    EXPECT_NE(strWhole.substr(0, 4096), strWhole.substr(4096, 4096));
}

struct ClientContext {
    explicit ClientContext(const std::string& strCaFile)
        : pContext(SSL_CTX_new(TLS_client_method()))
    {
        SSL_CTX_set_verify(pContext, SSL_VERIFY_PEER, nullptr);
        bLoaded = SSL_CTX_load_verify_locations(pContext, strCaFile.c_str(), nullptr) == 1;
    }
    ~ClientContext() { SSL_CTX_free(pContext); }
    ClientContext(const ClientContext&) = delete;
    ClientContext& operator=(const ClientContext&) = delete;

    SSL_CTX* pContext;
    bool bLoaded = false;
};

TEST(TestHttpServerTlsTest, ServesHttpsWithACertificateTheClientCanTrust)
{
    const TlsIdentity identity = TlsIdentity::SelfSigned();
    TestHttpServer server(identity);
    server.Route("/secure", HttpResponse::Text(200, "over tls"));
    EXPECT_EQ(server.BaseUrl(), "https://localhost:" + std::to_string(server.Port()));

    const TempFile caFile(identity.certificatePem, ".pem");
    ClientContext client(caFile.Path());
    ASSERT_TRUE(client.bLoaded);
    RawClient connection(server.Port(), client.pContext);
    ASSERT_TRUE(connection.Handshake()) << connection.VerifyResult();
    connection.Get("/secure");
    EXPECT_EQ(connection.Read().strBody, "over tls");
    connection.Get("/secure");
    EXPECT_EQ(connection.Read().strBody, "over tls");
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(TestHttpServerTlsTest, ExpiredOrMisnamedCertificatesFailVerification)
{
    const TlsIdentity expired = TlsIdentity::SelfSigned("localhost", /*bExpired=*/true);
    const TlsIdentity misnamed = TlsIdentity::SelfSigned("elsewhere.test");
    const std::pair<const TlsIdentity*, long> cases[] = {{&expired, X509_V_ERR_CERT_HAS_EXPIRED},
                                                         {&misnamed, X509_V_ERR_HOSTNAME_MISMATCH}};
    for (const auto& [identity, intExpectedError] : cases) {
        TestHttpServer server(*identity);
        const TempFile caFile(identity->certificatePem);
        ClientContext client(caFile.Path());
        RawClient connection(server.Port(), client.pContext);
        EXPECT_FALSE(connection.Handshake());
        EXPECT_EQ(connection.VerifyResult(), intExpectedError);
        ERR_clear_error();
    }
}

}  // namespace
}  // namespace pullbay::test
