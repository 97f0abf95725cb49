#include "dialogs/FileExistsDialog.h"

#include <QString>

#include "dialogs/DialogUnits.h"

namespace pullbay::dialogs {

namespace {

QString Text(const std::wstring& strText)
{
    return QString::fromStdWString(strText);
}

QPushButton* MakeButton(QWidget* pParent, const DialogUnits& units, int intId,
                        const std::wstring& strText, int intX)
{
    auto* pButton = new QPushButton(Text(strText), pParent);
    pButton->setObjectName(QString::number(intId));
    pButton->setGeometry(units.Rect(intX, 41, 60, 14));
    // Enter presses no button: the template has no default push button.
    pButton->setAutoDefault(false);
    pButton->setDefault(false);
    return pButton;
}

}  // namespace

FileExistsDialog::FileExistsDialog(const api::FileExistsQuestion& question, QWidget* pOwner,
                                   ui::FileExistsModel::MillisecondClock clock)
    : TemplateDialog(pOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint, false),
      m_model(question.settings, question.strQuestion, std::move(clock))
{
    setFont(DialogUnits::DialogFont());
    const DialogUnits units(font());
    setWindowTitle(Text(question.settings.strCaption));
    setFixedSize(units.Size(345, 86));
    setModal(true);

    m_pQuestion = new QLabel(Text(m_model.Question()), this);
    m_pQuestion->setGeometry(units.Rect(7, 7, 331, 32));
    m_pQuestion->setWordWrap(true);
    m_pQuestion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pQuestion->setTextFormat(Qt::PlainText);

    const ui::FileExistsSettings& settings = m_model.Settings();
    m_pOverwrite = MakeButton(this, units, kOverwriteId, settings.strOverwriteButtonText, 80);
    m_pSkip = MakeButton(this, units, kSkipId, settings.strSkipButtonText, 143);
    m_pRename = MakeButton(this, units, kRenameId, settings.strRenameButtonText, 206);
    connect(m_pOverwrite, &QPushButton::clicked, this,
            [this] { Choose(ui::FileExistsAnswer::Overwrite); });
    connect(m_pSkip, &QPushButton::clicked, this, [this] { Choose(ui::FileExistsAnswer::Skip); });
    connect(m_pRename, &QPushButton::clicked, this,
            [this] { Choose(ui::FileExistsAnswer::Rename); });

    m_pTimeLeft = new QLabel(Text(m_model.TimeLeftText()), this);
    m_pTimeLeft->setObjectName(QString::number(kTimeLeftId));
    m_pTimeLeft->setGeometry(units.Rect(7, 58, 331, 10));
    m_pTimeLeft->setTextFormat(Qt::PlainText);

    m_pApplyToAll = new QCheckBox(Text(settings.strApplyToAllText), this);
    m_pApplyToAll->setObjectName(QString::number(kApplyToAllId));
    m_pApplyToAll->setGeometry(units.Rect(7, 69, 331, 10));
    m_pApplyToAll->setChecked(false);

    if (m_model.HasCountdown()) {
        m_timer.setInterval(ui::FileExistsModel::kTickMilliseconds);
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }
}

QPushButton* FileExistsDialog::Button(ui::FileExistsAnswer answer) const
{
    switch (answer) {
    case ui::FileExistsAnswer::Overwrite:
        return m_pOverwrite;
    case ui::FileExistsAnswer::Skip:
        return m_pSkip;
    case ui::FileExistsAnswer::Rename:
        return m_pRename;
    }
    return nullptr;
}

void FileExistsDialog::Poll()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_model.Poll();
    m_pTimeLeft->setText(Text(m_model.TimeLeftText()));
    EndIfFinished();
}

void FileExistsDialog::Cancel()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    Choose(ui::FileExistsAnswer::Skip);
}

void FileExistsDialog::Choose(ui::FileExistsAnswer answer)
{
    m_model.SetApplyToAllChecked(m_pApplyToAll->isChecked());
    m_model.Choose(answer);
    EndIfFinished();
}

void FileExistsDialog::EndIfFinished()
{
    if (!m_model.IsFinished()) {
        return;
    }
    m_timer.stop();
    if (isVisible()) {
        done(QDialog::Accepted);
    }
}

}  // namespace pullbay::dialogs
