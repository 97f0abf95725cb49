#pragma once
// A folder browser without a window, for headless hosts and tests: it answers
// with the folder it was given (or cancels) and keeps what it was asked.
// GUI thread only, like every folder browser.
#include <cstddef>
#include <string>
#include <utility>

#include "platform/shell/IFolderBrowser.h"

namespace pullbay::platform::shell {

class PolicyFolderBrowser : public IFolderBrowser {
public:
    // An empty answer cancels.
    explicit PolicyFolderBrowser(ItemIdBytes answer = {});

    void SetAnswer(ItemIdBytes answer) { m_answer = std::move(answer); }

    // The answer when it is a file-system folder; anything else cancels, as
    // a user cannot choose a virtual folder either.
    ItemIdBytes Browse(const std::wstring& strTitle, const ItemIdBytes& initialFolder) override;

    const std::wstring& GetLastTitle() const { return m_strLastTitle; }
    const ItemIdBytes& GetLastInitialFolder() const { return m_lastInitialFolder; }

private:
    ItemIdBytes m_answer;
    std::wstring m_strLastTitle;
    ItemIdBytes m_lastInitialFolder;
};

}  // namespace pullbay::platform::shell
