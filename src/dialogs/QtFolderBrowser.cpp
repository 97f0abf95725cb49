#include "dialogs/QtFolderBrowser.h"

#include <optional>

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

namespace pullbay::dialogs {

using platform::shell::ItemIdBytes;
using platform::shell::ItemIdList;

QtFolderBrowser::QtFolderBrowser(QWidget* pOwner) : m_pOwner(pOwner)
{
}

ItemIdBytes QtFolderBrowser::Browse(const std::wstring& strTitle, const ItemIdBytes& initialFolder)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // Held weakly: if the owner is destroyed while the dialog runs, it takes
    // the dialog with it, and the dialog must not be deleted twice.
    QPointer<QFileDialog> pDialog =
        new QFileDialog(m_pOwner.data(), QString::fromStdWString(strTitle));
    pDialog->setOption(QFileDialog::DontUseNativeDialog, true);
    pDialog->setOption(QFileDialog::ShowDirsOnly, true);
    pDialog->setFileMode(QFileDialog::Directory);
    pDialog->setAcceptMode(QFileDialog::AcceptOpen);
    pDialog->setWindowModality(Qt::ApplicationModal);

    // A virtual folder, or one that is gone, leaves the dialog at its default.
    if (const std::optional<std::wstring> strInitial = ItemIdList::ToPath(initialFolder)) {
        const QString strDirectory = QString::fromStdWString(*strInitial);
        if (QFileInfo(strDirectory).isDir()) {
            pDialog->setDirectory(strDirectory);
        }
    }

    m_pOpen = pDialog;
    const int intResult = pDialog->exec();
    m_pOpen = nullptr;
    if (pDialog.isNull()) {
        return {};
    }
    const QStringList selected = pDialog->selectedFiles();
    delete pDialog.data();
    if (intResult != QDialog::Accepted || selected.isEmpty()) {
        return {};
    }
    // Only an existing directory is an answer, whatever was typed.
    const QFileInfo chosen(selected.front());
    if (!chosen.isAbsolute() || !chosen.isDir()) {
        return {};
    }
    return ItemIdList::FromPath(QDir::cleanPath(chosen.absoluteFilePath()).toStdWString());
}

void QtFolderBrowser::Cancel()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pOpen) {
        m_pOpen->reject();
    }
}

}  // namespace pullbay::dialogs
