#include "platform/shell/PolicyFolderBrowser.h"

namespace pullbay::platform::shell {

PolicyFolderBrowser::PolicyFolderBrowser(ItemIdBytes answer) : m_answer(std::move(answer))
{
}

ItemIdBytes PolicyFolderBrowser::Browse(const std::wstring& strTitle,
                                        const ItemIdBytes& initialFolder)
{
    m_strLastTitle = strTitle;
    m_lastInitialFolder = initialFolder;
    if (!ItemIdList::IsFileSystemFolder(m_answer)) {
        return {};
    }
    return m_answer;
}

}  // namespace pullbay::platform::shell
