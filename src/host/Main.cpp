// The host program's entry point.
#include <string>
#include <vector>

#include "host/cli/HostProgram.h"

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return pullbay::host::HostProgram::Main(argc > 0 ? argv[0] : "pullbay", arguments);
}
