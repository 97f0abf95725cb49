#pragma once
// The per-user runtime folder that Qt wants in XDG_RUNTIME_DIR. A headless
// start (a container, a cron job, ssh without a session) has none, and Qt
// then warns on every start about something the user cannot change. So
// before Qt starts, a missing XDG_RUNTIME_DIR is pointed at a private folder
// under the temporary directory: "pullbay-runtime-<uid>" (mode 0700, checked
// to be a real folder of this user), or, when that name is taken by
// something else, a fresh folder that goes again with this object.
// Main thread, before the Qt application exists.
#include <string>

namespace pullbay::host {

class RuntimeFolder {
public:
    RuntimeFolder();
    ~RuntimeFolder();
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

    // The folder set in XDG_RUNTIME_DIR here, or empty when the environment
    // had one (or no folder could be made).
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
    // A fresh folder made for this process, removed at the end.
    bool m_bOwned = false;
};

}  // namespace pullbay::host
