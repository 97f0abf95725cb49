#include "dialogs/Panel.h"

#include <QPainter>

#include <algorithm>

namespace pullbay::dialogs {

namespace {

// Where a child of `size` goes in [from, to) with margins before and after.
void Place(Panel::Align align, int intFrom, int intTo, int intBefore, int intAfter, int intSize,
           int& intStart, int& intEnd)
{
    switch (align) {
    case Panel::Align::Left:  // also Top
        intStart = intFrom + intBefore;
        intEnd = intStart + intSize;
        break;
    case Panel::Align::Right:  // also Bottom
        intEnd = intTo - intAfter;
        intStart = intEnd - intSize;
        break;
    case Panel::Align::Stretch:
        intStart = intFrom + intBefore;
        intEnd = intTo - intAfter;
        break;
    default:
        intStart = intFrom + (intTo - intFrom) / 2 - intSize / 2;
        intEnd = intStart + intSize;
        break;
    }
}

}  // namespace

Panel::Panel(QWidget* pParent) : QWidget(pParent)
{
}

void Panel::AddItem(Item item)
{
    m_items.erase(
        std::remove_if(m_items.begin(), m_items.end(),
                       [&item](const Item& other) { return other.pChild == item.pChild; }),
        m_items.end());
    m_items.push_back(std::move(item));
}

void Panel::SetBackgroundColor(const QColor& color)
{
    m_background = color;
    update();
}

void Panel::Layout()
{
    // QRect's right and bottom are inclusive; the layout works on
    // half-open edges.
    int intLeft = 0;
    int intTop = 0;
    int intRight = width();
    int intBottom = height();
    for (Item& item : m_items) {
        if (!item.pChild || !item.bVisible || intRight <= intLeft || intBottom <= intTop) {
            item.slot = QRect();
            item.child = QRect();
            continue;
        }
        int intSlotLeft = intLeft;
        int intSlotTop = intTop;
        int intSlotRight = intRight;
        int intSlotBottom = intBottom;
        const QSize own = item.pChild->size();
        if (item.sizeMode == SizeMode::ChildSize) {
            item.intWidth = own.width();
            item.intHeight = own.height();
        }
        const bool bHorizontal = item.dock == Dock::Left || item.dock == Dock::Right;
        const int intExtent = bHorizontal ? intRight - intLeft : intBottom - intTop;
        int intSize = 0;
        switch (item.sizeMode) {
        case SizeMode::Absolute:
            intSize = item.intSlotSize;
            break;
        case SizeMode::Percent:
            intSize = static_cast<int>(static_cast<double>(item.intSlotSize) / 100.0 * intExtent);
            break;
        case SizeMode::ChildSize:
            intSize = bHorizontal ? own.width() : own.height();
            break;
        }
        intSize = std::min(intSize, intExtent);
        switch (item.dock) {
        case Dock::Left:
            intSlotRight = intSlotLeft + intSize;
            intLeft = intSlotRight;
            break;
        case Dock::Top:
            intSlotBottom = intSlotTop + intSize;
            intTop = intSlotBottom;
            break;
        case Dock::Right:
            intSlotLeft = intSlotRight - intSize;
            intRight = intSlotLeft;
            break;
        case Dock::Bottom:
            intSlotTop = intSlotBottom - intSize;
            intBottom = intSlotTop;
            break;
        }
        item.slot =
            QRect(QPoint(intSlotLeft, intSlotTop), QPoint(intSlotRight - 1, intSlotBottom - 1));
        int intChildLeft = 0;
        int intChildRight = 0;
        int intChildTop = 0;
        int intChildBottom = 0;
        Place(item.horizontal, intSlotLeft, intSlotRight, item.intMarginLeft, item.intMarginRight,
              item.intWidth, intChildLeft, intChildRight);
        Place(item.vertical, intSlotTop, intSlotBottom, item.intMarginTop, item.intMarginBottom,
              item.intHeight, intChildTop, intChildBottom);
        item.child =
            QRect(QPoint(intChildLeft, intChildTop), QPoint(intChildRight - 1, intChildBottom - 1));
    }
    for (const Item& item : m_items) {
        if (item.pChild && item.bVisible) {
            item.pChild->setGeometry(item.child);
        }
    }
}

void Panel::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    Layout();
}

void Panel::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    Layout();
}

void Panel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
}

}  // namespace pullbay::dialogs
