#pragma once
// A dock-layout container: its items, in the order they were added, each
// take a slot from a side of the space that is left (pixels, a percentage of
// what remains, or the child's own size) and place their child in the slot
// by alignment and margins. Lays out whenever it is moved or resized, and
// paints its background. GUI thread only.
#include <QColor>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

namespace pullbay::dialogs {

class Panel : public QWidget {
public:
    enum class Align { Left = 0, Top = 0, Right = 2, Bottom = 2, Stretch = 3, Centre = 1 };
    enum class Dock { Left = 0, Top = 1, Right = 2, Bottom = 3 };
    enum class SizeMode { Absolute = 0, Percent = 1, ChildSize = 2 };

    struct Item {
        QPointer<QWidget> pChild;
        Align horizontal = Align::Stretch;
        Align vertical = Align::Stretch;
        Dock dock = Dock::Bottom;
        int intMarginLeft = 0;
        int intMarginTop = 0;
        int intMarginRight = 0;
        int intMarginBottom = 0;
        int intWidth = 0;
        int intHeight = 0;
        int intSlotSize = 0;
        SizeMode sizeMode = SizeMode::Absolute;
        bool bVisible = true;
        // Computed by Layout.
        QRect slot;
        QRect child;
    };

    explicit Panel(QWidget* pParent);

    // Appends the item; an item of the same child is removed first.
    void AddItem(Item item);
    void SetBackgroundColor(const QColor& color);
    // Places every child (see the class comment).
    void Layout();

    const std::vector<Item>& Items() const { return m_items; }

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    std::vector<Item> m_items;
    QColor m_background = Qt::white;
};

}  // namespace pullbay::dialogs
