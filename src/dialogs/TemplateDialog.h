#pragma once
// What the control's dialog templates share: centred on their screen, and
// ended only by their own buttons or timers. Escape and the window's close
// request end nothing; Enter ends nothing either unless the template has a
// default push button (bEnterPressesDefault). GUI thread only.
#include <QDialog>

namespace pullbay::dialogs {

class TemplateDialog : public QDialog {
public:
    TemplateDialog(QWidget* pOwner, Qt::WindowFlags flags, bool bEnterPressesDefault);

    // Escape and the close request end nothing.
    void reject() override {}

protected:
    void showEvent(QShowEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    const bool m_bEnterPressesDefault;
};

}  // namespace pullbay::dialogs
