#include "dialogs/QtPresenter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include "dialogs/ConfirmationDialog.h"
#include "dialogs/DownloadCompleteDialog.h"
#include "dialogs/FileExistsDialog.h"
#include "dialogs/GetFileListWindow.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/QtFolderBrowser.h"
#include "model/PropertyHolder.h"

namespace pullbay::dialogs {

QtPresenter::QtPresenter() : m_pBrowser(std::make_shared<QtFolderBrowser>(nullptr))
{
}

QtPresenter::~QtPresenter() = default;

void QtPresenter::SetOwner(QWidget* pOwner)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pOwner = pOwner;
    m_pBrowser = std::make_shared<QtFolderBrowser>(pOwner);
}

QWidget* QtPresenter::Owner() const
{
    return m_pOwner ? m_pOwner.data() : QApplication::activeWindow();
}

api::ConfirmationAnswer QtPresenter::ConfirmDownload(const api::ConfirmationRequest& request)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // Held weakly: the owner going takes the dialog with it (a cancel).
    QPointer<ConfirmationDialog> pDialog = new ConfirmationDialog(request, Owner());
    m_pOpen = pDialog.data();
    pDialog->exec();
    if (pDialog.isNull()) {
        return {};
    }
    api::ConfirmationAnswer answer = pDialog->Answer();
    delete pDialog.data();
    return answer;
}

std::shared_ptr<platform::shell::IFolderBrowser> QtPresenter::FolderBrowser()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pBrowser;
}

api::FileExistsReply QtPresenter::AskFileExists(const api::FileExistsQuestion& question)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // Held weakly: the owner going takes the dialog with it.
    QPointer<FileExistsDialog> pDialog = new FileExistsDialog(question, Owner());
    m_pOpen = pDialog.data();
    if (!pDialog->Model().IsFinished()) {
        pDialog->exec();
    }
    if (pDialog.isNull()) {
        return {ui::FileExistsAnswer::Skip, false};
    }
    const api::FileExistsReply reply =
        pDialog->Model().IsFinished() ? pDialog->Reply()
                                      : api::FileExistsReply{ui::FileExistsAnswer::Skip, false};
    delete pDialog.data();
    return reply;
}

void QtPresenter::ShowProgress(const std::shared_ptr<api::IProgressSource>& pSource)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!pSource) {
        return;
    }
    QPointer<ProgressDialog> pDialog =
        new ProgressDialog(pSource, model::PropertyHolder::kCaption, Owner());
    m_pOpen = pDialog.data();
    pDialog->exec();
    delete pDialog.data();
}

void QtPresenter::ShowDownloadComplete(const api::CompletionReport& report)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // Held weakly: the owner going takes the dialog with it. Its only result
    // is OK, so a cancelled one ends the same way.
    QPointer<DownloadCompleteDialog> pDialog =
        new DownloadCompleteDialog(report, model::PropertyHolder::kCaption, Owner());
    m_pOpen = pDialog.data();
    pDialog->exec();
    delete pDialog.data();
}

api::MessageBoxAnswer QtPresenter::ShowMessageBox(const std::wstring& strText,
                                                  const std::wstring& strCaption,
                                                  api::MessageBoxButtons buttons)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const bool bYesNo = buttons == api::MessageBoxButtons::YesNo;
    QPointer<QMessageBox> pBox =
        new QMessageBox(bYesNo ? QMessageBox::Question : QMessageBox::Information,
                        QString::fromStdWString(strCaption), QString::fromStdWString(strText),
                        bYesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, Owner());
    pBox->setTextFormat(Qt::PlainText);
    // Escape or the close button answer as the box's cancel: No, or OK.
    pBox->setEscapeButton(bYesNo ? QMessageBox::No : QMessageBox::Ok);
    m_pOpen = pBox.data();
    const int intResult = pBox->exec();
    delete pBox.data();
    if (!bYesNo) {
        return api::MessageBoxAnswer::Ok;
    }
    return intResult == QMessageBox::Yes ? api::MessageBoxAnswer::Yes : api::MessageBoxAnswer::No;
}

void QtPresenter::FileListProgressShown(const api::FileListWindowTexts& texts,
                                        std::function<void()> cancel)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    FileListProgressClosed();
    m_cancelFileList = cancel;
    m_pFileListWindow = new GetFileListWindow(texts, std::move(cancel), Owner());
    m_pFileListWindow->show();
}

GetFileListWindow* QtPresenter::FileListWindow() const
{
    return m_pFileListWindow.data();
}

void QtPresenter::FileListProgress(std::int64_t intDone, std::int64_t intExpected)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pFileListWindow) {
        m_pFileListWindow->SetProgress(intDone, intExpected);
    }
}

void QtPresenter::FileListProgressClosed()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_cancelFileList = nullptr;
    delete m_pFileListWindow.data();
}

void QtPresenter::OpenFolder(const std::wstring& strPath)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // xdg-open through Qt: the desktop's own handler for folders.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdWString(strPath)));
}

void QtPresenter::CancelDialogs()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pBrowser->Cancel();
    if (m_cancelFileList) {
        m_cancelFileList();
    }
    if (auto* pExists = dynamic_cast<FileExistsDialog*>(m_pOpen.data())) {
        pExists->Cancel();
    } else if (auto* pProgress = dynamic_cast<ProgressDialog*>(m_pOpen.data())) {
        pProgress->Cancel();
    } else if (m_pOpen) {
        m_pOpen->done(QMessageBox::No);
    }
}

}  // namespace pullbay::dialogs
