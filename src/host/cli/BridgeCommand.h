#pragma once
// "pullbay bridge": the native messaging host of the browser extension.
//   pullbay bridge                      serves one browser port on stdin/stdout
//   pullbay chrome-extension://ID/      the same, as the browser starts it
//   pullbay bridge install [--user-data-dir DIR] [--allow-origin ORIGIN]...
//                          [--page-dialogs]
//   pullbay bridge uninstall [--user-data-dir DIR]
// Main thread, which becomes the GUI thread.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pullbay::host {

class BridgeCommand {
public:
    enum class Action { Serve, Install, Uninstall };

    struct Options {
        Action action = Action::Serve;
        std::optional<std::filesystem::path> userDataDir;
        // Normalized origins.
        std::vector<std::string> allowedOrigins;
        bool bPageDialogs = false;
    };

    // Whether the arguments are the bridge's (its command, or the origin
    // argument the browser starts a native host with).
    static bool Handles(const std::vector<std::string>& arguments);
    // The options, or the usage error in strError.
    static std::optional<Options> Parse(const std::vector<std::string>& arguments,
                                        std::string& strError);
    // The exit code.
    static int Main(const std::string& strProgram, const std::vector<std::string>& arguments);

    static const char* UsageText();
};

}  // namespace pullbay::host
