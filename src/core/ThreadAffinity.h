#pragma once
// The thread a single-threaded object belongs to, and PB_ASSERT_OWNER_THREAD,
// which ends a debug build at once when any other thread calls in. The owner
// is the constructing thread, or, for objects built on one thread and run on
// a worker, the first thread that checks. Any thread may call every member.
#include <atomic>
#include <cstdint>

namespace pullbay::core {

class ThreadAffinity {
public:
    struct BindOnFirstUse {};
    static constexpr BindOnFirstUse kBindOnFirstUse{};

    // Owned by the constructing thread.
    ThreadAffinity();
    // Unowned until the first IsOwnerThread or Check.
    explicit ThreadAffinity(BindOnFirstUse);
    ThreadAffinity(const ThreadAffinity&) = delete;
    ThreadAffinity& operator=(const ThreadAffinity&) = delete;

    // True on the owner's thread; an unowned affinity becomes the caller's.
    bool IsOwnerThread() const;
    // The owner's kernel thread id; 0 while unowned.
    std::uint32_t GetOwnerThreadId() const { return m_uintOwner.load(); }

    // Writes which function was called on which thread to stderr and aborts,
    // unless the caller is the owner. strFunction: __PRETTY_FUNCTION__.
    void Check(const char* strFunction) const;

private:
    // Mutable: a check made in a const member may bind it.
    mutable std::atomic<std::uint32_t> m_uintOwner;
};

}  // namespace pullbay::core

// Debug builds only: the check costs a system call per entry.
#ifdef NDEBUG
#define PB_ASSERT_OWNER_THREAD(affinity) static_cast<void>(0)
#else
#define PB_ASSERT_OWNER_THREAD(affinity) (affinity).Check(__PRETTY_FUNCTION__)
#endif
