#pragma once
// The folder browser as a modal Qt file dialog (Qt's own, not the desktop's)
// that offers directories only and is owned by the control's window.
// GUI thread only.
#include <string>

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

#include "core/ThreadAffinity.h"
#include "platform/shell/IFolderBrowser.h"

namespace pullbay::dialogs {

class QtFolderBrowser : public platform::shell::IFolderBrowser {
public:
    // pOwner may be null (a top-level dialog) and may go away meanwhile.
    explicit QtFolderBrowser(QWidget* pOwner);

    // strTitle is the dialog's window title.
    platform::shell::ItemIdBytes Browse(const std::wstring& strTitle,
                                        const platform::shell::ItemIdBytes& initialFolder) override;
    // Ends an open dialog as cancelled (its Browse returns empty).
    void Cancel();

private:
    const core::ThreadAffinity m_guiThread;
    QPointer<QWidget> m_pOwner;
    QPointer<QFileDialog> m_pOpen;
};

}  // namespace pullbay::dialogs
