#pragma once
// A call prepared on one thread and made on another (the GUI thread, through
// GuiThreadContextProvider). Shared-owned; Execute runs on the thread that
// makes the call.
namespace pullbay::tools {

class IWorkHolderExecutor {
public:
    virtual ~IWorkHolderExecutor() = default;

    // Makes the call and returns its 32-bit result (0 for a routine without one).
    virtual long Execute() = 0;
};

}  // namespace pullbay::tools
