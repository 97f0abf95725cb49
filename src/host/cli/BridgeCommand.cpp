#include "host/cli/BridgeCommand.h"

#include <unistd.h>

#include <QApplication>

#include <csignal>
#include <cstdlib>
#include <iostream>

#include "bridge/HostManifest.h"
#include "bridge/NativeMessageReader.h"
#include "bridge/NativeMessageWriter.h"
#include "bridge/OriginPermissions.h"
#include "host/cli/HostProgram.h"
#include "host/protocol/BridgePort.h"
#include "pullbay/Display.h"

namespace pullbay::host {

namespace {

constexpr std::string_view kBrowserOrigin = "chrome-extension://";

bool NoDisplay()
{
    const char* pDisplay = std::getenv("DISPLAY");
    const char* pWayland = std::getenv("WAYLAND_DISPLAY");
    return (pDisplay == nullptr || *pDisplay == '\0') && (pWayland == nullptr || *pWayland == '\0');
}

std::filesystem::path ProgramPath()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

int Install(const BridgeCommand::Options& options)
{
    std::vector<std::filesystem::path> written;
    std::string strError;
    const std::vector<std::filesystem::path> folders =
        bridge::HostManifest::Folders(options.userDataDir);
    if (folders.empty()) {
        std::cerr << "pullbay: no home folder to install the bridge under" << std::endl;
        return 1;
    }
    if (!bridge::HostManifest::Install(ProgramPath(), folders, written, strError)) {
        std::cerr << "pullbay: bridge install: " << strError << std::endl;
        return 1;
    }
    for (const std::string& strOrigin : options.allowedOrigins) {
        const bridge::OriginGrant grant = options.bPageDialogs
                                              ? bridge::OriginGrant::AllowedWithPageDialogs
                                              : bridge::OriginGrant::AllowedAtInstall;
        if (Failed(bridge::OriginPermissions::Set(strOrigin, grant))) {
            std::cerr << "pullbay: bridge install: cannot record the origin " << strOrigin
                      << std::endl;
            return 1;
        }
        std::cout << "allowed " << strOrigin << (options.bPageDialogs ? " (page dialogs)" : "")
                  << '\n';
    }
    for (const std::filesystem::path& file : written) {
        std::cout << "wrote " << file.string() << '\n';
    }
    std::cout.flush();
    return 0;
}

int Uninstall(const BridgeCommand::Options& options)
{
    for (const std::filesystem::path& file :
         bridge::HostManifest::Uninstall(bridge::HostManifest::Folders(options.userDataDir))) {
        std::cout << "removed " << file.string() << '\n';
    }
    bridge::OriginPermissions::RemoveInstallGrants();
    std::cout.flush();
    return 0;
}

int Serve(const std::string& strProgram)
{
    // A browser that went away must not end the bridge with SIGPIPE before
    // its controls have ended their runs.
    std::signal(SIGPIPE, SIG_IGN);
    // Standard output carries the framing alone: whatever else would print
    // there goes to standard error.
    const int fdBrowser = ::dup(STDOUT_FILENO);
    if (fdBrowser < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("pullbay: bridge");
        return 1;
    }
    if (NoDisplay()) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    std::string strName = strProgram;
    int intArgc = 1;
    char* argv[] = {strName.data(), nullptr};
    QApplication application(intArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    bridge::NativeMessageWriter writer(fdBrowser);
    BridgePort port(
        api::DisplayPresent(), [&writer](std::string_view strJson) { writer.Write(strJson); },
        [] { QCoreApplication::exit(0); });
    bridge::NativeMessageReader reader(
        [&port](std::string strMessage) { port.HandleMessage(strMessage); },
        [&port](bridge::NativeMessageReader::End end) {
            if (end == bridge::NativeMessageReader::End::Truncated) {
                std::cerr << "pullbay: bridge: the browser's input ended inside a message"
                          << std::endl;
            } else if (end == bridge::NativeMessageReader::End::Overlong) {
                std::cerr << "pullbay: bridge: a message longer than the browser sends; the "
                             "input is not read further"
                          << std::endl;
            }
            port.HandleEnd();
        });
    reader.Start();
    return QCoreApplication::exec();
}

}  // namespace

bool BridgeCommand::Handles(const std::vector<std::string>& arguments)
{
    return !arguments.empty() &&
           (arguments[0] == "bridge" || arguments[0].rfind(kBrowserOrigin, 0) == 0);
}

std::optional<BridgeCommand::Options> BridgeCommand::Parse(
    const std::vector<std::string>& arguments, std::string& strError)
{
    Options options;
    if (arguments.empty() || arguments[0].rfind(kBrowserOrigin, 0) == 0) {
        // The browser adds nothing a host must act on after the origin.
        return options;
    }
    std::size_t i = 1;
    if (i < arguments.size() && arguments[i] == "install") {
        options.action = Action::Install;
        ++i;
    } else if (i < arguments.size() && arguments[i] == "uninstall") {
        options.action = Action::Uninstall;
        ++i;
    }
    for (; i < arguments.size(); ++i) {
        const std::string& strOption = arguments[i];
        const bool bSetup = options.action != Action::Serve;
        if (strOption == "--page-dialogs" && options.action == Action::Install) {
            options.bPageDialogs = true;
            continue;
        }
        const bool bValued = (strOption == "--user-data-dir" && bSetup) ||
                             (strOption == "--allow-origin" && options.action == Action::Install);
        if (!bValued) {
            strError = "unknown bridge argument: " + strOption;
            return std::nullopt;
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
            strError = "missing value for " + strOption;
            return std::nullopt;
        }
        const std::string& strValue = arguments[++i];
        if (strOption == "--user-data-dir") {
            options.userDataDir = std::filesystem::path(strValue);
        } else {
            const std::optional<std::string> strOrigin =
                bridge::OriginPermissions::Normalize(strValue);
            if (!strOrigin) {
                strError = "--allow-origin takes an http or https origin "
                           "(scheme://host[:port]): " +
                           strValue;
                return std::nullopt;
            }
            options.allowedOrigins.push_back(*strOrigin);
        }
    }
    if (options.bPageDialogs && options.allowedOrigins.empty()) {
        strError = "--page-dialogs applies to the origins given with --allow-origin";
        return std::nullopt;
    }
    return options;
}

int BridgeCommand::Main(const std::string& strProgram, const std::vector<std::string>& arguments)
{
    if (arguments.size() == 2 && (arguments[1] == "--help" || arguments[1] == "-h")) {
        std::cout << UsageText();
        return 0;
    }
    std::string strError;
    const std::optional<Options> options = Parse(arguments, strError);
    if (!options) {
        std::cerr << "pullbay: " << strError << "\n\n" << UsageText();
        return HostProgram::kExitUsage;
    }
    switch (options->action) {
    case Action::Install:
        return Install(*options);
    case Action::Uninstall:
        return Uninstall(*options);
    case Action::Serve:
        break;
    }
    return Serve(strProgram);
}

const char* BridgeCommand::UsageText()
{
    return "usage: pullbay bridge [install [--user-data-dir DIR] [--allow-origin ORIGIN]...\n"
           "                              [--page-dialogs]\n"
           "                      | uninstall [--user-data-dir DIR]]\n"
           "\n"
           "bridge serves one browser page's controls over native messaging (the browser\n"
           "  starts it). install writes the host manifest for Chromium and Chrome (or into\n"
           "  the profile DIR); --allow-origin lets that site use the control without being\n"
           "  asked, --page-dialogs lets its page answer the dialogs (for tests; needed\n"
           "  without a display). uninstall removes the manifest and those grants.\n";
}

}  // namespace pullbay::host
