#include "host/cli/RunPresenter.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "core/TextUnits.h"
#include "host/session/ProgressWatch.h"
#include "host/session/TerminalText.h"
#include "platform/shell/ItemIdList.h"

namespace pullbay::host {

namespace {

constexpr int kBarCells = 20;

int TerminalColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// The last path segment of a URL: what a person recognises as the file.
std::wstring ShortName(const std::wstring& strUrl)
{
    std::wstring strPath = strUrl.substr(0, strUrl.find_first_of(L"?#"));
    const std::size_t uintSlash = strPath.find_last_of(L'/');
    std::wstring strName =
        uintSlash == std::wstring::npos ? strPath : strPath.substr(uintSlash + 1);
    return strName.empty() ? strUrl : strName;
}

}  // namespace

// The control's folder browser, noting the folder it answers with.
class RunPresenter::RecordingBrowser : public platform::shell::IFolderBrowser {
public:
    explicit RecordingBrowser(std::shared_ptr<platform::shell::IFolderBrowser> pBrowser)
        : m_pBrowser(std::move(pBrowser))
    {
    }

    platform::shell::ItemIdBytes Browse(const std::wstring& strTitle,
                                        const platform::shell::ItemIdBytes& initialFolder) override
    {
        platform::shell::ItemIdBytes chosen = m_pBrowser->Browse(strTitle, initialFolder);
        m_strChosen = platform::shell::ItemIdList::ToPath(chosen).value_or(std::wstring());
        return chosen;
    }

    const std::wstring& Chosen() const { return m_strChosen; }

private:
    std::shared_ptr<platform::shell::IFolderBrowser> m_pBrowser;
    std::wstring m_strChosen;
};

RunPresenter::RunPresenter(bool bDesktop, bool bTerminalBar, const std::wstring& strFolder)
    : m_bDesktop(bDesktop), m_bTerminalBar(bTerminalBar), m_strGivenFolder(strFolder)
{
    if (!strFolder.empty()) {
        m_pGivenFolder = std::make_shared<platform::shell::PolicyFolderBrowser>();
        m_pGivenFolder->SetAnswer(platform::shell::ItemIdList::FromPath(strFolder));
    }
    m_notice = [](const std::wstring& strPath) {
        std::fprintf(stderr, "The files are in %s\n", TerminalText::Of(strPath).c_str());
    };
}

std::wstring RunPresenter::ChosenFolder() const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!m_strGivenFolder.empty() || !m_pRecordingBrowser) {
        return m_strGivenFolder;
    }
    return m_pRecordingBrowser->Chosen();
}

api::ConfirmationAnswer RunPresenter::ConfirmDownload(const api::ConfirmationRequest& request)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const api::ConfirmationAnswer answer =
        m_pDefault ? m_pDefault->ConfirmDownload(request) : api::ConfirmationAnswer{};
    if (answer.bOk && m_confirmed) {
        m_confirmed(request, answer);
    }
    return answer;
}

std::shared_ptr<platform::shell::IFolderBrowser> RunPresenter::FolderBrowser()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pGivenFolder || !m_pDefault) {
        return m_pGivenFolder ? m_pGivenFolder
                              : std::make_shared<platform::shell::PolicyFolderBrowser>();
    }
    std::shared_ptr<platform::shell::IFolderBrowser> pBrowser = m_pDefault->FolderBrowser();
    if (!pBrowser) {
        return pBrowser;
    }
    m_pRecordingBrowser = std::make_shared<RecordingBrowser>(std::move(pBrowser));
    return m_pRecordingBrowser;
}

api::FileExistsReply RunPresenter::AskFileExists(const api::FileExistsQuestion& question)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pDefault ? m_pDefault->AskFileExists(question) : api::FileExistsReply{};
}

void RunPresenter::ShowDownloadComplete(const api::CompletionReport& report)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pDefault) {
        m_pDefault->ShowDownloadComplete(report);
    }
}

api::MessageBoxAnswer RunPresenter::ShowMessageBox(const std::wstring& strText,
                                                   const std::wstring& strCaption,
                                                   api::MessageBoxButtons buttons)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pDefault) {
        return m_pDefault->ShowMessageBox(strText, strCaption, buttons);
    }
    return buttons == api::MessageBoxButtons::YesNo ? api::MessageBoxAnswer::No
                                                    : api::MessageBoxAnswer::Ok;
}

void RunPresenter::FileListProgressShown(const api::FileListWindowTexts& texts,
                                         std::function<void()> cancel)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pDefault) {
        m_pDefault->FileListProgressShown(texts, std::move(cancel));
    }
}

void RunPresenter::FileListProgress(std::int64_t intDone, std::int64_t intExpected)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pDefault) {
        m_pDefault->FileListProgress(intDone, intExpected);
    }
}

void RunPresenter::FileListProgressClosed()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pDefault) {
        m_pDefault->FileListProgressClosed();
    }
}

void RunPresenter::OpenFolder(const std::wstring& strPath)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_bDesktop && m_pDefault) {
        m_pDefault->OpenFolder(strPath);
    } else if (m_notice) {
        m_notice(strPath);
    }
}

void RunPresenter::CancelDialogs()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pDefault) {
        m_pDefault->CancelDialogs();
    }
}

std::string RunPresenter::BarText(const std::wstring& strUrl, const std::wstring& strDetails,
                                  int intTotal, int intColumns)
{
    const int intFilled = std::clamp(intTotal, 0, 1000) * kBarCells / 1000;
    std::wstring strText = L"[" + std::wstring(static_cast<std::size_t>(intFilled), L'#') +
                           std::wstring(static_cast<std::size_t>(kBarCells - intFilled), L'-') +
                           L"] " + TerminalText::Wide(ShortName(strUrl)) + L" " +
                           TerminalText::Wide(strDetails);
    // One line: the cursor goes back to its start at every redraw.
    const auto uintWidth = static_cast<std::size_t>(std::max(intColumns - 1, 10));
    if (strText.size() > uintWidth) {
        strText.resize(uintWidth);
    }
    return core::ToUtf8(strText);
}

void RunPresenter::ShowProgress(const std::shared_ptr<api::IProgressSource>& pSource)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // On a desktop the control's own progress dialog shows it.
    if (m_bDesktop || !m_bTerminalBar) {
        if (m_pDefault) {
            m_pDefault->ShowProgress(pSource);
        }
        return;
    }
    ProgressWatch::Run(pSource, [](const ui::ProgressModel& model) {
        const std::string strBar = BarText(model.GetUrl(), model.GetProgressText(),
                                           model.GetTotalBarPosition(), TerminalColumns());
        std::fprintf(stderr, "\r\x1b[K%s", strBar.c_str());
        std::fflush(stderr);
    });
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
}

}  // namespace pullbay::host
