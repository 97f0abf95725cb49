#pragma once
// The plain TCP stream of one accepted connection: a non-blocking socket,
// owned, whose waits also end when the server's stop signal is raised. A
// protocol stream (the tests' TLS) holds one for its socket and waits
// through it.
#include "loopback/IConnectionStream.h"
#include "loopback/StopSignal.h"

namespace pullbay::loopback {

class SocketStream final : public IConnectionStream {
public:
    // Takes the connected, non-blocking socket; the stop signal must outlive
    // the stream.
    SocketStream(int hSocket, const StopSignal& stop) noexcept;
    SocketStream(SocketStream&& other) noexcept;
    ~SocketStream() override;
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;
    SocketStream& operator=(SocketStream&&) = delete;

    bool Open() override;
    std::size_t Read(char* pBuffer, std::size_t uintCapacity, Clock::time_point deadline) override;
    bool Write(std::string_view strBytes) override;
    void CloseGracefully() override;
    // Plain TCP has no protocol close: the same as CloseGracefully.
    void CloseAbruptly() override;

    int Handle() const { return m_hSocket; }
    // Waits until the socket reports one of intEvents (or an error), the
    // server stops, or the deadline passes.
    StopSignal::Readiness WaitReady(short intEvents,
                                    Clock::time_point deadline = Clock::time_point::max()) const;

private:
    int m_hSocket;
    const StopSignal* m_pStop;
};

}  // namespace pullbay::loopback
