#pragma once
// A file descriptor that is closed when its holder goes. Not shared between
// threads; any thread may own one.
#include <unistd.h>

namespace pullbay::core {

class UniqueFd {
public:
    explicit UniqueFd(int intFd = -1) : m_intFd(intFd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_intFd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_intFd = other.Release();
        }
        return *this;
    }

    int Get() const { return m_intFd; }
    bool IsOpen() const { return m_intFd >= 0; }
    // Closes now and says whether close(2) succeeded (true when nothing was
    // open): for a written file, close is where some file systems report the
    // last write failure.
    bool Close()
    {
        const int intFd = m_intFd;
        m_intFd = -1;
        return intFd < 0 || ::close(intFd) == 0;
    }
    // Gives the descriptor up without closing it.
    int Release()
    {
        const int intFd = m_intFd;
        m_intFd = -1;
        return intFd;
    }

private:
    int m_intFd;
};

}  // namespace pullbay::core
