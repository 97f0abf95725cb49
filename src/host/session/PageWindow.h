#pragma once
// The page the control sits on, for a person at a desktop: a top-level
// window titled by the page's title, holding the control's window at its
// extent with a page margin around it. Says when the person closes it.
// GUI thread only.
#include <QString>
#include <QWidget>

#include <functional>

namespace pullbay::host {

class PageWindow : public QWidget {
public:
    // The page's margin around the control, in pixels.
    static constexpr int kMargin = 16;

    PageWindow(const QString& strTitle, int intWidth, int intHeight, std::function<void()> closed);

    // Where the control's window goes: a child of the page at the control's
    // extent.
    QWidget* ControlArea() const { return m_pControlArea; }

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    QWidget* m_pControlArea;
    std::function<void()> m_closed;
};

}  // namespace pullbay::host
