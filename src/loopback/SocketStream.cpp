#include "loopback/SocketStream.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace pullbay::loopback {

namespace {

using namespace std::chrono_literals;

// A connection being closed gets this long to take its last bytes and to
// send what it still had in flight.
constexpr auto kLingerTime = 2s;

bool WouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

}  // namespace

SocketStream::SocketStream(int hSocket, const StopSignal& stop) noexcept
    : m_hSocket(hSocket), m_pStop(&stop)
{
}

SocketStream::SocketStream(SocketStream&& other) noexcept
    : m_hSocket(std::exchange(other.m_hSocket, -1)), m_pStop(other.m_pStop)
{
}

SocketStream::~SocketStream()
{
    if (m_hSocket >= 0) {
        ::close(m_hSocket);
    }
}

bool SocketStream::Open()
{
    return true;
}

std::size_t SocketStream::Read(char* pBuffer, std::size_t uintCapacity, Clock::time_point deadline)
{
    for (;;) {
        const ssize_t intRead = ::recv(m_hSocket, pBuffer, uintCapacity, 0);
        if (intRead >= 0) {
            return static_cast<std::size_t>(intRead);
        }
        if (errno == EINTR) {
            continue;
        }
        if (!WouldBlock() || WaitReady(POLLIN, deadline) != StopSignal::Readiness::Ready) {
            return 0;
        }
    }
}

bool SocketStream::Write(std::string_view strBytes)
{
    while (!strBytes.empty()) {
        const ssize_t intSent = ::send(m_hSocket, strBytes.data(), strBytes.size(), MSG_NOSIGNAL);
        if (intSent >= 0) {
            strBytes.remove_prefix(static_cast<std::size_t>(intSent));
        } else if (errno == EINTR) {
            continue;
        } else if (!WouldBlock() || WaitReady(POLLOUT) != StopSignal::Readiness::Ready) {
            return false;
        }
    }
    return true;
}

void SocketStream::CloseGracefully()
{
    ::shutdown(m_hSocket, SHUT_WR);
    const Clock::time_point deadline = Clock::now() + kLingerTime;
    char sink[4096];
    // Until the peer's end of stream, the stop or the deadline; a peer that
    // keeps sending is cut off at the deadline too.
    while (Clock::now() < deadline) {
        const ssize_t intRead = ::recv(m_hSocket, sink, sizeof sink, 0);
        if (intRead == 0) {
            return;
        }
        if (intRead > 0 || errno == EINTR) {
            continue;
        }
        if (!WouldBlock() || WaitReady(POLLIN, deadline) != StopSignal::Readiness::Ready) {
            return;
        }
    }
}

void SocketStream::CloseAbruptly()
{
    CloseGracefully();
}

StopSignal::Readiness SocketStream::WaitReady(short intEvents, Clock::time_point deadline) const
{
    return m_pStop->WaitReady(m_hSocket, intEvents, deadline);
}

}  // namespace pullbay::loopback
