#pragma once
// The throw protocol in one place: a throw site constructs the exception with
// its own qualified name ("Class::Method"), source file and line, records a
// copy for the current thread, then throws it by value:
//
//     PB_THROW(ArgumentNullPointerException, L"pParam");
//
// and the catch-all protocol for foreign failures:
//
//     catch (...) { RecordForeignFailure(); throw; }
#include <string>
#include <string_view>
#include <utility>

#include "core/ExceptionManager.h"
#include "core/ThreadId.h"

namespace pullbay::core {

// "Class::Method" from the compiler's pretty function name: return type,
// parameters and the project's lower-case namespaces are dropped.
std::wstring QualifiedFunctionName(std::string_view strPrettyFunction);

// Records a copy of the exception for the calling thread and throws it.
template <typename ExceptionType>
[[noreturn]] void RecordAndThrow(const ExceptionType& exception)
{
    ExceptionManager::SetException(CurrentThreadId(), exception);
    throw exception;
}

// Catch-all protocol, step 1: the thread's record holds at least an
// UnexpectedException; a more specific earlier record stays.
inline void RecordForeignFailure()
{
    ExceptionManager::PushStdException(CurrentThreadId());
}

// A failure handled for good: the thread's record is cleared.
inline void ClearRecordedFailure()
{
    ExceptionManager::ClearException(CurrentThreadId());
}

}  // namespace pullbay::core

// Source paths are recorded relative to the project (see -fmacro-prefix-map).
#define PB_WIDEN_INNER(text) L##text
#define PB_WIDEN(text) PB_WIDEN_INNER(text)
#define PB_SOURCE_FILE PB_WIDEN(__FILE__)

#define PB_THROW(ExceptionType, ...)                                                               \
    ::pullbay::core::RecordAndThrow(ExceptionType(                                                 \
        ::pullbay::core::QualifiedFunctionName(__PRETTY_FUNCTION__).c_str(), PB_SOURCE_FILE,       \
        static_cast<std::uint32_t>(__LINE__) __VA_OPT__(, ) __VA_ARGS__))
