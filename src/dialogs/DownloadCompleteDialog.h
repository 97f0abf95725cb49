#pragma once
// The download-complete dialog (template 202, 340 x 206 dialog units, the
// unfolded layout): the message, OK, Show/Hide Log that folds the log in
// and out, the log list (one line per file, built when a row is first
// shown) and Copy Selected / Copy All, which put lines on the clipboard.
// OK or Enter ends it; Escape and a close request do nothing. The logic is
// ui::DownloadLogModel's. GUI thread only.
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTableView>

#include <string>

#include "core/ThreadAffinity.h"
#include "dialogs/TemplateDialog.h"
#include "pullbay/IDialogPresenter.h"
#include "ui/DownloadLogModel.h"

namespace pullbay::dialogs {

class DownloadLogTableModel;

class DownloadCompleteDialog : public TemplateDialog {
public:
    // The template's control ids, kept as the widgets' object names.
    static constexpr int kMessageId = 205;
    static constexpr int kOkId = 1;
    static constexpr int kLogButtonId = 201;
    static constexpr int kListId = 202;
    static constexpr int kCopySelectedId = 204;
    static constexpr int kCopyAllId = 203;
    // Between Copy Selected's right edge and Copy All's left edge.
    static constexpr int kCopyButtonGap = 15;

    DownloadCompleteDialog(const api::CompletionReport& report, const std::wstring& strCaption,
                           QWidget* pOwner);
    ~DownloadCompleteDialog() override;

    const ui::DownloadLogModel& Model() const { return m_model; }
    QLabel* MessageLabel() const { return m_pMessage; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* LogButton() const { return m_pLogButton; }
    QTableView* LogView() const { return m_pList; }
    QPushButton* CopySelectedButton() const { return m_pCopySelected; }
    QPushButton* CopyAllButton() const { return m_pCopyAll; }

    // The width a line needs in the list's column: the column never gets
    // narrower than the widest line shown so far.
    int LineWidth(const QString& strLine) const;

private:
    // Shows or hides the log and makes the dialog end the same distance
    // below the new reference control (Copy All unfolded, OK folded) as it
    // ended below the other one.
    void Lay(bool bExpanded);
    void ToggleLog();
    void PlaceCopyButtons();
    void WidenColumnFor(const QString& strLine);
    void CopySelected();
    void CopyAll();

    const core::ThreadAffinity m_guiThread;
    ui::DownloadLogModel m_model;
    QLabel* m_pMessage = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pLogButton = nullptr;
    QTableView* m_pList = nullptr;
    DownloadLogTableModel* m_pTable = nullptr;
    QPushButton* m_pCopySelected = nullptr;
    QPushButton* m_pCopyAll = nullptr;
};

}  // namespace pullbay::dialogs
