#include "host/session/PageWindow.h"

#include <QCloseEvent>
#include <QPalette>

namespace pullbay::host {

PageWindow::PageWindow(const QString& strTitle, int intWidth, int intHeight,
                       std::function<void()> closed)
    : m_pControlArea(new QWidget(this)), m_closed(std::move(closed))
{
    // An untitled page is named by its address in a browser; here by the
    // program.
    setWindowTitle(strTitle.isEmpty() ? QStringLiteral("pullbay") : strTitle);
    QPalette page = palette();
    page.setColor(QPalette::Window, Qt::white);
    setPalette(page);
    setAutoFillBackground(true);
    m_pControlArea->setGeometry(kMargin, kMargin, intWidth, intHeight);
    setFixedSize(intWidth + 2 * kMargin, intHeight + 2 * kMargin);
}

void PageWindow::closeEvent(QCloseEvent* pEvent)
{
    pEvent->accept();
    if (m_closed) {
        m_closed();
    }
}

}  // namespace pullbay::host
