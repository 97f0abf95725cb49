#pragma once
// The per-thread error registry: the last exception recorded on each thread,
// keyed by the kernel's thread id. It is the system's diagnostic trail (there
// is no log file). Any thread may call it; one mutex guards the map and no
// other lock is taken while it is held. Before the first Initialize and after
// the last Release the operations do nothing.
#include <cstdint>
#include <memory>

#include "core/Exception.h"

namespace pullbay::core {

class ExceptionManager {
public:
    // Reference-counted: the first Initialize creates the registry, the
    // Release that brings the count to zero deletes every record.
    static void Initialize();
    static void Release();
    static bool IsInitialized();

    // Replaces the thread's record with a copy of the exception.
    static void SetException(std::uint32_t uintThreadId, const Exception& exception);
    // Records an UnexpectedException unless the thread already has a record.
    static void PushStdException(std::uint32_t uintThreadId);
    static void ClearException(std::uint32_t uintThreadId);

    // A copy of the thread's record, or null: for tests and diagnostics.
    static std::unique_ptr<Exception> GetException(std::uint32_t uintThreadId);
};

// Initializes the registry for a scope (a library user's lifetime, a test).
class ExceptionManagerScope {
public:
    ExceptionManagerScope() { ExceptionManager::Initialize(); }
    ~ExceptionManagerScope() { ExceptionManager::Release(); }
    ExceptionManagerScope(const ExceptionManagerScope&) = delete;
    ExceptionManagerScope& operator=(const ExceptionManagerScope&) = delete;
};

}  // namespace pullbay::core
