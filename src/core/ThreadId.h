#pragma once
// The kernel's id of the calling thread: the key of per-thread records.
#include <cstdint>
#include <unistd.h>

namespace pullbay::core {

inline std::uint32_t CurrentThreadId()
{
    return static_cast<std::uint32_t>(::gettid());
}

}  // namespace pullbay::core
