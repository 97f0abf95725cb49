#include "dialogs/ProgressDialog.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPalette>
#include <QString>

#include "dialogs/DialogUnits.h"
#include "dialogs/Panel.h"

namespace pullbay::dialogs {

namespace {

QString Text(const std::wstring& strText)
{
    return QString::fromStdWString(strText);
}

// A button measures its text plus 14 pixels across and 10 down (an empty
// text measures nothing).
QPushButton* MakeButton(const QString& strText, QWidget* pParent)
{
    auto* pButton = new QPushButton(strText, pParent);
    pButton->setAutoDefault(false);
    pButton->setDefault(false);
    const QFontMetrics metrics(pParent->font());
    const int intTextHeight = strText.isEmpty() ? 0 : metrics.height();
    pButton->resize(metrics.horizontalAdvance(strText) + 14, intTextHeight + 10);
    return pButton;
}

// The bars' background is the control's BackgroundColor (0x00BBGGRR).
QProgressBar* MakeBar(QWidget* pParent, std::uint32_t uintColor)
{
    auto* pBar = new QProgressBar(pParent);
    QPalette palette = pBar->palette();
    palette.setColor(QPalette::Base, QColor(static_cast<int>(uintColor & 0xFF),
                                            static_cast<int>((uintColor >> 8) & 0xFF),
                                            static_cast<int>((uintColor >> 16) & 0xFF)));
    pBar->setPalette(palette);
    pBar->setRange(0, ui::ProgressModel::kBarMaximum);
    pBar->setValue(0);
    pBar->setTextVisible(false);
    return pBar;
}

Panel::Item Fill(QWidget* pChild, int intSlot, int intLeft, int intTop, int intRight, int intBottom,
                 Panel::SizeMode mode = Panel::SizeMode::Absolute)
{
    Panel::Item item;
    item.pChild = pChild;
    item.dock = Panel::Dock::Bottom;
    item.horizontal = Panel::Align::Stretch;
    item.vertical = Panel::Align::Stretch;
    item.intSlotSize = intSlot;
    item.sizeMode = mode;
    item.intMarginLeft = intLeft;
    item.intMarginTop = intTop;
    item.intMarginRight = intRight;
    item.intMarginBottom = intBottom;
    return item;
}

Panel::Item RightButton(QPushButton* pButton, int intSlot, int intMarginRight)
{
    Panel::Item item;
    item.pChild = pButton;
    item.dock = Panel::Dock::Right;
    item.horizontal = Panel::Align::Right;
    item.vertical = Panel::Align::Centre;
    item.intSlotSize = intSlot;
    item.intMarginRight = intMarginRight;
    item.intWidth = pButton->width();
    item.intHeight = pButton->height();
    return item;
}

}  // namespace

ProgressDialog::ProgressDialog(std::shared_ptr<api::IProgressSource> pSource,
                               const std::wstring& strCaption, QWidget* pOwner,
                               ui::ProgressModel::MillisecondClock clock)
    : TemplateDialog(pOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint, false),
      m_pSource(std::move(pSource)),
      m_model(m_pSource->TimeTexts(), m_pSource->Texts(), std::move(clock))
{
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    setWindowTitle(Text(strCaption));
    resize(units.Size(338, 97));
    setModal(true);
    const QColor buttonFace = palette().color(QPalette::Button);

    m_pMain = new Panel(this);
    m_pMain->SetBackgroundColor(buttonFace);
    m_pButtons = new Panel(m_pMain);
    m_pButtons->SetBackgroundColor(buttonFace);
    m_pSkipAll = MakeButton(Text(m_model.GetSkipAllButtonText()), m_pButtons);
    m_pButtons->AddItem(RightButton(m_pSkipAll, m_pSkipAll->width() + 5, 0));
    m_pSkipCurrent = MakeButton(Text(m_model.GetSkipCurrentButtonText()), m_pButtons);
    m_pButtons->AddItem(RightButton(m_pSkipCurrent, m_pSkipCurrent->width() + 8, 8));

    const std::uint32_t uintBarColor = m_pSource->BarBackgroundColor();
    m_pTotalBar = MakeBar(m_pMain, uintBarColor);
    m_pDetail = new QLabel(m_pMain);
    m_pDetail->setTextFormat(Qt::PlainText);
    m_pDetail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pItemBar = MakeBar(m_pMain, uintBarColor);
    m_pUrl = new QLabel(m_pMain);
    m_pUrl->setTextFormat(Qt::PlainText);
    m_pUrl->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_pUrl->installEventFilter(this);
    m_pDetail->installEventFilter(this);

    m_pMain->AddItem(Fill(m_pButtons, 50, 8, 8, 8, 8));
    m_pMain->AddItem(Fill(m_pTotalBar, 18, 8, 0, 8, 0));
    m_pMain->AddItem(Fill(m_pDetail, 35, 8, 12, 8, 8));
    m_pMain->AddItem(Fill(m_pItemBar, 18, 8, 0, 8, 0));
    m_pMain->AddItem(Fill(m_pUrl, 100, 8, 12, 8, 8, Panel::SizeMode::Percent));
    m_pMain->setGeometry(rect());

    connect(m_pSkipCurrent, &QPushButton::clicked, this, [this] {
        if (m_model.OnCommand(ui::ProgressModel::Command::SkipCurrent) ==
            ui::ProgressModel::EngineRequest::SkipCurrent) {
            m_pSource->SkipCurrent();
        }
    });
    connect(m_pSkipAll, &QPushButton::clicked, this, [this] {
        if (m_model.OnCommand(ui::ProgressModel::Command::SkipAll) ==
            ui::ProgressModel::EngineRequest::SkipAll) {
            m_pSource->SkipAll();
        }
    });
    m_timer.setInterval(static_cast<int>(ui::ProgressModel::kTickMilliseconds));
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    m_timer.start();
}

void ProgressDialog::Tick()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // The templates and byte units are read at every tick.
    m_model.SetTexts(m_pSource->Texts());
    m_model.Tick(m_pSource->State());
    if (m_model.IsFinished()) {
        m_timer.stop();
        if (isVisible()) {
            done(ui::ProgressModel::kDialogResult);
        }
        return;
    }
    m_strUrl = Text(m_model.GetUrl());
    m_strDetail = Text(m_model.GetProgressText());
    m_pUrl->setToolTip(m_strUrl);
    ShowTexts();
    m_pItemBar->setValue(m_model.GetItemBarPosition());
    m_pTotalBar->setValue(m_model.GetTotalBarPosition());
}

void ProgressDialog::ShowTexts()
{
    const QFontMetrics metrics(m_pUrl->font());
    m_pUrl->setText(metrics.elidedText(m_strUrl, Qt::ElideMiddle, m_pUrl->width()));
    m_pDetail->setText(metrics.elidedText(m_strDetail, Qt::ElideRight, m_pDetail->width()));
}

bool ProgressDialog::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::Resize && (pWatched == m_pUrl || pWatched == m_pDetail)) {
        ShowTexts();
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void ProgressDialog::Cancel()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_timer.stop();
    if (isVisible()) {
        done(ui::ProgressModel::kDialogResult);
    }
}

void ProgressDialog::resizeEvent(QResizeEvent* pEvent)
{
    QDialog::resizeEvent(pEvent);
    // The main panel fills the client area and lays out on its own resize.
    if (m_pMain != nullptr) {
        m_pMain->setGeometry(rect());
    }
}

}  // namespace pullbay::dialogs
