#pragma once
// The confirmation dialog's file list as a Qt item model over
// ui::ConfirmationModel, served on demand: texts and check states are read
// from the ui model only when the view asks for a row it draws, so a list of
// any length costs nothing per row. The check box is in the first column; a
// check state set through the view (the delegate's click on the box) goes to
// the dialog's toggle, which may refuse it. GUI thread only.
#include <QAbstractTableModel>

#include <cstddef>
#include <functional>

#include "ui/ConfirmationModel.h"

namespace pullbay::dialogs {

class ConfirmationTableModel : public QAbstractTableModel {
public:
    // Flips one row's check box in the ui model; returns whether it did.
    using Toggle = std::function<bool(std::size_t)>;

    // The ui model outlives this one (both belong to the dialog).
    ConfirmationTableModel(const ui::ConfirmationModel& model, Toggle toggle, QObject* pParent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int intRole) const override;
    QVariant headerData(int intSection, Qt::Orientation orientation, int intRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Only the check state can be set, and only to the other state.
    bool setData(const QModelIndex& index, const QVariant& value, int intRole) override;

    // Every row's check state changed in the ui model (Check All, Uncheck All).
    void AllChecksChanged();

private:
    const ui::ConfirmationModel& m_model;
    Toggle m_toggle;
};

}  // namespace pullbay::dialogs
