#pragma once
// The native messaging host manifest by which the browser finds this
// program: its name (the one the extension connects to), the program's
// absolute path and the extension's origin as the only one allowed. The
// browser reads it from the user's profile folders of Chromium and Chrome,
// or, when it runs with --user-data-dir, from that folder only. Pure
// functions and file writes; any thread.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pullbay::bridge {

class HostManifest {
public:
    // The name the extension passes to connectNative.
    static constexpr const char* kHostName = "com.velmora.pullbay";
    // The extension's id: fixed by the public key pinned in its manifest.
    static constexpr const char* kExtensionId = "bnjhkkapgkpicpkggldkeekijmifbbkc";

    // The manifest's JSON text for the program at this absolute path.
    static std::string Text(const std::filesystem::path& program);

    // Where the manifest goes: DIR/NativeMessagingHosts for a profile
    // folder, else the NativeMessagingHosts folders of Chromium's and
    // Chrome's user configuration ($XDG_CONFIG_HOME, default ~/.config).
    // Empty when no home folder is known.
    static std::vector<std::filesystem::path> Folders(
        const std::optional<std::filesystem::path>& userDataDir);

    // The manifest's file in a folder.
    static std::filesystem::path FileIn(const std::filesystem::path& folder);

    // Writes the manifest into each folder (creating it); the paths written,
    // or the reason of the first failure in strError.
    static bool Install(const std::filesystem::path& program,
                        const std::vector<std::filesystem::path>& folders,
                        std::vector<std::filesystem::path>& written, std::string& strError);
    // Removes the manifest file from each folder and nothing else; the
    // paths removed.
    static std::vector<std::filesystem::path> Uninstall(
        const std::vector<std::filesystem::path>& folders);
};

}  // namespace pullbay::bridge
