#pragma once
// The user's home and the XDG user directories (Desktop, Documents, Music,
// Pictures, Videos) as named in $XDG_CONFIG_HOME/user-dirs.dirs. Read afresh
// on every call, so a changed file or environment is seen at once. Any thread
// may call it, as long as no thread changes the environment meanwhile.
#include <optional>
#include <string>
#include <string_view>

namespace pullbay::platform::shell {

class UserDirectories {
public:
    UserDirectories() = delete;

    // $HOME when it is an absolute path, else the home of the user's entry
    // in the password database; nullopt when neither gives one.
    static std::optional<std::wstring> HomeDirectory();

    // $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
    static std::optional<std::wstring> ConfigHome();

    // The directory that user-dirs.dirs gives for strKey (for example
    // "XDG_PICTURES_DIR"), else ~/strDefaultName.
    static std::optional<std::wstring> UserDirectory(std::string_view strKey,
                                                     std::wstring_view strDefaultName);

    // The value of strKey in the text of a user-dirs.dirs file, with
    // "$HOME" replaced by strHome: the last valid line for the key wins.
    // A valid value is double-quoted, may use backslash escapes, and is
    // either "$HOME", "$HOME/..." or an absolute path.
    static std::optional<std::string> FindUserDirsEntry(std::string_view strText,
                                                        std::string_view strKey,
                                                        std::string_view strHome);
};

}  // namespace pullbay::platform::shell
