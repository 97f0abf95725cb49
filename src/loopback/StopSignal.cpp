#include "loopback/StopSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

#include "core/Win32Errors.h"

namespace pullbay::loopback {

StopSignal::StopSignal() : m_hEvent(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_hEvent < 0) {
        core::ThrowErrnoException(errno != 0 ? errno : EIO, L"StopSignal eventfd:");
    }
}

StopSignal::~StopSignal()
{
    ::close(m_hEvent);
}

void StopSignal::Raise()
{
    m_bRaised = true;
    const std::uint64_t uintOne = 1;
    // Cannot fail short of a counter overflow, which a single write never
    // reaches; the flag is set either way.
    while (::write(m_hEvent, &uintOne, sizeof uintOne) < 0 && errno == EINTR) {
    }
}

void StopSignal::Clear()
{
    std::uint64_t uintCount = 0;
    // Non-blocking: reads the counter back to zero, or finds it zero.
    (void)!::read(m_hEvent, &uintCount, sizeof uintCount);
    m_bRaised = false;
}

StopSignal::Readiness StopSignal::WaitReady(int hSocket, short intEvents,
                                            Clock::time_point deadline) const
{
    const bool bBounded = deadline != Clock::time_point::max();
    for (;;) {
        int intTimeOut = -1;
        if (bBounded) {
            // Rounded up: waking a little early would only spin.
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            intTimeOut = static_cast<int>(std::clamp<decltype(wait)>(wait, 0, INT_MAX));
        }
        pollfd descriptors[2] = {{hSocket, intEvents, 0}, {m_hEvent, POLLIN, 0}};
        if (::poll(descriptors, 2, intTimeOut) < 0) {
            if (errno == EINTR) {
                continue;
            }
            // poll itself failing leaves nothing sensible to wait for.
            return Readiness::Stopped;
        }
        if (descriptors[1].revents != 0) {
            return Readiness::Stopped;
        }
        if (descriptors[0].revents != 0) {
            return Readiness::Ready;
        }
        if (bBounded && Clock::now() >= deadline) {
            return Readiness::TimedOut;
        }
    }
}

bool StopSignal::WaitUntil(Clock::time_point deadline) const
{
    return WaitReady(-1, 0, deadline) != Readiness::Stopped;
}

}  // namespace pullbay::loopback
