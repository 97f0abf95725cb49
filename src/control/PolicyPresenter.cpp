#include "control/PolicyPresenter.h"

#include <cstdio>

#include "core/TextUnits.h"
#include "platform/shell/ItemIdList.h"

namespace pullbay::control {

PolicyPresenter::PolicyPresenter()
    : m_pBrowser(std::make_shared<platform::shell::PolicyFolderBrowser>())
{
    m_notice = [](const std::wstring& strText) {
        std::fprintf(stderr, "%s\n", core::ToUtf8(strText).c_str());
    };
}

void PolicyPresenter::SetFolder(const std::wstring& strPath)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pBrowser->SetAnswer(strPath.empty() ? platform::shell::ItemIdBytes()
                                          : platform::shell::ItemIdList::FromPath(strPath));
}

std::shared_ptr<platform::shell::IFolderBrowser> PolicyPresenter::FolderBrowser()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pBrowser;
}

api::ConfirmationAnswer PolicyPresenter::ConfirmDownload(const api::ConfirmationRequest& request)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_asked.push_back(L"confirm " + request.strServer);
    api::ConfirmationAnswer answer;
    answer.bOk = true;
    answer.checked.reserve(request.rows.size());
    for (std::size_t i = 0; i < request.rows.size(); ++i) {
        answer.checked.push_back(request.rows.IsChecked(i));
    }
    return answer;
}

api::FileExistsReply PolicyPresenter::AskFileExists(const api::FileExistsQuestion& question)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_asked.push_back(L"exists " + question.strQuestion);
    return {question.settings.defaultAction, false};
}

void PolicyPresenter::ShowProgress(const std::shared_ptr<api::IProgressSource>&)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_asked.push_back(L"progress");
}

void PolicyPresenter::ShowDownloadComplete(const api::CompletionReport&)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_asked.push_back(L"complete");
}

api::MessageBoxAnswer PolicyPresenter::ShowMessageBox(const std::wstring& strText,
                                                      const std::wstring&,
                                                      api::MessageBoxButtons buttons)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_asked.push_back(L"message " + strText);
    return buttons == api::MessageBoxButtons::YesNo ? api::MessageBoxAnswer::No
                                                    : api::MessageBoxAnswer::Ok;
}

void PolicyPresenter::OpenFolder(const std::wstring& strPath)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_asked.push_back(L"open " + strPath);
    if (m_notice) {
        m_notice(L"The files are in " + strPath);
    }
}

void PolicyPresenter::CancelDialogs()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_asked.push_back(L"cancel");
}

}  // namespace pullbay::control
