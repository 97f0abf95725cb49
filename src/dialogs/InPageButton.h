#pragma once
// The control's face inside its page: one push button that starts a download
// run, on the control's window filled with the background colour. The button
// covers the window when made; a relabelling sizes it to its text (plus 14 by
// 10 pixels) and centres it; a resize of the window leaves it where it is.
// Focus given to the window goes to the button. Also draws the control for a
// host that has no window for it yet. GUI thread only.
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>

class QPainter;
class QPushButton;
class QRect;
class QWidget;

namespace pullbay::dialogs {

class InPageButton : public QObject {
public:
    // Made on the control's window, which owns it and its button.
    // colorRef is 0x00BBGGRR.
    InPageButton(QWidget* pWindow, const QString& strText, std::uint32_t uintColorRef,
                 bool bEnabled, std::function<void()> clicked);

    void SetEnabled(bool bEnabled);
    void Relabel(const QString& strText);
    // Null once the window has gone.
    QPushButton* Button() const { return m_pButton.data(); }

    // What the control looks like before its window exists: a rectangle over
    // the bounds with the title centred in it.
    static void DrawDesignTime(QPainter& painter, const QRect& bounds, const QString& strTitle);
    // Once the window exists: the bounds filled with the background colour.
    static void DrawInitialized(QPainter& painter, const QRect& bounds, std::uint32_t uintColorRef);

protected:
    // Paints the window's background under the button.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QPointer<QWidget> m_pWindow;
    QPointer<QPushButton> m_pButton;
    const std::uint32_t m_uintColorRef;
};

}  // namespace pullbay::dialogs
