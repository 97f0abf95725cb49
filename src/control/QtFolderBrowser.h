#pragma once
// The folder browser as a modal Qt file dialog (Qt's own, not the desktop's)
// that offers directories only and is owned by the control's window.
// GUI thread only.
#include <string>

#include <QPointer>
#include <QWidget>

#include "platform/shell/IFolderBrowser.h"

namespace pullbay::control {

class QtFolderBrowser : public platform::shell::IFolderBrowser {
public:
    // pOwner may be null (a top-level dialog) and may go away meanwhile.
    explicit QtFolderBrowser(QWidget* pOwner);

    // strTitle is the dialog's window title.
    platform::shell::ItemIdBytes Browse(const std::wstring& strTitle,
                                        const platform::shell::ItemIdBytes& initialFolder) override;

private:
    QPointer<QWidget> m_pOwner;
};

}  // namespace pullbay::control
