#pragma once
// Chooses the destination folder of a download run in the folder browser and
// remembers the choice for the user (the "LastVisitedFolder" value under the
// control's settings key), so the next run, in any page, opens there.
// GUI thread only: the browser is modal.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/shell/IFolderBrowser.h"
#include "platform/shell/SpecialFolder.h"
#include "tools/PidlItem.h"

namespace pullbay::control {

class DestinationFolderChooser {
public:
    static constexpr const wchar_t* kLastVisitedFolderValue = L"LastVisitedFolder";

    // What the download run tells the host when the choice is made; each
    // runs before ChooseDestinationFolder returns or throws, and either may
    // be empty. The run's wiring is:
    //
    //     const auto destination = chooser.ChooseDestinationFolder(strTitle, strDefault,
    //         {[this] { DownloadComplete(CompletionFolderCancelled); },
    //          [this] { DownloadStep(StepFolderChosen); }});
    //
    // and the AbortedException of a cancelled choice ends the run like its
    // other early ends.
    struct RunEvents {
        std::function<void()> folderCancelled;
        std::function<void()> folderChosen;
    };

    // A chosen destination: always a file-system folder.
    struct Destination {
        tools::PidlItem folder;
        std::wstring strPath;
    };

    // strSettingsKey: the control's per-user settings key (under the
    // current user's root). pBrowser must not be null.
    DestinationFolderChooser(std::wstring strSettingsKey,
                             std::shared_ptr<platform::shell::IFolderBrowser> pBrowser);

    // The special folder that a DefaultDestinationFolder text names: one of
    // the nine names in any letter case, or its digit "0" to "8".
    static std::optional<platform::shell::SpecialFolder> SpecialFolderFromName(
        std::wstring_view strName);

    // Where the browser opens: the last chosen folder, else the folder that
    // strDefaultDestinationFolder names (a special folder, else a path to
    // an existing directory); empty when there is none.
    tools::PidlItem GetInitialFolder(const std::wstring& strDefaultDestinationFolder) const;

    // The stored last-visited folder; empty when there is none or it cannot
    // be read (the failure is recorded for the thread, as
    // "Pullbay::GetLastFolder").
    tools::PidlItem GetLastFolder() const;

    // Shows the browser titled strTitle at the initial folder and returns
    // the chosen folder, empty when cancelled. A chosen folder is stored as
    // the last-visited one; a failure to store is recorded for the thread
    // (as "Pullbay::ChooseFolder") and does not change the result.
    tools::PidlItem ChooseFolder(const std::wstring& strTitle,
                                 const std::wstring& strDefaultDestinationFolder);

    // ChooseFolder for a download run. Chosen: events.folderChosen, then the
    // folder and its path are returned. Cancelled: events.folderCancelled,
    // then an AbortedException from "Pullbay::ChooseDestinationFolder",
    // recorded for the thread, is thrown.
    Destination ChooseDestinationFolder(const std::wstring& strTitle,
                                        const std::wstring& strDefaultDestinationFolder,
                                        const RunEvents& events);

private:
    std::wstring m_strSettingsKey;
    std::shared_ptr<platform::shell::IFolderBrowser> m_pBrowser;
};

}  // namespace pullbay::control
