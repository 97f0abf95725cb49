#pragma once
// A plain socket client for the loopback servers' tests: it sends exactly
// the bytes it is given (malformed requests, requests in pieces) and reads
// responses framed by Content-Length. Sends and receives give up after five
// seconds, so a broken server fails a test instead of hanging it. Used on
// one thread.
#include <cstdint>
#include <string>

namespace pullbay::test {

class RawHttpClient {
public:
    struct Response {
        // -1 when the response did not arrive whole.
        int intStatus = 0;
        // The status line and header fields, through the blank line.
        std::string strHead;
        std::string strBody;
    };

    // Connects to 127.0.0.1 at the port; a refused connection makes every
    // Send fail.
    explicit RawHttpClient(std::uint16_t uintPort);
    ~RawHttpClient();
    RawHttpClient(const RawHttpClient&) = delete;
    RawHttpClient& operator=(const RawHttpClient&) = delete;

    // False when not every byte went out.
    bool Send(const std::string& strBytes);
    // The next response; a HEAD response has no body.
    Response Read(bool bHead = false);
    // The server closed the connection, and sent nothing more before.
    bool ReadsEndOfStream();

private:
    bool Receive();

    int m_h;
    bool m_bConnected = false;
    std::string m_strBuffer;
};

}  // namespace pullbay::test
