#pragma once
// One unit of background work, run by BackgroundWorkManager on a worker
// thread. Shared-owned by whoever submits it and by the pool while it is
// queued or running. Execute runs on a worker. The pool recognises the same
// work submitted twice by the object itself.
#include <cstdint>

namespace pullbay::tools {

class IWorkItem {
public:
    virtual ~IWorkItem() = default;

    // Runs the work with the parameter given at submission. The pool ignores
    // the result.
    virtual long Execute(std::uint64_t uintParameter) = 0;
};

}  // namespace pullbay::tools
