#include "dialogs/DownloadLogTableModel.h"

#include <climits>
#include <cstdint>

namespace pullbay::dialogs {

DownloadLogTableModel::DownloadLogTableModel(ui::DownloadLogModel& log, QObject* pParent)
    : QAbstractTableModel(pParent), m_pLog(&log)
{
}

int DownloadLogTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) {
        return 0;
    }
    const std::size_t uintRows = m_pLog->GetRowCount();
    return uintRows > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(uintRows);
}

int DownloadLogTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant DownloadLogTableModel::data(const QModelIndex& index, int intRole) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (intRole != Qt::DisplayRole || !index.isValid() || index.column() != 0 || index.row() < 0 ||
        index.row() >= rowCount()) {
        return {};
    }
    const QString strLine =
        QString::fromStdWString(m_pLog->GetItemString(static_cast<std::int64_t>(index.row())));
    if (m_lineShown) {
        m_lineShown(strLine);
    }
    return strLine;
}

QVariant DownloadLogTableModel::headerData(int intSection, Qt::Orientation orientation,
                                           int intRole) const
{
    if (intRole == Qt::DisplayRole && orientation == Qt::Horizontal && intSection == 0) {
        return QString();
    }
    return QAbstractTableModel::headerData(intSection, orientation, intRole);
}

}  // namespace pullbay::dialogs
