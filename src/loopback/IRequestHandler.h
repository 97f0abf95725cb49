#pragma once
// The part of a loopback server that decides what each request is answered
// with: the demo's catalogue, the tests' scripted routes. Answer runs on the
// connection threads, possibly concurrently with itself.
#include "loopback/HttpRequest.h"
#include "loopback/ResponseWriter.h"

namespace pullbay::loopback {

class IRequestHandler {
public:
    // How an answer left the connection.
    enum class Ending {
        // The response went out whole: the connection serves the next
        // request unless it closes after this one
        // (ResponseWriter::ClosesConnection), and then closes in order.
        Complete,
        // A fault on purpose: the connection ends without a protocol close
        // (no TLS close_notify), as a server that dies mid-response.
        CutShort,
        // The peer is gone or the server stops: the connection is released
        // as it is.
        Dropped,
    };

    virtual ~IRequestHandler() = default;

    // Writes the answer to a request whose body was skipped already. An
    // exception that escapes ends this connection only.
    virtual Ending Answer(const HttpRequest& request, ResponseWriter& writer) = 0;
};

}  // namespace pullbay::loopback
