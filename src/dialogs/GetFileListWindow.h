#pragma once
// The window shown while the file list is fetched (template 201, 336 x 45
// dialog units): its line of text, a bar that runs as a busy marquee while
// the list's size is unknown and fills once it is declared, and Cancel,
// which ends the fetch at once. Its caption is the product name. Escape and
// the window's close box end nothing: only Cancel does. It does not run a
// loop of its own: the fetch's wait keeps the events moving while it is
// shown (application-modal). GUI thread only.
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cstdint>
#include <functional>

#include "core/ThreadAffinity.h"
#include "dialogs/TemplateDialog.h"
#include "pullbay/IDialogPresenter.h"

namespace pullbay::dialogs {

class GetFileListWindow : public TemplateDialog {
public:
    static constexpr const char* kCaption = "Pullbay";

    GetFileListWindow(const api::FileListWindowTexts& texts, std::function<void()> cancel,
                      QWidget* pOwner);

    // Bytes received of those expected; expected below 1 switches the bar to
    // the marquee, once and for good.
    void SetProgress(std::int64_t intDone, std::int64_t intExpected);
    bool IsMarquee() const { return m_bMarquee; }

    QLabel* TextLabel() const { return m_pText; }
    QProgressBar* Bar() const { return m_pBar; }
    QPushButton* CancelButton() const { return m_pCancel; }

private:
    const core::ThreadAffinity m_guiThread;
    std::function<void()> m_cancel;
    QLabel* m_pText;
    QProgressBar* m_pBar;
    QPushButton* m_pCancel;
    bool m_bMarquee = false;
};

}  // namespace pullbay::dialogs
