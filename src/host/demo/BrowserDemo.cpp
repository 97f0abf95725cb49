#include "host/demo/BrowserDemo.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bridge/HostManifest.h"
#include "bridge/OriginPermissions.h"
#include "core/Exception.h"
#include "core/TextUnits.h"
#include "host/demo/DemoServer.h"
#include "host/session/TerminalText.h"

extern char** environ;

namespace pullbay::host {

namespace {

constexpr const char* kBrowser = "chromium";

bool DisplayNamed()
{
    const char* pDisplay = std::getenv("DISPLAY");
    const char* pWayland = std::getenv("WAYLAND_DISPLAY");
    return (pDisplay != nullptr && *pDisplay != '\0') || (pWayland != nullptr && *pWayland != '\0');
}

// The extension folder: beside the program when installed so, else the
// source tree's.
std::filesystem::path ExtensionFolder(const std::filesystem::path& program)
{
    const std::filesystem::path beside = program.parent_path() / "extension";
    std::error_code error;
    if (std::filesystem::is_regular_file(beside / "manifest.json", error)) {
        return beside;
    }
    return PULLBAY_EXTENSION_DIR;
}

}  // namespace

int BrowserDemo::Run()
{
    if (!DisplayNamed()) {
        std::cerr << "pullbay: demo --browser shows Chromium and the control's dialogs: it needs "
                     "a display"
                  << std::endl;
        return 2;
    }
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path extension = ExtensionFolder(program);
    const char* pTemp = std::getenv("TMPDIR");
    std::string strProfile =
        std::string(pTemp != nullptr && *pTemp == '/' ? pTemp : "/tmp") + "/pullbay-demo-XXXXXX";
    if (::mkdtemp(strProfile.data()) == nullptr) {
        std::perror("pullbay: demo --browser");
        return 2;
    }
    DemoServer server;
    try {
        server.Start();
    } catch (const core::Exception& failure) {
        std::cerr << "pullbay: the demo server cannot start: "
                  << TerminalText::Of(failure.GetMessage()) << std::endl;
        std::filesystem::remove_all(strProfile, error);
        return 2;
    }
    std::vector<std::filesystem::path> written;
    std::string strError;
    if (!bridge::HostManifest::Install(program, bridge::HostManifest::Folders(strProfile), written,
                                       strError)) {
        std::cerr << "pullbay: demo --browser: " << strError << std::endl;
        std::filesystem::remove_all(strProfile, error);
        return 2;
    }

    std::vector<std::string> arguments = {kBrowser,
                                          "--user-data-dir=" + strProfile,
                                          "--disable-extensions-except=" + extension.string(),
                                          "--load-extension=" + extension.string(),
                                          "--no-first-run",
                                          "--no-default-browser-check"};
    if (::geteuid() == 0) {
        arguments.emplace_back("--no-sandbox");  // Chromium refuses root otherwise
    }
    arguments.push_back(server.PageUrl());
    std::vector<char*> argv;
    for (std::string& strArgument : arguments) {
        argv.push_back(strArgument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int intSpawn = ::posix_spawnp(&pid, kBrowser, nullptr, nullptr, argv.data(), environ);
    int intExit = 0;
    if (intSpawn != 0) {
        std::cerr << "pullbay: cannot start " << kBrowser << " (scripts/install-deps.sh installs "
                  << "it): " << std::strerror(intSpawn) << std::endl;
        intExit = 2;
    } else {
        std::cerr << "pullbay: the demo page " << server.PageUrl()
                  << " is open in Chromium; closing the browser ends the demo" << std::endl;
        int intStatus = 0;
        while (::waitpid(pid, &intStatus, 0) < 0 && errno == EINTR) {
        }
    }
    server.Stop();
    bridge::OriginPermissions::Forget(server.BaseUrl());
    std::filesystem::remove_all(strProfile, error);
    return intExit;
}

}  // namespace pullbay::host
