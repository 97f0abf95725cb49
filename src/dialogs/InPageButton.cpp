#include "dialogs/InPageButton.h"

#include <QColor>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPushButton>
#include <QRect>
#include <QWidget>

namespace pullbay::dialogs {
namespace {

// The control id the button carries, for a host that looks for it.
constexpr const char* kButtonName = "button150";
// A relabelled button is its text's size plus these pixels.
constexpr int kTextPadWidth = 14;
constexpr int kTextPadHeight = 10;

QColor FromColorRef(std::uint32_t uintColorRef)
{
    return QColor(static_cast<int>(uintColorRef & 0xFF),
                  static_cast<int>((uintColorRef >> 8) & 0xFF),
                  static_cast<int>((uintColorRef >> 16) & 0xFF));
}

}  // namespace

InPageButton::InPageButton(QWidget* pWindow, const QString& strText, std::uint32_t uintColorRef,
                           bool bEnabled, std::function<void()> clicked)
    : QObject(pWindow), m_pWindow(pWindow), m_uintColorRef(uintColorRef)
{
    m_pButton = new QPushButton(strText, pWindow);
    m_pButton->setObjectName(QString::fromLatin1(kButtonName));
    m_pButton->setGeometry(pWindow->rect());
    m_pButton->setFocusPolicy(Qt::StrongFocus);
    m_pButton->setEnabled(bEnabled);
    m_pButton->show();
    // Focus given to the window, not already on one of its children, goes on
    // to the button.
    pWindow->setFocusProxy(m_pButton);
    pWindow->installEventFilter(this);
    // Queued: the run (with its modal dialogs) starts once the click has
    // returned, so nothing of the run sits inside the button's own handler,
    // which may be gone when the run ends.
    QObject::connect(
        m_pButton, &QPushButton::clicked, this, [clicked = std::move(clicked)] { clicked(); },
        Qt::QueuedConnection);
    pWindow->update();
}

void InPageButton::SetEnabled(bool bEnabled)
{
    if (m_pButton) {
        m_pButton->setEnabled(bEnabled);
    }
}

void InPageButton::Relabel(const QString& strText)
{
    if (!m_pButton || !m_pWindow) {
        return;
    }
    m_pButton->setText(strText);
    const QSize text = QFontMetrics(m_pButton->font()).size(Qt::TextSingleLine, strText);
    const int intWidth = text.width() + kTextPadWidth;
    const int intHeight = text.height() + kTextPadHeight;
    // Integer halves, so an odd remainder leaves the extra pixel right and below.
    m_pButton->setGeometry((m_pWindow->width() - intWidth) / 2,
                           (m_pWindow->height() - intHeight) / 2, intWidth, intHeight);
}

bool InPageButton::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pWindow && pEvent->type() == QEvent::Paint) {
        QPainter painter(m_pWindow);
        DrawInitialized(painter, m_pWindow->rect(), m_uintColorRef);
        return true;
    }
    return QObject::eventFilter(pWatched, pEvent);
}

void InPageButton::DrawDesignTime(QPainter& painter, const QRect& bounds, const QString& strTitle)
{
    painter.save();
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    // A one-pixel frame inside the bounds: the last row and column are the
    // bounds' own.
    painter.drawRect(bounds.adjusted(0, 0, -1, -1));
    painter.drawText(bounds, Qt::AlignCenter | Qt::TextSingleLine, strTitle);
    painter.restore();
}

void InPageButton::DrawInitialized(QPainter& painter, const QRect& bounds,
                                   std::uint32_t uintColorRef)
{
    painter.fillRect(bounds, FromColorRef(uintColorRef));
}

}  // namespace pullbay::dialogs
