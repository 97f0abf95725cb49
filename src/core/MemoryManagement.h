#pragma once
// Heap helpers of the core library. Texts that the library hands around are
// allocated here; failures are recorded and thrown as exceptions.
// Any thread may call them.
#include <cstddef>

namespace pullbay::core {

class MemoryManagement {
public:
    // Throws MemoryException ("Unable to commit memory.") when the heap refuses.
    static void* AllocMemory(std::size_t uintSize);
    // Null is ignored.
    static void FreeMemory(void* pMemory);
    // Null in, null out; otherwise a copy with its terminator, freed with FreeMemory.
    static wchar_t* AllocAndCopyString(const wchar_t* strText);
    // As AllocAndCopyString, but null on failure instead of throwing: used
    // while an exception itself is being built, where a throw would recurse.
    static wchar_t* TryAllocAndCopyString(const wchar_t* strText) noexcept;
};

}  // namespace pullbay::core
