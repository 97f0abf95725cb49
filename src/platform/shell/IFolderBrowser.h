#pragma once
// The folder browser: asks the user (or a host acting for the user) for one
// file-system folder. Implementations: a Qt dialog (dialogs/QtFolderBrowser)
// and a host-driven one that answers by policy (PolicyFolderBrowser).
// Called on the GUI thread; Browse may run a modal loop.
#include <string>

#include "platform/shell/ItemIdList.h"

namespace pullbay::platform::shell {

class IFolderBrowser {
public:
    virtual ~IFolderBrowser() = default;

    // Opens at initialFolder when it names a file-system folder (a virtual
    // or empty one leaves the browser at its own default) and returns the
    // chosen folder's list: always a file-system folder, or empty when
    // nothing was chosen.
    virtual ItemIdBytes Browse(const std::wstring& strTitle, const ItemIdBytes& initialFolder) = 0;
};

}  // namespace pullbay::platform::shell
