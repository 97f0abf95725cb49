#include "dialogs/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>
#include <QString>

#include <algorithm>
#include <cmath>

namespace pullbay::dialogs {

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int intAdvance = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_intBaseX = std::max(1, static_cast<int>(std::lround(intAdvance / 52.0)));
    m_intBaseY = std::max(1, metrics.height());
}

QFont DialogUnits::DialogFont()
{
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

QRect DialogUnits::Rect(int intX, int intY, int intWidth, int intHeight) const
{
    // Both corners are converted, so neighbouring controls meet as in the
    // template whatever the rounding.
    const int intLeft = X(intX);
    const int intTop = Y(intY);
    return QRect(intLeft, intTop, X(intX + intWidth) - intLeft, Y(intY + intHeight) - intTop);
}

}  // namespace pullbay::dialogs
