#pragma once
// The kernel's id of the calling thread: the key of per-thread records.
#include <cstdint>
#include <unistd.h>

namespace pullbay::core {

inline std::uint32_t CurrentThreadId()
{
    // Asked of the kernel once per thread: it never changes, and the engine
    // asks several times per file. (A child made by fork would inherit the
    // parent's value; this program's children only exec.)
    thread_local const std::uint32_t t_uintId = static_cast<std::uint32_t>(::gettid());
    return t_uintId;
}

}  // namespace pullbay::core
