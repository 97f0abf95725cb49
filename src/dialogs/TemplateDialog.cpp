#include "dialogs/TemplateDialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

namespace pullbay::dialogs {

TemplateDialog::TemplateDialog(QWidget* pOwner, Qt::WindowFlags flags, bool bEnterPressesDefault)
    : QDialog(pOwner, flags), m_bEnterPressesDefault(bEnterPressesDefault)
{
}

void TemplateDialog::showEvent(QShowEvent* pEvent)
{
    if (const QScreen* pScreen = screen()) {
        move(pScreen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(pEvent);
}

void TemplateDialog::keyPressEvent(QKeyEvent* pEvent)
{
    const int intKey = pEvent->key();
    const bool bEnter = intKey == Qt::Key_Return || intKey == Qt::Key_Enter;
    if (intKey == Qt::Key_Escape || (bEnter && !m_bEnterPressesDefault)) {
        pEvent->accept();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

void TemplateDialog::closeEvent(QCloseEvent* pEvent)
{
    // done() hides the dialog without a close event: this is only the
    // window manager's (or a caller's) request.
    pEvent->ignore();
}

}  // namespace pullbay::dialogs
