#include "loopback/ResponseWriter.h"

#include <utility>

namespace pullbay::loopback {

ResponseWriter::ResponseWriter(IConnectionStream& stream, const StopSignal& stop,
                               const HttpRequest& request)
    : m_stream(stream), m_stop(stop), m_request(request), m_bClose(!request.bKeepAlive)
{
}

bool ResponseWriter::WriteHead(ResponseHead head, bool bClose)
{
    m_bClose = m_bClose || bClose;
    if (!head.Field("Connection")) {
        if (m_bClose) {
            head.Add("Connection", "close");
        } else if (m_request.bHttp10) {
            head.Add("Connection", "keep-alive");
        }
    }
    return Write(head.Text());
}

bool ResponseWriter::Write(std::string_view strBytes)
{
    return m_stream.Write(strBytes);
}

bool ResponseWriter::WaitUntil(Clock::time_point when) const
{
    return m_stop.WaitUntil(when);
}

bool ResponseWriter::WaitFor(std::chrono::milliseconds duration) const
{
    return m_stop.WaitUntil(Clock::now() + duration);
}

}  // namespace pullbay::loopback
