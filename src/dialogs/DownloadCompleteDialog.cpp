#include "dialogs/DownloadCompleteDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyle>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dialogs/DialogUnits.h"
#include "dialogs/DownloadLogTableModel.h"

namespace pullbay::dialogs {

namespace {

QString Text(const std::wstring& strText)
{
    return QString::fromStdWString(strText);
}

QPushButton* MakeButton(QWidget* pParent, int intId, const std::wstring& strText,
                        const QRect& geometry)
{
    auto* pButton = new QPushButton(Text(strText), pParent);
    pButton->setObjectName(QString::number(intId));
    pButton->setGeometry(geometry);
    return pButton;
}

// The exclusive bottom edge: where the next control could start.
int Bottom(const QWidget* pWidget)
{
    return pWidget->y() + pWidget->height();
}

}  // namespace

DownloadCompleteDialog::DownloadCompleteDialog(const api::CompletionReport& report,
                                               const std::wstring& strCaption, QWidget* pOwner)
    : TemplateDialog(pOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint, true),
      m_model(report.rows, report.texts, report.bCopyFailed, report.strDestination)
{
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    setWindowTitle(Text(strCaption));
    setFixedSize(units.Size(340, 206));
    setModal(true);
    const ui::DownloadLogTexts& texts = m_model.GetTexts();

    // Created in the template's order, which is also the focus order: OK
    // takes the focus first.
    m_pMessage = new QLabel(Text(texts.strDialogText), this);
    m_pMessage->setObjectName(QString::number(kMessageId));
    m_pMessage->setGeometry(units.Rect(7, 7, 326, 24));
    m_pMessage->setWordWrap(true);
    m_pMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pMessage->setTextFormat(Qt::PlainText);

    m_pOk = MakeButton(this, kOkId, texts.strOkButtonText, units.Rect(199, 35, 50, 14));
    m_pOk->setDefault(true);
    m_pLogButton =
        MakeButton(this, kLogButtonId, texts.strShowLogButtonText, units.Rect(253, 35, 80, 14));
    m_pLogButton->setVisible(m_model.IsLogButtonVisible());

    m_pTable = new DownloadLogTableModel(m_model, this);
    m_pList = new QTableView(this);
    m_pList->setObjectName(QString::number(kListId));
    m_pList->setGeometry(units.Rect(7, 54, 326, 129));
    m_pList->setModel(m_pTable);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setShowGrid(false);
    m_pList->setWordWrap(false);
    m_pList->setSortingEnabled(false);
    m_pList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setMinimumSectionSize(0);
    m_pList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 3);
    QHeaderView* pHeader = m_pList->horizontalHeader();
    pHeader->setSectionsClickable(false);
    pHeader->setSortIndicatorShown(false);
    pHeader->setStretchLastSection(false);
    pHeader->setSectionResizeMode(QHeaderView::Interactive);
    // The column starts as wide as the list's inside; the lines widen it.
    m_pList->ensurePolished();
    pHeader->resizeSection(0, m_pList->contentsRect().width());
    m_pTable->SetLineShown([this](const QString& strLine) { WidenColumnFor(strLine); });

    m_pCopySelected = MakeButton(this, kCopySelectedId, texts.strCopySelectedButtonText,
                                 units.Rect(202, 188, 69, 14));
    m_pCopyAll =
        MakeButton(this, kCopyAllId, texts.strCopyAllButtonText, units.Rect(275, 188, 58, 14));
    PlaceCopyButtons();

    connect(m_pOk, &QPushButton::clicked, this,
            [this] { done(ui::DownloadLogModel::kDialogResult); });
    connect(m_pLogButton, &QPushButton::clicked, this, [this] { ToggleLog(); });
    connect(m_pCopySelected, &QPushButton::clicked, this, [this] { CopySelected(); });
    connect(m_pCopyAll, &QPushButton::clicked, this, [this] { CopyAll(); });

    // The template is the unfolded layout: fold it, and unfold it again
    // when the log is to open unfolded, so both start from the same rule.
    Lay(false);
    if (m_model.IsExpanded()) {
        Lay(true);
    }
}

DownloadCompleteDialog::~DownloadCompleteDialog()
{
    // The view and its table read m_model, which goes before the children
    // that QObject deletes after this destructor.
    delete m_pList;
    delete m_pTable;
}

int DownloadCompleteDialog::LineWidth(const QString& strLine) const
{
    // The item draws its text inside a margin on each side.
    const int intMargin =
        m_pList->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_pList) + 1;
    return m_pList->fontMetrics().horizontalAdvance(strLine) + 2 * intMargin;
}

void DownloadCompleteDialog::PlaceCopyButtons()
{
    // Each button as wide as its text in the application's (system) font,
    // keeping its top and height: Copy All keeps its right edge, Copy
    // Selected ends a fixed gap left of it; no left edge below 0.
    const QFontMetrics systemMetrics(QApplication::font());
    const auto place = [&systemMetrics](QPushButton* pButton, int intRight) {
        const int intWidth = systemMetrics.horizontalAdvance(pButton->text());
        pButton->setGeometry(std::max(0, intRight - intWidth), pButton->y(), intWidth,
                             pButton->height());
    };
    place(m_pCopyAll, m_pCopyAll->x() + m_pCopyAll->width());
    place(m_pCopySelected, m_pCopyAll->x() - kCopyButtonGap);
}

void DownloadCompleteDialog::Lay(bool bExpanded)
{
    m_pList->setEnabled(true);
    m_pList->setVisible(bExpanded);
    const QWidget* pReference = bExpanded ? m_pCopyAll : m_pOk;
    const QWidget* pPrevious = bExpanded ? m_pOk : m_pCopyAll;
    const int intGap = height() - Bottom(pPrevious);
    setFixedSize(width(), Bottom(pReference) + intGap);
    const ui::DownloadLogTexts& texts = m_model.GetTexts();
    m_pLogButton->setText(
        Text(bExpanded ? texts.strHideLogButtonText : texts.strShowLogButtonText));
}

void DownloadCompleteDialog::ToggleLog()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_model.ToggleLog();
    Lay(m_model.IsExpanded());
}

void DownloadCompleteDialog::WidenColumnFor(const QString& strLine)
{
    const int intWidth = LineWidth(strLine);
    QHeaderView* pHeader = m_pList->horizontalHeader();
    if (intWidth > pHeader->sectionSize(0)) {
        pHeader->resizeSection(0, intWidth);
    }
}

void DownloadCompleteDialog::CopySelected()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    std::vector<std::int64_t> rows;
    for (const QModelIndex& index : m_pList->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    // No selection still replaces the clipboard, with an empty text.
    QGuiApplication::clipboard()->setText(Text(m_model.GetCopySelectedText(std::move(rows))));
}

void DownloadCompleteDialog::CopyAll()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    QGuiApplication::clipboard()->setText(Text(m_model.GetCopyAllText()));
}

}  // namespace pullbay::dialogs
