// Renders the control's dialogs with realistic sample data into PNG files,
// offscreen, so that a reader sees what the user sees without building a
// run: `render_dialogs <folder>` (make screenshots writes docs/images).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QString>
#include <QWidget>

#include <cstdio>
#include <memory>

#include "control/DialogSettings.h"
#include "control/Pullbay.h"
#include "dialogs/ConfirmationDialog.h"
#include "dialogs/DownloadCompleteDialog.h"
#include "dialogs/FileExistsDialog.h"
#include "dialogs/GetFileListWindow.h"
#include "dialogs/ProgressDialog.h"
#include "host/session/PageWindow.h"
#include "model/FileItem.h"
#include "model/FileList.h"
#include "model/PropertyHolder.h"
#include "model/PropertyTable.h"
#include "pullbay/Events.h"
#include "ui/ProgressStatistic.h"

namespace {

using namespace pullbay;

constexpr std::uint64_t kMiB = 1024 * 1024;

// A transfer caught in the middle: the second of two files, half done.
class SampleSource : public api::IProgressSource {
public:
    explicit SampleSource(const model::PropertyHolder& settings) : m_settings(settings)
    {
        std::int64_t intNow = 0;
        ui::ProgressStatistic statistic(24 * kMiB, [&intNow] { return intNow; });
        statistic.UpdateItemProgress(std::make_shared<int>(1), 8 * kMiB, 8 * kMiB);
        intNow += 4000;
        statistic.UpdateItemProgress(std::make_shared<int>(2), 6 * kMiB, 16 * kMiB);
        m_state.bEngineAlive = true;
        m_state.bHasCurrentItem = true;
        m_state.strCurrentUrl =
            L"https://downloads.example.org/releases/2026/atlas-maps-europe.zip";
        m_state.ReadStatistic(statistic);
    }
    ui::ProgressTexts Texts() const override
    {
        return control::DialogSettings::ProgressTexts(m_settings);
    }
    ui::ProgressTimeTexts TimeTexts() const override
    {
        return control::DialogSettings::ProgressTimeTexts(m_settings);
    }
    ui::ProgressEngineState State() const override { return m_state; }
    void SkipCurrent() override {}
    void SkipAll() override {}

private:
    const model::PropertyHolder& m_settings;
    ui::ProgressEngineState m_state;
};

bool Save(QWidget& widget, const QDir& folder, const char* pName)
{
    widget.show();
    QApplication::processEvents();
    const QString strPath = folder.filePath(QString::fromLatin1(pName));
    if (!widget.grab().save(strPath)) {
        std::fprintf(stderr, "render_dialogs: cannot write %s\n",
                     strPath.toLocal8Bit().constData());
        return false;
    }
    std::printf("%s\n", strPath.toLocal8Bit().constData());
    widget.hide();
    return true;
}

ui::DownloadLogRow LogRow(const std::wstring& strName, const std::wstring& strSubFolder,
                          int intResult)
{
    ui::DownloadLogRow row;
    row.strUrl = L"https://downloads.example.org/releases/2026/" + strName;
    row.strFileName = strSubFolder.empty() ? strName : strSubFolder + L"/" + strName;
    row.strDestinationFolder = L"/home/ada/Downloads/atlas";
    if (!strSubFolder.empty()) {
        row.strDestinationFolder += L"/" + strSubFolder;
    }
    row.strDestinationFileName = strName;
    row.intResult = intResult;
    return row;
}

// The download-complete dialog as it opens (folded), and with its log shown
// for a run of six files: three written, one missing on the server, one
// skipped, one of the wrong size.
bool SaveDownloadComplete(const model::PropertyHolder& settings, const QDir& folder)
{
    api::CompletionReport report;
    report.texts = control::DialogSettings::DownloadLog(settings);
    report.rows = {
        LogRow(L"maps-europe.zip", L"maps", api::ItemSuccess),
        LogRow(L"maps-asia.zip", L"maps", api::ItemSuccess),
        LogRow(L"legend.pdf", L"docs", api::ItemSuccess),
        LogRow(L"maps-oceania.zip", L"maps", api::ItemNotFound),
        LogRow(L"readme.txt", L"", api::ItemSkipped),
        LogRow(L"elevation-data.tar.gz", L"data", api::ItemWrongFileSize),
    };
    report.strDestination = L"/home/ada/Downloads/atlas";
    bool bOk = true;
    pullbay::dialogs::DownloadCompleteDialog folded(report, model::PropertyHolder::kCaption,
                                                    nullptr);
    bOk = Save(folded, folder, "download-complete-dialog.png") && bOk;

    report.texts.bLogExpanded = true;
    pullbay::dialogs::DownloadCompleteDialog unfolded(report, model::PropertyHolder::kCaption,
                                                      nullptr);
    unfolded.LogView()->selectRow(1);
    // The first paint widens the column; the scroll bar follows on the next
    // round of events.
    unfolded.show();
    QApplication::processEvents();
    bOk = Save(unfolded, folder, "download-complete-log.png") && bOk;
    return bOk;
}

// The confirmation dialog as it opens (folded), then unfolded over a short
// release with its installer left out.
bool SaveConfirmation(const model::PropertyHolder& settings, const QDir& folder)
{
    const std::wstring strBase = L"https://downloads.example.org/releases/2026/";
    const struct {
        const wchar_t* pName;
        std::int32_t intSize;
        const wchar_t* pMimeType;
    } files[] = {
        {L"atlas-maps-europe.zip", 25165824, L"application/zip"},
        {L"atlas-maps-asia.zip", 33030144, L"application/zip"},
        {L"atlas-maps-africa.zip", 19084288, L"application/zip"},
        {L"atlas-viewer-setup.exe", 8178892, L"application/x-msdownload"},
        {L"release-notes.html", 16384, L"text/html"},
        {L"license.pdf", 114688, L"application/pdf"},
        {L"checksums.sha256", 412, L"text/plain"},
        {L"readme.txt", 3921, L"text/plain"},
    };
    model::FileList list;
    for (const auto& file : files) {
        list.Add(model::FileItem::Create(file.pMimeType, file.intSize, file.pName,
                                         strBase + file.pName));
    }
    const api::ConfirmationRequest request =
        control::DialogSettings::ConfirmationRequest(settings, L"downloads.example.org", list);

    pullbay::dialogs::ConfirmationDialog folded(request, nullptr);
    bool bOk = Save(folded, folder, "confirmation-dialog.png");

    pullbay::dialogs::ConfirmationDialog unfolded(request, nullptr);
    unfolded.FoldButton()->click();
    QAbstractItemModel* pRows = unfolded.List()->model();
    pRows->setData(pRows->index(3, 0), Qt::Unchecked, Qt::CheckStateRole);
    unfolded.List()->selectRow(4);
    return Save(unfolded, folder, "confirmation-dialog-list.png") && bOk;
}

// The control in its page: the page window with the button relabelled by
// script (so the background colour shows around it), and the picture a host
// draws before the control has a window.
bool SavePage(const QDir& folder)
{
    pullbay::control::Pullbay control;
    control.PutProperty(model::PropertyTable::kDispidBackgroundColor,
                        com::Variant::FromString(com::NullableString(L"lightsteelblue")));
    QImage design(220, 60, QImage::Format_RGB32);
    design.fill(Qt::white);
    {
        QPainter painter(&design);
        control.Draw(painter, design.rect());
    }
    const QString strDesign = folder.filePath(QStringLiteral("control-design-time.png"));
    bool bOk = design.save(strDesign);
    std::printf("%s\n", strDesign.toLocal8Bit().constData());

    pullbay::host::PageWindow page(QStringLiteral("Quarterly reports"), 220, 60, {});
    QWidget* pControlWindow = new QWidget(page.ControlArea());
    pControlWindow->resize(220, 60);
    control.OnWindowCreated(pControlWindow);
    control.PutProperty(model::PropertyTable::kDispidButtonDownloadText,
                        com::Variant::FromString(com::NullableString(L"Download the reports")));
    bOk = Save(page, folder, "page-window.png") && bOk;
    control.OnWindowDestroyed();
    return bOk;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_dialogs <folder>\n");
        return 64;
    }
    QApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "render_dialogs: cannot create %s\n", argv[1]);
        return 1;
    }
    const model::PropertyHolder settings;
    bool bOk = true;

    api::FileExistsQuestion question = control::DialogSettings::FileExistsQuestion(
        settings, L"/home/ada/Downloads/atlas/maps-europe.zip",
        model::FileExistsDialogAction::Rename);
    question.settings.intTimeOut = 30000;
    pullbay::dialogs::FileExistsDialog exists(question, nullptr);
    bOk = Save(exists, folder, "file-exists.png") && bOk;

    auto pSource = std::make_shared<SampleSource>(settings);
    pullbay::dialogs::ProgressDialog progress(pSource, model::PropertyHolder::kCaption, nullptr);
    progress.Tick();
    bOk = Save(progress, folder, "progress.png") && bOk;

    pullbay::dialogs::GetFileListWindow list(
        {settings.GetText(model::TextProperty::FileListProgressDialogText),
         settings.GetText(model::TextProperty::FileListProgressDialogCancelButtonText)},
        {}, nullptr);
    list.SetProgress(41000, 100000);
    bOk = Save(list, folder, "get-file-list.png") && bOk;

    QMessageBox prompt(
        QMessageBox::Question, QString::fromWCharArray(model::PropertyHolder::kCaption),
        QString::fromStdWString(settings.GetText(model::TextProperty::MessageOpenFolderText)),
        QMessageBox::Yes | QMessageBox::No);
    bOk = Save(prompt, folder, "open-folder-prompt.png") && bOk;

    QMessageBox noFiles(QMessageBox::Information,
                        QString::fromWCharArray(model::PropertyHolder::kCaption),
                        QString::fromStdWString(
                            settings.GetText(model::TextProperty::MessageNoFilesToDownloadText)),
                        QMessageBox::Ok);
    bOk = Save(noFiles, folder, "no-files.png") && bOk;

    bOk = SaveConfirmation(settings, folder) && bOk;

    bOk = SaveDownloadComplete(settings, folder) && bOk;

    bOk = SavePage(folder) && bOk;
    return bOk ? 0 : 1;
}
