#include "dialogs/ConfirmationDialog.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QString>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <vector>

#include "dialogs/ConfirmationTableModel.h"
#include "dialogs/DialogUnits.h"
#include "model/PropertyHolder.h"

namespace pullbay::dialogs {

namespace {

QString Text(const std::wstring& strText)
{
    return QString::fromStdWString(strText);
}

QPushButton* MakeButton(QWidget* pParent, int intId, const std::wstring& strText, QRect geometry)
{
    auto* pButton = new QPushButton(Text(strText), pParent);
    pButton->setObjectName(QString::number(intId));
    pButton->setGeometry(geometry);
    return pButton;
}

QLabel* MakeLabel(QWidget* pParent, int intId, const std::wstring& strText, QRect geometry)
{
    auto* pLabel = new QLabel(Text(strText), pParent);
    pLabel->setObjectName(QString::number(intId));
    pLabel->setGeometry(geometry);
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return pLabel;
}

// Exclusive edges, so that differences of them are distances.
int Bottom(const QWidget* pWidget)
{
    return pWidget->y() + pWidget->height();
}

int Right(const QWidget* pWidget)
{
    return pWidget->x() + pWidget->width();
}

}  // namespace

ConfirmationDialog::ConfirmationDialog(const api::ConfirmationRequest& request, QWidget* pOwner)
    : TemplateDialog(pOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint, true),
      m_model(request.settings, request.strServer, request.rows)
{
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    const ui::ConfirmationSettings& settings = m_model.Settings();
    setWindowTitle(Text(settings.strCaption));
    // The template is the unfolded layout; the folding below derives the rest.
    setFixedSize(units.Size(340, 210));
    setModal(true);

    m_pServerNameRemark = MakeLabel(this, kServerNameRemarkId, m_model.ServerNameRemarkText(),
                                    units.Rect(7, 7, 326, 9));
    m_pServerName = MakeLabel(this, kServerNameId, m_model.ServerName(), units.Rect(7, 17, 326, 9));
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    m_pServerName->setFont(bold);
    m_pText = MakeLabel(this, kTextId, m_model.Text(), units.Rect(7, 27, 326, 24));
    m_pText->setWordWrap(true);

    m_pOk = MakeButton(this, kOkId, settings.strOkButtonText, units.Rect(145, 55, 50, 14));
    m_pOk->setDefault(true);
    m_pCancel =
        MakeButton(this, kCancelId, settings.strCancelButtonText, units.Rect(199, 55, 50, 14));
    m_pFold =
        MakeButton(this, kFoldId, settings.strShowFileListButtonText, units.Rect(253, 55, 80, 14));
    BuildList();
    m_pCheckAll =
        MakeButton(this, kCheckAllId, settings.strCheckAllButtonText, units.Rect(199, 189, 65, 14));
    m_pUncheckAll = MakeButton(this, kUncheckAllId, settings.strUncheckAllButtonText,
                               units.Rect(268, 189, 65, 14));

    connect(m_pOk, &QPushButton::clicked, this, [this] { Accept(); });
    connect(m_pCancel, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(m_pFold, &QPushButton::clicked, this, [this] {
        m_model.ToggleFold();
        ShowFolded(m_model.IsExpanded());
    });
    connect(m_pCheckAll, &QPushButton::clicked, this, [this] { CheckAll(); });
    connect(m_pUncheckAll, &QPushButton::clicked, this, [this] { UncheckAll(); });

    if (!m_model.HasFoldButton()) {
        // Cancel's right edge comes where the missing button's was.
        m_pFold->hide();
        const int intShift = Right(m_pFold) - Right(m_pCancel);
        m_pOk->move(m_pOk->x() + intShift, m_pOk->y());
        m_pCancel->move(m_pCancel->x() + intShift, m_pCancel->y());
    }
    // Fold once, and unfold again when the list opens unfolded, so that the
    // unfolded height is derived from the folded one as a later click does.
    ShowFolded(false);
    if (m_model.IsExpanded()) {
        ShowFolded(true);
    }
    m_pOk->setEnabled(m_model.IsOkEnabled());
}

ConfirmationDialog::~ConfirmationDialog() = default;

void ConfirmationDialog::BuildList()
{
    const DialogUnits units(font());
    m_pList = new QTableView(this);
    m_pList->setObjectName(QString::number(kListId));
    m_pList->setGeometry(units.Rect(7, 74, 326, 111));
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setShowGrid(false);
    m_pList->setWordWrap(false);
    m_pList->setTextElideMode(Qt::ElideRight);
    m_pList->setTabKeyNavigation(false);
    m_pList->setCornerButtonEnabled(false);
    m_pList->setSortingEnabled(false);

    // One fixed height for every row: nothing is measured per row.
    const int intRowHeight =
        std::max(QFontMetrics(font()).height(),
                 m_pList->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, m_pList)) +
        4;
    QHeaderView* pRowHeader = m_pList->verticalHeader();
    pRowHeader->hide();
    pRowHeader->setSectionResizeMode(QHeaderView::Fixed);
    pRowHeader->setMinimumSectionSize(intRowHeight);
    pRowHeader->setDefaultSectionSize(intRowHeight);
    QHeaderView* pHeader = m_pList->horizontalHeader();
    pHeader->setSectionsClickable(false);
    pHeader->setHighlightSections(false);
    pHeader->setStretchLastSection(false);
    pHeader->setMinimumSectionSize(0);
    pHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_pRows = new ConfirmationTableModel(
        m_model, [this](std::size_t uintRow) { return ToggleRow(uintRow); }, this);
    m_pList->setModel(m_pRows);

    // The columns share the width left beside a vertical scroll bar, so
    // that they still fit once the list is long enough to need one.
    const int intAvailable =
        m_pList->width() - 2 * m_pList->frameWidth() -
        m_pList->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_pList);
    const std::vector<int> widths = m_model.ColumnWidths(intAvailable);
    for (std::size_t i = 0; i < widths.size(); ++i) {
        m_pList->setColumnWidth(static_cast<int>(i), widths[i]);
    }

    m_pList->installEventFilter(this);
    m_pList->viewport()->installEventFilter(this);
}

api::ConfirmationAnswer ConfirmationDialog::Answer() const
{
    return {m_model.GetResult() == ui::ConfirmationModel::Result::Ok, m_model.CheckedFlags()};
}

void ConfirmationDialog::Cancel()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_model.Cancel();
    done(QDialog::Rejected);
}

void ConfirmationDialog::done(int intResult)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // An open refusal goes with the dialog.
    delete m_pLimitMessage.data();
    // Does nothing once OK has accepted.
    m_model.Cancel();
    TemplateDialog::done(intResult);
}

void ConfirmationDialog::reject()
{
    Cancel();
}

void ConfirmationDialog::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->matches(QKeySequence::Cancel)) {
        pEvent->accept();
        Cancel();
        return;
    }
    // Enter presses the default button (OK) only while it is enabled.
    TemplateDialog::keyPressEvent(pEvent);
}

void ConfirmationDialog::closeEvent(QCloseEvent* pEvent)
{
    // Unlike the other templates, this one has a Cancel button, which the
    // window's close request presses (through reject()).
    QDialog::closeEvent(pEvent);
}

bool ConfirmationDialog::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pList && pEvent->type() == QEvent::KeyPress) {
        // The delegate would toggle the current row's box on these.
        const int intKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (intKey == Qt::Key_Space || intKey == Qt::Key_Select) {
            return true;
        }
    }
    if (pWatched == m_pList->viewport() && pEvent->type() == QEvent::ToolTip) {
        const auto* pHelp = static_cast<QHelpEvent*>(pEvent);
        return ShowLabelTip(pHelp->pos(), pHelp->globalPos());
    }
    return TemplateDialog::eventFilter(pWatched, pEvent);
}

void ConfirmationDialog::ShowFolded(bool bExpanded)
{
    m_pList->setVisible(bExpanded);
    m_pCheckAll->setVisible(bExpanded);
    m_pUncheckAll->setVisible(bExpanded);
    // The dialog ends below the reference with the gap it had below the other.
    const QWidget* pReference = bExpanded ? m_pCheckAll : m_pOk;
    const QWidget* pPrevious = bExpanded ? m_pOk : m_pCheckAll;
    setFixedSize(width(), height() - Bottom(pPrevious) + Bottom(pReference));
    const ui::ConfirmationSettings& settings = m_model.Settings();
    m_pFold->setText(
        Text(bExpanded ? settings.strHideFileListButtonText : settings.strShowFileListButtonText));
}

bool ConfirmationDialog::ToggleRow(std::size_t uintRow)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    switch (m_model.ToggleRow(uintRow)) {
    case ui::ConfirmationModel::ToggleOutcome::Toggled:
        m_pOk->setEnabled(m_model.IsOkEnabled());
        return true;
    case ui::ConfirmationModel::ToggleOutcome::LimitReached:
        ShowLimitMessage();
        return false;
    case ui::ConfirmationModel::ToggleOutcome::Ignored:
        return false;
    }
    return false;
}

void ConfirmationDialog::CheckAll()
{
    m_model.CheckAll();
    m_pRows->AllChecksChanged();
    m_pOk->setEnabled(m_model.IsOkEnabled());
}

void ConfirmationDialog::UncheckAll()
{
    m_model.UncheckAll();
    m_pRows->AllChecksChanged();
    m_pOk->setEnabled(m_model.IsOkEnabled());
}

void ConfirmationDialog::Accept()
{
    if (m_model.Accept()) {
        done(QDialog::Accepted);
    }
}

void ConfirmationDialog::ShowLimitMessage()
{
    if (m_pLimitMessage) {
        return;
    }
    auto* pBox = new QMessageBox(
        QMessageBox::NoIcon, QString::fromWCharArray(model::PropertyHolder::kCaption),
        Text(m_model.MaxFileCountExceededMessage()), QMessageBox::Ok, this);
    pBox->setTextFormat(Qt::PlainText);
    pBox->setEscapeButton(QMessageBox::Ok);
    pBox->setAttribute(Qt::WA_DeleteOnClose);
    m_pLimitMessage = pBox;
    // Modal to the dialog without a nested event loop: the click that asked
    // for it has returned before the user answers it, and the dialog may
    // go (with its owner) meanwhile.
    pBox->open();
}

QStyleOptionViewItem ConfirmationDialog::ItemOption(const QModelIndex& index) const
{
    QStyleOptionViewItem option;
    option.initFrom(m_pList);
    option.widget = m_pList;
    option.font = m_pList->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.rect = m_pList->visualRect(index);
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = m_pList->textElideMode();
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = index.data(Qt::DisplayRole).toString();
    const QVariant check = index.data(Qt::CheckStateRole);
    if (check.isValid()) {
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        option.checkState = static_cast<Qt::CheckState>(check.toInt());
    }
    return option;
}

QRect ConfirmationDialog::CheckBoxRect(std::size_t uintRow) const
{
    if (uintRow >= static_cast<std::size_t>(m_pRows->rowCount()) || m_pRows->columnCount() == 0) {
        return {};
    }
    const QStyleOptionViewItem option = ItemOption(m_pRows->index(static_cast<int>(uintRow), 0));
    return m_pList->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option,
                                            m_pList);
}

bool ConfirmationDialog::ShowLabelTip(const QPoint& position, const QPoint& globalPosition)
{
    // The full text of a cell that is cut short, and no tip for one that fits.
    const QModelIndex index = m_pList->indexAt(position);
    if (index.isValid()) {
        const QStyleOptionViewItem option = ItemOption(index);
        const QStyle* pStyle = m_pList->style();
        const QRect textRect =
            pStyle->subElementRect(QStyle::SE_ItemViewItemText, &option, m_pList);
        const int intMargins =
            2 * (pStyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_pList) + 1);
        if (option.fontMetrics.horizontalAdvance(option.text) + intMargins > textRect.width()) {
            QToolTip::showText(globalPosition, option.text, m_pList->viewport(), option.rect);
            return true;
        }
    }
    QToolTip::hideText();
    return true;
}

}  // namespace pullbay::dialogs
