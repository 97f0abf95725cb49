#include "core/ThreadAffinity.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"

namespace pullbay::core {

ThreadAffinity::ThreadAffinity() : m_uintOwner(CurrentThreadId())
{
}

ThreadAffinity::ThreadAffinity(BindOnFirstUse) : m_uintOwner(0)
{
}

bool ThreadAffinity::IsOwnerThread() const
{
    const std::uint32_t uintCurrent = CurrentThreadId();
    std::uint32_t uintOwner = 0;
    // Two first callers at once: one wins, the other is not the owner.
    if (m_uintOwner.compare_exchange_strong(uintOwner, uintCurrent)) {
        return true;
    }
    return uintOwner == uintCurrent;
}

void ThreadAffinity::Check(const char* strFunction) const
{
    if (IsOwnerThread()) {
        return;
    }
    const std::string strName = ToUtf8(QualifiedFunctionName(strFunction));
    std::fprintf(stderr, "Thread check failed: %s called on thread %u, owned by thread %u\n",
                 strName.c_str(), static_cast<unsigned>(CurrentThreadId()),
                 static_cast<unsigned>(m_uintOwner.load()));
    std::fflush(stderr);
    std::abort();
}

}  // namespace pullbay::core
