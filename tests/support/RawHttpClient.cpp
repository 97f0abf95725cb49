#include "support/RawHttpClient.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>

namespace pullbay::test {

RawHttpClient::RawHttpClient(std::uint16_t uintPort)
    : m_h(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uintPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{5, 0};
    ::setsockopt(m_h, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(m_h, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    m_bConnected = ::connect(m_h, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

RawHttpClient::~RawHttpClient()
{
    ::close(m_h);
}

bool RawHttpClient::Send(const std::string& strBytes)
{
    return m_bConnected && ::send(m_h, strBytes.data(), strBytes.size(), MSG_NOSIGNAL) ==
                               static_cast<ssize_t>(strBytes.size());
}

RawHttpClient::Response RawHttpClient::Read(bool bHead)
{
    Response response;
    std::size_t uintEnd = 0;
    while ((uintEnd = m_strBuffer.find("\r\n\r\n")) == std::string::npos) {
        if (!Receive()) {
            response.intStatus = -1;
            return response;
        }
    }
    response.strHead = m_strBuffer.substr(0, uintEnd + 4);
    m_strBuffer.erase(0, uintEnd + 4);
    if (response.strHead.rfind("HTTP/1.1 ", 0) != 0) {
        response.intStatus = -1;
        return response;
    }
    response.intStatus = std::stoi(response.strHead.substr(9, 3));
    const std::size_t uintLength = response.strHead.find("Content-Length: ");
    const std::size_t uintBody = bHead || uintLength == std::string::npos
                                     ? 0
                                     : std::stoul(response.strHead.substr(uintLength + 16));
    while (m_strBuffer.size() < uintBody) {
        if (!Receive()) {
            response.intStatus = -1;
            return response;
        }
    }
    response.strBody = m_strBuffer.substr(0, uintBody);
    m_strBuffer.erase(0, uintBody);
    return response;
}

bool RawHttpClient::ReadsEndOfStream()
{
    char ch = 0;
    return m_strBuffer.empty() && ::recv(m_h, &ch, 1, 0) == 0;
}

bool RawHttpClient::Receive()
{
    char buffer[16384];
    const ssize_t intRead = ::recv(m_h, buffer, sizeof buffer, 0);
    if (intRead <= 0) {
        return false;
    }
    m_strBuffer.append(buffer, static_cast<std::size_t>(intRead));
    return true;
}

}  // namespace pullbay::test
