#pragma once
// What a request handler answers one request through: writes to the
// connection and pauses that the server's stop ends at once. It decides the
// Connection field of the head, so that the head and the connection's course
// agree. Lives for one request, on its connection's thread.
#include <chrono>
#include <string_view>

#include "loopback/HttpRequest.h"
#include "loopback/IConnectionStream.h"
#include "loopback/ResponseHead.h"
#include "loopback/StopSignal.h"

namespace pullbay::loopback {

class ResponseWriter {
public:
    using Clock = std::chrono::steady_clock;

    ResponseWriter(IConnectionStream& stream, const StopSignal& stop, const HttpRequest& request);
    ResponseWriter(const ResponseWriter&) = delete;
    ResponseWriter& operator=(const ResponseWriter&) = delete;

    // Writes the head. The connection closes after this response when
    // bClose is set or the request does not keep it; unless the head has a
    // Connection field of its own, "Connection: close" says so, and
    // "Connection: keep-alive" answers an HTTP/1.0 client that keeps it.
    // False when the peer is gone or the server stops.
    bool WriteHead(ResponseHead head, bool bClose);
    // Writes every byte; false when the peer is gone or the server stops.
    bool Write(std::string_view strBytes);
    // Pauses until then; false when the server stopped first.
    bool WaitUntil(Clock::time_point when) const;
    bool WaitFor(std::chrono::milliseconds duration) const;

    // Whether the connection ends after this response.
    bool ClosesConnection() const { return m_bClose; }

private:
    IConnectionStream& m_stream;
    const StopSignal& m_stop;
    const HttpRequest& m_request;
    bool m_bClose;
};

}  // namespace pullbay::loopback
