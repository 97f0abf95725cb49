#pragma once
// One unit of background work, run by BackgroundWorkManager on a worker
// thread. Shared-owned by whoever submits it and by the pool while it is
// queued or running. Execute runs on a worker; GetId may be called on any
// thread (the pool asks it on the submitting thread), so it must not depend
// on state that Execute changes.
#include <cstdint>

namespace pullbay::tools {

class IWorkItem {
public:
    virtual ~IWorkItem() = default;

    // Runs the work with the parameter given at submission. The pool ignores
    // the result.
    virtual long Execute(std::uint64_t uintParameter) = 0;

    // Recognises the same work submitted twice: submissions with equal
    // identifiers are coalesced. Implementations return the low 32 bits of
    // the object's own address, so distinct live items are distinct work.
    virtual std::uint32_t GetId() = 0;
};

}  // namespace pullbay::tools
