#pragma once
// The download confirmation dialog (template 104, 340 x 210 dialog units
// unfolded): the server the list came from, OK / Cancel, the Show/Hide
// button that folds the file list away, and the list itself with a check box
// per file, Check All and Uncheck All. OK is the default button: Enter
// presses it while it is enabled; Escape and a close request cancel. Only a
// click on a check box toggles a file. The logic is ui::ConfirmationModel's.
// GUI thread only.
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>

#include <cstddef>

#include "core/ThreadAffinity.h"
#include "dialogs/TemplateDialog.h"
#include "pullbay/IDialogPresenter.h"
#include "ui/ConfirmationModel.h"

namespace pullbay::dialogs {

class ConfirmationTableModel;

class ConfirmationDialog : public TemplateDialog {
public:
    // The template's control ids, kept as the widgets' object names.
    static constexpr int kOkId = 1;
    static constexpr int kCancelId = 2;
    static constexpr int kFoldId = 201;
    static constexpr int kListId = 202;
    static constexpr int kCheckAllId = 203;
    static constexpr int kUncheckAllId = 204;
    static constexpr int kTextId = 205;
    static constexpr int kServerNameRemarkId = 217;
    static constexpr int kServerNameId = 218;

    ConfirmationDialog(const api::ConfirmationRequest& request, QWidget* pOwner);
    ~ConfirmationDialog() override;

    // The answer: OK with every row's check box, or not OK (cancelled, or
    // ended from outside).
    api::ConfirmationAnswer Answer() const;
    const ui::ConfirmationModel& Model() const { return m_model; }

    // Ends the dialog as cancelled (the run is ending).
    void Cancel();
    // Every way the dialog ends passes here: whatever did not accept cancels.
    void done(int intResult) override;
    // Escape and the close request cancel.
    void reject() override;

    QLabel* ServerNameRemarkLabel() const { return m_pServerNameRemark; }
    QLabel* ServerNameLabel() const { return m_pServerName; }
    QLabel* TextLabel() const { return m_pText; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }
    QPushButton* FoldButton() const { return m_pFold; }
    QPushButton* CheckAllButton() const { return m_pCheckAll; }
    QPushButton* UncheckAllButton() const { return m_pUncheckAll; }
    QTableView* List() const { return m_pList; }
    // Where a row's check box is drawn, in the list's viewport (empty for a
    // row outside the list or off the columns).
    QRect CheckBoxRect(std::size_t uintRow) const;
    // The Protected Mode refusal while it is open.
    QMessageBox* LimitMessage() const { return m_pLimitMessage.data(); }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    // The list: no key toggles a check box; long cells show a tip.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void BuildList();
    void ShowFolded(bool bExpanded);
    bool ToggleRow(std::size_t uintRow);
    void CheckAll();
    void UncheckAll();
    void Accept();
    void ShowLimitMessage();
    bool ShowLabelTip(const QPoint& position, const QPoint& globalPosition);
    QStyleOptionViewItem ItemOption(const QModelIndex& index) const;

    const core::ThreadAffinity m_guiThread;
    ui::ConfirmationModel m_model;
    QLabel* m_pServerNameRemark;
    QLabel* m_pServerName;
    QLabel* m_pText;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
    QPushButton* m_pFold;
    QTableView* m_pList;
    QPushButton* m_pCheckAll;
    QPushButton* m_pUncheckAll;
    ConfirmationTableModel* m_pRows;
    QPointer<QMessageBox> m_pLimitMessage;
};

}  // namespace pullbay::dialogs
