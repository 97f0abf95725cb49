#pragma once
// The host program's commands: help, version, registration, the
// description of the control's scripting surface and "run". Main thread,
// which becomes the GUI thread.
#include <string>
#include <vector>

namespace pullbay::host {

class HostProgram {
public:
    // Exit codes of the program.
    static constexpr int kExitUsage = 64;

    // The arguments after the program name; returns the exit code.
    static int Main(const std::string& strProgram, const std::vector<std::string>& arguments);
};

}  // namespace pullbay::host
