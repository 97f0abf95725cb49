// The loopback server's own duties, apart from any handler: a request that
// arrives in several reads is answered once, a handler's failure ends its
// connection only, idle connections are closed and the connection limit
// makes further clients wait, and a stopped server starts again.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "loopback/IRequestHandler.h"
#include "loopback/LoopbackServer.h"
#include "loopback/ResponseHead.h"
#include "support/RawHttpClient.h"

namespace pullbay::test {
namespace {

using loopback::HttpRequest;
using loopback::LoopbackServer;
using loopback::ResponseWriter;
using namespace std::chrono_literals;

// Answers every request with its target; "/throw" throws instead.
class EchoHandler : public loopback::IRequestHandler {
public:
    Ending Answer(const HttpRequest& request, ResponseWriter& writer) override
    {
        if (request.Path() == "/throw") {
            throw std::runtime_error("scripted handler failure");
        }
        loopback::ResponseHead head(200);
        head.Add("Content-Type", "text/plain");
        head.AddContentLength(request.strTarget.size());
        return writer.WriteHead(head, false) && writer.Write(request.strTarget) ? Ending::Complete
                                                                                : Ending::Dropped;
    }
};

std::string Get(const std::string& strTarget)
{
    return "GET " + strTarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

TEST(LoopbackServerTest, ARequestArrivingInPiecesIsAnsweredOnce)
{
    EchoHandler handler;
    LoopbackServer server(handler, LoopbackServer::Options());
    server.Start();
    RawHttpClient client(server.Port());

    const std::string strRequest = "\r\n" + Get("/split?x=1");
    for (std::size_t uintOffset = 0; uintOffset < strRequest.size(); uintOffset += 5) {
        ASSERT_TRUE(client.Send(strRequest.substr(uintOffset, 5)));
        // Each piece a read of its own.
        std::this_thread::sleep_for(2ms);
    }
    const RawHttpClient::Response response = client.Read();
    EXPECT_EQ(response.intStatus, 200);
    EXPECT_EQ(response.strBody, "/split?x=1");

    ASSERT_TRUE(client.Send(Get("/next")));
    EXPECT_EQ(client.Read().strBody, "/next");
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(LoopbackServerTest, AHandlerFailureEndsItsConnectionOnly)
{
    EchoHandler handler;
    LoopbackServer server(handler, LoopbackServer::Options());
    server.Start();

    RawHttpClient failing(server.Port());
    ASSERT_TRUE(failing.Send(Get("/throw")));
    EXPECT_TRUE(failing.ReadsEndOfStream());

    RawHttpClient next(server.Port());
    ASSERT_TRUE(next.Send(Get("/after")));
    EXPECT_EQ(next.Read().strBody, "/after");
}

TEST(LoopbackServerTest, IdleConnectionsCloseAndClientsBeyondTheLimitWait)
{
    EchoHandler handler;
    LoopbackServer::Options options;
    options.uintMaxConnections = 1;
    options.idleTimeOut = 300ms;
    LoopbackServer server(handler, options);
    server.Start();

    RawHttpClient idle(server.Port());
    for (int i = 0; i < 1000 && server.ConnectionCount() == 0; ++i) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(server.ConnectionCount(), 1);
    const auto start = std::chrono::steady_clock::now();

    // Waits in the listen queue until the idle connection is closed.
    RawHttpClient waiting(server.Port());
    ASSERT_TRUE(waiting.Send(Get("/waited")));
    const RawHttpClient::Response response = waiting.Read();
    EXPECT_EQ(response.intStatus, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
    EXPECT_TRUE(idle.ReadsEndOfStream());
    EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(LoopbackServerTest, AStoppedServerRefusesClientsAndStartsAgain)
{
    EchoHandler handler;
    LoopbackServer server(handler, LoopbackServer::Options());
    server.Start();
    const std::uint16_t uintFirstPort = server.Port();
    RawHttpClient before(uintFirstPort);
    ASSERT_TRUE(before.Send(Get("/before")));
    EXPECT_EQ(before.Read().intStatus, 200);

    server.Stop();
    server.Stop();
    EXPECT_EQ(server.Port(), uintFirstPort);
    EXPECT_TRUE(before.ReadsEndOfStream());
    RawHttpClient refused(uintFirstPort);
    EXPECT_FALSE(refused.Send(Get("/refused")));

    server.Start();
    EXPECT_NE(server.Port(), 0);
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_EQ(server.BaseUrl(), "http://127.0.0.1:" + std::to_string(server.Port()));
    RawHttpClient after(server.Port());
    ASSERT_TRUE(after.Send(Get("/after")));
    EXPECT_EQ(after.Read().strBody, "/after");
}

}  // namespace
}  // namespace pullbay::test
