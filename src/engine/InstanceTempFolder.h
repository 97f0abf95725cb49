#pragma once
// The temporary folder of one control: a private sub-folder (mode 0700) of
// the temporary folder that this user's controls share, so that one
// control's clean-up never touches another's files, whether the other runs
// in this process or in another.
// Each folder "i<pid>-<random>" is claimed by the lock file beside it,
// "i<pid>-<random>.lock", which its owner holds locked (flock) for the
// folder's whole life: the lock dies with the process, so a later control
// can tell a folder whose owner is gone from one in use, whatever the names
// say, and removes it. The lock is taken before the folder exists and
// dropped after it is gone, so a live folder is never without its lock.
//
// Made and swept lazily on the first Path(). One thread (the control's GUI
// thread) uses an instance; the engine receives only the path.
#include <string>

#include "core/UniqueFd.h"

namespace pullbay::engine {

class InstanceTempFolder {
public:
    // strParent: the shared folder the private ones live in (made when
    // missing, with the per-user root above it when that is its parent).
    explicit InstanceTempFolder(std::wstring strParent);
    // The folder, its files and its lock go.
    ~InstanceTempFolder();
    InstanceTempFolder(const InstanceTempFolder&) = delete;
    InstanceTempFolder& operator=(const InstanceTempFolder&) = delete;

    // The private folder with a trailing "/", made on the first call after
    // the folders of controls whose process has gone were removed. Empty
    // when it cannot be made (the temporary files then fail as write errors,
    // with FailedFolder and FailureReason).
    std::wstring Path();
    // After Path() gave nothing: the folder that could not be used (empty
    // when no parent is known) and why, in the words of a failure message
    // ("Permission denied", core's text for the errno, or
    // kNotPrivateFolderText). Empty otherwise.
    const std::wstring& FailedFolder() const { return m_strFailedFolder; }
    const std::wstring& FailureReason() const { return m_strFailureReason; }
    // Removes every entry of the private folder; the folder stays.
    void Clear();

    // Removes every private folder under strParent whose lock no process
    // holds, with its lock file. Returns how many went.
    static int SweepAbandoned(const std::wstring& strParent);

private:
    void Remove();
    void Fail(std::wstring strFolder, std::wstring strReason);

    const std::wstring m_strParent;
    std::string m_strName;  // empty until made
    core::UniqueFd m_lock;
    bool m_bTried = false;
    std::wstring m_strFailedFolder;
    std::wstring m_strFailureReason;
};

}  // namespace pullbay::engine
