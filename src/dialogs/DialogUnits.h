#pragma once
// A dialog template's units in pixels, from the dialog font's metrics: the
// horizontal base is the average width of "A".."Z" "a".."z" (rounded), the
// vertical base the font's height; x = du * baseX / 4, y = du * baseY / 8.
// Any thread that may use the font.
#include <QFont>
#include <QRect>
#include <QSize>

namespace pullbay::dialogs {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    // The font of the control's dialog templates: the application's family
    // at 8 points.
    static QFont DialogFont();

    int X(int intUnits) const { return intUnits * m_intBaseX / 4; }
    int Y(int intUnits) const { return intUnits * m_intBaseY / 8; }
    QRect Rect(int intX, int intY, int intWidth, int intHeight) const;
    QSize Size(int intWidth, int intHeight) const { return {X(intWidth), Y(intHeight)}; }

private:
    int m_intBaseX;
    int m_intBaseY;
};

}  // namespace pullbay::dialogs
