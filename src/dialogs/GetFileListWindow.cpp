#include "dialogs/GetFileListWindow.h"

#include <QString>

#include <algorithm>
#include <limits>

#include "dialogs/DialogUnits.h"

namespace pullbay::dialogs {

GetFileListWindow::GetFileListWindow(const api::FileListWindowTexts& texts,
                                     std::function<void()> cancel, QWidget* pOwner)
    : TemplateDialog(pOwner, Qt::Dialog, true), m_cancel(std::move(cancel))
{
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    setWindowTitle(QString::fromLatin1(kCaption));
    setFixedSize(units.Size(336, 45));
    setWindowModality(Qt::ApplicationModal);

    m_pText = new QLabel(QString::fromStdWString(texts.strText), this);
    m_pText->setObjectName(QStringLiteral("220"));
    m_pText->setGeometry(units.Rect(7, 9, 267, 8));
    m_pText->setTextFormat(Qt::PlainText);

    m_pBar = new QProgressBar(this);
    m_pBar->setObjectName(QStringLiteral("208"));
    m_pBar->setGeometry(units.Rect(7, 22, 267, 11));
    m_pBar->setTextVisible(false);
    m_pBar->setRange(0, 100);
    m_pBar->setValue(0);

    m_pCancel = new QPushButton(QString::fromStdWString(texts.strCancelButtonText), this);
    m_pCancel->setObjectName(QStringLiteral("201"));
    m_pCancel->setGeometry(units.Rect(278, 21, 50, 14));
    m_pCancel->setDefault(true);
    connect(m_pCancel, &QPushButton::clicked, this, [this] {
        PB_ASSERT_OWNER_THREAD(m_guiThread);
        if (m_cancel) {
            m_cancel();
        }
    });
}

void GetFileListWindow::SetProgress(std::int64_t intDone, std::int64_t intExpected)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (intExpected < 1) {
        if (!m_bMarquee) {
            // A range of 0..0 is Qt's busy indicator.
            m_bMarquee = true;
            m_pBar->setRange(0, 0);
        }
        return;
    }
    if (m_bMarquee) {
        return;
    }
    // The bar counts in ints: sizes beyond them are shown in thousandths.
    constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
    if (intExpected <= kIntMax) {
        m_pBar->setRange(0, static_cast<int>(intExpected));
        m_pBar->setValue(static_cast<int>(std::clamp<std::int64_t>(intDone, 0, intExpected)));
    } else {
        m_pBar->setRange(0, 1000);
        m_pBar->setValue(static_cast<int>(std::clamp<std::int64_t>(intDone, 0, intExpected) /
                                          (intExpected / 1000)));
    }
}

}  // namespace pullbay::dialogs
