#include "loopback/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "core/ThrowSite.h"
#include "core/Win32Errors.h"
#include "loopback/FieldText.h"
#include "loopback/ResponseHead.h"
#include "loopback/ResponseWriter.h"

namespace pullbay::loopback {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kReadBytes = 16 * 1024;
// Out of descriptors or memory: accepting is retried after this pause
// instead of spinning on a listen socket that stays readable.
constexpr auto kAcceptPause = 100ms;

constexpr std::string_view kBadRequestText = "Bad Request\n";

void BlockSigpipe()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void ThrowSocketFailure(int intErrno)
{
    core::ThrowErrnoException(intErrno != 0 ? intErrno : EIO, L"LoopbackServer listen:");
}

// 400, then the orderly close: what the client still sends is taken in, so
// that it reads the answer instead of a reset.
void Refuse(IConnectionStream& stream)
{
    ResponseHead head(400);
    head.Add("Content-Type", "text/plain; charset=utf-8");
    head.AddContentLength(kBadRequestText.size());
    head.Add("Connection", "close");
    if (stream.Write(head.Text() + std::string(kBadRequestText))) {
        stream.CloseGracefully();
    }
}

}  // namespace

LoopbackServer::LoopbackServer(IRequestHandler& handler, Options options)
    : m_handler(handler), m_options(std::move(options))
{
}

LoopbackServer::~LoopbackServer()
{
    Stop();
}

void LoopbackServer::Start()
{
    std::lock_guard lock(m_controlMutex);
    if (m_acceptThread.joinable()) {
        return;
    }
    const int hListen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (hListen < 0) {
        ThrowSocketFailure(errno);
    }
    const int intOne = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uintAddressLength = sizeof address;
    if (::setsockopt(hListen, SOL_SOCKET, SO_REUSEADDR, &intOne, sizeof intOne) != 0 ||
        ::bind(hListen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(hListen, SOMAXCONN) != 0 ||
        ::getsockname(hListen, reinterpret_cast<sockaddr*>(&address), &uintAddressLength) != 0) {
        const int intErrno = errno;
        ::close(hListen);
        ThrowSocketFailure(intErrno);
    }

    m_stop.Clear();
    m_intConnections = 0;
    m_uintPort = ntohs(address.sin_port);
    m_hListen = hListen;
    try {
        m_acceptThread = std::thread(&LoopbackServer::AcceptLoop, this);
    } catch (...) {
        core::RecordForeignFailure();
        ::close(m_hListen);
        m_hListen = -1;
        throw;
    }
}

void LoopbackServer::Stop()
{
    std::lock_guard lock(m_controlMutex);
    if (!m_acceptThread.joinable()) {
        return;
    }
    m_stop.Raise();
    {
        // Taken so that the accept thread is either before its check of
        // the signal or inside its wait, where the notification reaches it.
        std::lock_guard room(m_roomMutex);
    }
    m_roomFreed.notify_all();
    m_acceptThread.join();
    for (Worker& worker : m_workers) {
        worker.thread.join();
    }
    m_workers.clear();
    ::close(m_hListen);
    m_hListen = -1;
}

std::string LoopbackServer::BaseUrl() const
{
    return "http://127.0.0.1:" + DecimalText(Port());
}

void LoopbackServer::AcceptLoop()
{
    // Inherited by the connection threads.
    BlockSigpipe();
    while (WaitForRoom() && m_stop.WaitReady(m_hListen, POLLIN) == StopSignal::Readiness::Ready) {
        const int hSocket = ::accept4(m_hListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (hSocket < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK ||
                errno == ECONNABORTED || errno == EPROTO) {
                continue;
            }
            if (!m_stop.WaitUntil(Clock::now() + kAcceptPause)) {
                return;
            }
            continue;
        }
        ReapFinishedWorkers();
        // No Nagle stall between a head and its body.
        const int intOne = 1;
        ::setsockopt(hSocket, IPPROTO_TCP, TCP_NODELAY, &intOne, sizeof intOne);
        const int intIndex = m_intConnections++;
        try {
            Spawn(SocketStream(hSocket, m_stop), intIndex);
        } catch (...) {
            // That connection is dropped, its socket closed with its
            // stream; serving goes on.
            core::RecordForeignFailure();
        }
    }
}

bool LoopbackServer::WaitForRoom()
{
    if (m_options.uintMaxConnections == 0) {
        return !m_stop.IsRaised();
    }
    std::unique_lock lock(m_roomMutex);
    m_roomFreed.wait(
        lock, [&] { return m_uintLive < m_options.uintMaxConnections || m_stop.IsRaised(); });
    return !m_stop.IsRaised();
}

void LoopbackServer::Spawn(SocketStream&& socket, int intIndex)
{
    std::unique_ptr<IConnectionStream> pStream =
        m_options.streamFactory ? m_options.streamFactory(std::move(socket))
                                : std::make_unique<SocketStream>(std::move(socket));
    if (!pStream) {
        return;
    }
    Worker& worker = m_workers.emplace_back();
    {
        std::lock_guard lock(m_roomMutex);
        ++m_uintLive;
    }
    try {
        worker.thread =
            std::thread([this, &worker, intIndex, pConnection = std::move(pStream)]() mutable {
                try {
                    ServeConnection(*pConnection, intIndex);
                } catch (...) {
                    // The thread's boundary: this connection ends, no other.
                    core::RecordForeignFailure();
                }
                pConnection.reset();
                {
                    std::lock_guard lock(m_roomMutex);
                    --m_uintLive;
                }
                m_roomFreed.notify_all();
                worker.bFinished = true;
            });
    } catch (...) {
        m_workers.pop_back();
        std::lock_guard lock(m_roomMutex);
        --m_uintLive;
        throw;
    }
}

void LoopbackServer::ReapFinishedWorkers()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->bFinished.load()) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void LoopbackServer::ServeConnection(IConnectionStream& stream, int intIndex)
{
    if (!stream.Open()) {
        return;
    }
    RequestParser parser(m_options.uintMaxHeadBytes);
    while (!m_stop.IsRaised()) {
        HttpRequest request;
        RequestParser::Result result = parser.Next(request);
        while (result == RequestParser::Result::NeedMore) {
            if (!Receive(stream, parser)) {
                return;
            }
            result = parser.Next(request);
        }
        if (result == RequestParser::Result::Malformed) {
            Refuse(stream);
            return;
        }
        request.intConnectionIndex = intIndex;
        if (!SkipBody(stream, parser, request)) {
            return;
        }
        ResponseWriter writer(stream, m_stop, request);
        switch (m_handler.Answer(request, writer)) {
        case IRequestHandler::Ending::Complete:
            if (writer.ClosesConnection()) {
                stream.CloseGracefully();
                return;
            }
            break;
        case IRequestHandler::Ending::CutShort:
            stream.CloseAbruptly();
            return;
        case IRequestHandler::Ending::Dropped:
            return;
        }
    }
}

bool LoopbackServer::Receive(IConnectionStream& stream, RequestParser& parser) const
{
    char buffer[kReadBytes];
    const Clock::time_point deadline = m_options.idleTimeOut.count() > 0
                                           ? Clock::now() + m_options.idleTimeOut
                                           : Clock::time_point::max();
    const std::size_t uintRead = stream.Read(buffer, sizeof buffer, deadline);
    if (uintRead == 0) {
        return false;
    }
    parser.Append(std::string_view(buffer, uintRead));
    return true;
}

bool LoopbackServer::SkipBody(IConnectionStream& stream, RequestParser& parser,
                              const HttpRequest& request) const
{
    std::uint64_t uintLeft = request.uintContentLength;
    if (uintLeft > parser.Buffered()) {
        const std::optional<std::string> strExpect = request.Header("Expect");
        if (strExpect && HasListToken(*strExpect, "100-continue") &&
            !stream.Write("HTTP/1.1 100 Continue\r\n\r\n")) {
            return false;
        }
    }
    for (;;) {
        uintLeft -= parser.DropBody(uintLeft);
        if (uintLeft == 0) {
            return true;
        }
        if (!Receive(stream, parser)) {
            return false;
        }
    }
}

}  // namespace pullbay::loopback
