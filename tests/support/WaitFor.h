#pragma once
// Polls a condition that offers no notice of its own (a state of another
// process, of the file system, of an engine's counters) until it holds or
// the time is up; false when the time ran out.
#include <chrono>
#include <thread>

namespace pullbay::test {

template <typename Condition>
bool WaitFor(Condition condition,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(30000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace pullbay::test
