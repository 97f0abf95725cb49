#include "support/TlsStream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>

#include <cerrno>
#include <climits>
#include <utility>

namespace pullbay::test {

namespace {

using loopback::StopSignal;

int ClampToInt(std::size_t uintSize)
{
    return uintSize > INT_MAX ? INT_MAX : static_cast<int>(uintSize);
}

}  // namespace

TlsStream::TlsStream(loopback::SocketStream&& socket, SSL* pSsl) noexcept
    : m_socket(std::move(socket)), m_pSsl(pSsl)
{
}

TlsStream::~TlsStream()
{
    SSL_free(m_pSsl);
}

template <typename Operation>
int TlsStream::Drive(Operation operation, Clock::time_point deadline)
{
    while (m_bHealthy) {
        ERR_clear_error();
        errno = 0;
        const int intResult = operation();
        if (intResult > 0) {
            return intResult;
        }
        switch (SSL_get_error(m_pSsl, intResult)) {
        case SSL_ERROR_WANT_READ:
            if (m_socket.WaitReady(POLLIN, deadline) != StopSignal::Readiness::Ready) {
                return -1;
            }
            break;
        case SSL_ERROR_WANT_WRITE:
            if (m_socket.WaitReady(POLLOUT, deadline) != StopSignal::Readiness::Ready) {
                return -1;
            }
            break;
        case SSL_ERROR_ZERO_RETURN:
            // The peer's close_notify.
            return 0;
        case SSL_ERROR_SYSCALL:
            if (errno == EINTR) {
                break;
            }
            m_bHealthy = false;
            return -1;
        default:
            m_bHealthy = false;
            return -1;
        }
    }
    return -1;
}

bool TlsStream::Open()
{
    return Drive([this] { return SSL_accept(m_pSsl); }) > 0;
}

std::size_t TlsStream::Read(char* pBuffer, std::size_t uintCapacity, Clock::time_point deadline)
{
    const int intRead =
        Drive([&] { return SSL_read(m_pSsl, pBuffer, ClampToInt(uintCapacity)); }, deadline);
    return intRead > 0 ? static_cast<std::size_t>(intRead) : 0;
}

bool TlsStream::Write(std::string_view strBytes)
{
    while (!strBytes.empty()) {
        const int intWritten =
            Drive([&] { return SSL_write(m_pSsl, strBytes.data(), ClampToInt(strBytes.size())); });
        if (intWritten <= 0) {
            return false;
        }
        strBytes.remove_prefix(static_cast<std::size_t>(intWritten));
    }
    return true;
}

void TlsStream::CloseGracefully()
{
    if (m_bHealthy) {
        ERR_clear_error();
        SSL_shutdown(m_pSsl);
    }
    m_socket.CloseGracefully();
}

void TlsStream::CloseAbruptly()
{
    m_socket.CloseAbruptly();
}

}  // namespace pullbay::test
