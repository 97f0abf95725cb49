#pragma once
// The file-exists dialog (template 106, 345 x 86 dialog units): the question
// with the full destination path, Overwrite / Skip / Rename, Apply to All,
// and the countdown line that ticks each second and takes the default action
// when it runs out. Only a click on one of the three buttons ends it: Enter,
// Escape and a close request do nothing (the template has no system menu).
// The logic is ui::FileExistsModel's. GUI thread only.
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "core/ThreadAffinity.h"
#include "dialogs/TemplateDialog.h"
#include "pullbay/IDialogPresenter.h"
#include "ui/FileExistsModel.h"

namespace pullbay::dialogs {

class FileExistsDialog : public TemplateDialog {
public:
    // The template's control ids, kept as the widgets' object names.
    static constexpr int kOverwriteId = 201;
    static constexpr int kSkipId = 203;
    static constexpr int kRenameId = 204;
    static constexpr int kTimeLeftId = 219;
    static constexpr int kApplyToAllId = 207;

    // An empty clock selects the steady clock; tests inject one and call Poll.
    FileExistsDialog(const api::FileExistsQuestion& question, QWidget* pOwner,
                     ui::FileExistsModel::MillisecondClock clock = {});

    // The answer: meaningful once the dialog has ended.
    api::FileExistsReply Reply() const { return {m_model.Action(), m_model.ApplyToAll()}; }
    const ui::FileExistsModel& Model() const { return m_model; }

    // The countdown's timer tick: the time the clock advanced goes to the
    // model; a run-out ends the dialog with the default action.
    void Poll();
    // Ends the dialog as skipped (the run is ending).
    void Cancel();

    QPushButton* Button(ui::FileExistsAnswer answer) const;
    QLabel* TimeLeftLabel() const { return m_pTimeLeft; }
    QLabel* QuestionLabel() const { return m_pQuestion; }
    QCheckBox* ApplyToAllBox() const { return m_pApplyToAll; }

private:
    void Choose(ui::FileExistsAnswer answer);
    void EndIfFinished();

    const core::ThreadAffinity m_guiThread;
    ui::FileExistsModel m_model;
    QLabel* m_pQuestion;
    QPushButton* m_pOverwrite;
    QPushButton* m_pSkip;
    QPushButton* m_pRename;
    QLabel* m_pTimeLeft;
    QCheckBox* m_pApplyToAll;
    QTimer m_timer;
};

}  // namespace pullbay::dialogs
