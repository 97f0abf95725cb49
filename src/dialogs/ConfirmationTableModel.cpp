#include "dialogs/ConfirmationTableModel.h"

#include <QString>

#include <climits>
#include <utility>

namespace pullbay::dialogs {

ConfirmationTableModel::ConfirmationTableModel(const ui::ConfirmationModel& model, Toggle toggle,
                                               QObject* pParent)
    : QAbstractTableModel(pParent), m_model(model), m_toggle(std::move(toggle))
{
}

int ConfirmationTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) {
        return 0;
    }
    // Qt counts rows in int; a longer list shows its first INT_MAX rows.
    const std::size_t uintRows = m_model.RowCount();
    return uintRows > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(uintRows);
}

int ConfirmationTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_model.Columns().size());
}

QVariant ConfirmationTableModel::data(const QModelIndex& index, int intRole) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const auto uintRow = static_cast<std::size_t>(index.row());
    switch (intRole) {
    case Qt::DisplayRole:
        return QString::fromStdWString(
            m_model.CellText(uintRow, static_cast<std::size_t>(index.column())));
    case Qt::CheckStateRole:
        if (index.column() == 0) {
            return m_model.IsRowChecked(uintRow) ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    default:
        return {};
    }
}

QVariant ConfirmationTableModel::headerData(int intSection, Qt::Orientation orientation,
                                            int intRole) const
{
    if (orientation != Qt::Horizontal || intSection < 0 ||
        static_cast<std::size_t>(intSection) >= m_model.Columns().size()) {
        return {};
    }
    if (intRole == Qt::DisplayRole) {
        return QString::fromStdWString(
            m_model.Columns()[static_cast<std::size_t>(intSection)].strTitle);
    }
    if (intRole == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags ConfirmationTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // User-checkable so that the delegate hit-tests the box; the view stops
    // the keys that would toggle it.
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return index.column() == 0 ? flags | Qt::ItemIsUserCheckable : flags;
}

bool ConfirmationTableModel::setData(const QModelIndex& index, const QVariant& value, int intRole)
{
    if (intRole != Qt::CheckStateRole || index.column() != 0 ||
        !checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return false;
    }
    const auto uintRow = static_cast<std::size_t>(index.row());
    const bool bWanted = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
    if (uintRow >= m_model.RowCount() || m_model.IsRowChecked(uintRow) == bWanted ||
        !m_toggle(uintRow)) {
        return false;
    }
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

void ConfirmationTableModel::AllChecksChanged()
{
    const int intRows = rowCount();
    if (intRows > 0 && columnCount() > 0) {
        emit dataChanged(index(0, 0), index(intRows - 1, 0), {Qt::CheckStateRole});
    }
}

}  // namespace pullbay::dialogs
