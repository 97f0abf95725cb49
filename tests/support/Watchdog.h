#pragma once
// Fails a test that hangs instead of letting it hang: unless disarmed (by
// going out of scope) within its time, it names what it watched on standard
// error and ends the process with a failure. Any thread.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace pullbay::test {

class Watchdog {
public:
    Watchdog(std::string strWhat, std::chrono::milliseconds timeOut)
        : m_strWhat(std::move(strWhat)), m_thread([this, timeOut] { Watch(timeOut); })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bDisarmed = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void Watch(std::chrono::milliseconds timeOut)
    {
        std::unique_lock lock(m_mutex);
        if (!m_wake.wait_for(lock, timeOut, [this] { return m_bDisarmed; })) {
            std::fprintf(stderr, "watchdog: %s did not end within %lld ms\n", m_strWhat.c_str(),
                         static_cast<long long>(timeOut.count()));
            std::fflush(stderr);
            std::_Exit(EXIT_FAILURE);
        }
    }

    const std::string m_strWhat;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bDisarmed = false;
    std::thread m_thread;
};

}  // namespace pullbay::test
