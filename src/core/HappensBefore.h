#pragma once
// Orderings made inside uninstrumented libraries (Qt's event queue), told to
// ThreadSanitizer so that it does not take a hand-over through them for a
// race. Outside ThreadSanitizer builds both functions do nothing. Any thread.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace pullbay::core {

// The sending side: what this thread did so far happens before a later
// HappensAfter on the same address.
inline void HappensBefore([[maybe_unused]] const void* pAddress)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(pAddress));
#endif
}

// The receiving side, once the library has handed the address over.
inline void HappensAfter([[maybe_unused]] const void* pAddress)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(pAddress));
#endif
}

}  // namespace pullbay::core
