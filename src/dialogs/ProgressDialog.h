#pragma once
// The progress dialog (template 105, 338 x 97 dialog units): the file's URL,
// its bar, the detail line (data amount, then rate and time left or the
// waiting notice), the bar of the whole list and Skip Current / Skip All,
// laid out by two Panels. Every 200 ms it pulls the engine's state through
// its source and ends once the engine has no current file. Enter, Escape and
// a close request do nothing. It holds the engine only through the source,
// which holds it weakly. GUI thread only.
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <memory>

#include "core/ThreadAffinity.h"
#include "dialogs/TemplateDialog.h"
#include "pullbay/IDialogPresenter.h"
#include "ui/ProgressModel.h"

namespace pullbay::dialogs {

class Panel;

class ProgressDialog : public TemplateDialog {
public:
    // An empty clock selects the steady clock.
    ProgressDialog(std::shared_ptr<api::IProgressSource> pSource, const std::wstring& strCaption,
                   QWidget* pOwner, ui::ProgressModel::MillisecondClock clock = {});

    // One tick: the state goes through the model and onto the controls; the
    // dialog ends once the model has finished. The timer calls it.
    void Tick();
    // Ends the dialog (the run is ending).
    void Cancel();

    const ui::ProgressModel& Model() const { return m_model; }
    QLabel* UrlLabel() const { return m_pUrl; }
    QLabel* DetailLabel() const { return m_pDetail; }
    QProgressBar* ItemBar() const { return m_pItemBar; }
    QProgressBar* TotalBar() const { return m_pTotalBar; }
    QPushButton* SkipCurrentButton() const { return m_pSkipCurrent; }
    QPushButton* SkipAllButton() const { return m_pSkipAll; }
    Panel* ButtonPanel() const { return m_pButtons; }

protected:
    // The two texts are shortened again whenever their labels change size.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    // The URL (shortened in the middle) and the detail line (cut at its
    // end) as wide as their labels are now.
    void ShowTexts();

    const core::ThreadAffinity m_guiThread;
    std::shared_ptr<api::IProgressSource> m_pSource;
    ui::ProgressModel m_model;
    Panel* m_pMain = nullptr;
    Panel* m_pButtons = nullptr;
    QLabel* m_pUrl = nullptr;
    QProgressBar* m_pItemBar = nullptr;
    QLabel* m_pDetail = nullptr;
    QProgressBar* m_pTotalBar = nullptr;
    QPushButton* m_pSkipCurrent = nullptr;
    QPushButton* m_pSkipAll = nullptr;
    QTimer m_timer;
    QString m_strUrl;
    QString m_strDetail;
};

}  // namespace pullbay::dialogs
