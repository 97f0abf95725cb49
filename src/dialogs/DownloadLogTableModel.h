#pragma once
// The download log as a one-column Qt table over ui::DownloadLogModel: a
// row's text is asked of the log model only when a view asks for that row,
// so the lines of a long log are built as they scroll into sight (the log
// model caches them). The column's title is empty. GUI thread only.
#include <QAbstractTableModel>
#include <QString>

#include <functional>

#include "core/ThreadAffinity.h"
#include "ui/DownloadLogModel.h"

namespace pullbay::dialogs {

class DownloadLogTableModel : public QAbstractTableModel {
public:
    // Told every line a view is given to show, so that the view can widen
    // its column to the longest line seen so far.
    using LineShown = std::function<void(const QString&)>;

    // The log model must outlive this table (the dialog owns both).
    DownloadLogTableModel(ui::DownloadLogModel& log, QObject* pParent);

    void SetLineShown(LineShown lineShown) { m_lineShown = std::move(lineShown); }

    // The files, plus the extra line when the copy failed.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Only the text of column 0 is answered; any index outside the table
    // gives nothing.
    QVariant data(const QModelIndex& index, int intRole = Qt::DisplayRole) const override;
    QVariant headerData(int intSection, Qt::Orientation orientation,
                        int intRole = Qt::DisplayRole) const override;

private:
    const core::ThreadAffinity m_guiThread;
    // Not const: building a line fills the log model's cache.
    ui::DownloadLogModel* m_pLog;
    LineShown m_lineShown;
};

}  // namespace pullbay::dialogs
