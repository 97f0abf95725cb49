#pragma once
// Which web sites may use the control through the browser, remembered per
// origin ("https://example.org", "http://127.0.0.1:8080") in the per-user
// registry under kKey, one REG_DWORD value per origin. The user's answer to
// the first-use question is kept, and so are the origins allowed when the
// bridge was installed; uninstalling removes the latter only. Any thread
// (each call opens the key for itself).
#include <optional>
#include <string>
#include <string_view>

#include "core/HResult.h"

namespace pullbay::bridge {

enum class OriginGrant : std::uint32_t {
    Denied = 0,
    // The user said yes in the first-use question.
    Allowed = 1,
    // Allowed by "bridge install --allow-origin".
    AllowedAtInstall = 2,
    // Allowed at install with --page-dialogs: the page answers the dialogs.
    AllowedWithPageDialogs = 3,
};

class OriginPermissions {
public:
    static constexpr const wchar_t* kKey = L"Software\\Velmora\\Pullbay\\Bridge\\Origins";

    // The origin in its one spelling (scheme and host in lower case, no
    // default port, no trailing "/"), or nullopt when it is not an http or
    // https origin: "null", file pages, anything with a path or user part.
    static std::optional<std::string> Normalize(std::string_view strOrigin);

    // The remembered decision; nullopt when none (or the store is unreadable).
    static std::optional<OriginGrant> Get(std::string_view strOrigin);
    static HRESULT Set(std::string_view strOrigin, OriginGrant grant);
    // Forgets the decision about one origin.
    static HRESULT Forget(std::string_view strOrigin);
    // Removes the grants made at install; the user's answers stay.
    static HRESULT RemoveInstallGrants();
};

}  // namespace pullbay::bridge
