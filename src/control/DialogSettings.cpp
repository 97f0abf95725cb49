#include "control/DialogSettings.h"

#include "engine/FileListDownloader.h"
#include "model/TextProperty.h"
#include "platform/IPlatform.h"
#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"

namespace pullbay::control {

namespace {

using T = model::TextProperty;

}  // namespace

ui::ConfirmationSettings DialogSettings::Confirmation(const model::PropertyHolder& settings)
{
    ui::ConfirmationSettings result;
    result.strCaption = settings.GetCaption();
    result.strServerNameRemarkText =
        settings.GetText(T::DownloadConfirmationDialogServerNameRemarkText);
    result.strText = settings.GetText(T::DownloadConfirmationDialogText);
    result.strOkButtonText = settings.GetText(T::DownloadConfirmationDialogOkButtonText);
    result.strCancelButtonText = settings.GetText(T::DownloadConfirmationDialogCancelButtonText);
    result.strShowFileListButtonText =
        settings.GetText(T::DownloadConfirmationDialogShowFileListButtonText);
    result.strHideFileListButtonText =
        settings.GetText(T::DownloadConfirmationDialogHideFileListButtonText);
    result.strCheckAllButtonText =
        settings.GetText(T::DownloadConfirmationDialogCheckAllButtonText);
    result.strUncheckAllButtonText =
        settings.GetText(T::DownloadConfirmationDialogUncheckAllButtonText);
    result.strListUrlText = settings.GetText(T::DownloadConfirmationDialogListUrlText);
    result.strListFileNameText = settings.GetText(T::DownloadConfirmationDialogListFileNameText);
    result.strListFileSizeText = settings.GetText(T::DownloadConfirmationDialogListFileSizeText);
    result.strListContentTypeText =
        settings.GetText(T::DownloadConfirmationDialogListContentTypeText);
    result.strMaxFileCountExceededText = settings.GetText(T::MessageMaxFileCountExceededText);
    result.bFileListExpanded = settings.GetFileListExpanded();
    result.bProtectedMode = platform::UsesProtectedMode(*platform::CurrentPlatform());
    return result;
}

ui::ConfirmationRows DialogSettings::ConfirmationRows(const model::FileList& files)
{
    ui::ConfirmationRows rows;
    rows.reserve(files.Count());
    for (std::size_t i = 0; i < files.Count(); ++i) {
        const model::FileItem& item = *files.At(i);
        rows.Add(item.UrlText(), item.FileNameText(), item.GetFileSizeText(), item.MimeTypeText(),
                 item.GetChecked() != 0);
    }
    return rows;
}

ui::FileExistsSettings DialogSettings::FileExists(const model::PropertyHolder& settings)
{
    ui::FileExistsSettings result;
    result.strCaption = settings.GetCaption();
    result.strOverwriteButtonText = settings.GetText(T::FileExistsDialogOverwriteButtonText);
    result.strSkipButtonText = settings.GetText(T::FileExistsDialogSkipButtonText);
    result.strRenameButtonText = settings.GetText(T::FileExistsDialogRenameButtonText);
    result.strApplyToAllText = settings.GetText(T::FileExistsDialogApplyToAllText);
    result.strTimeLeftText = settings.GetText(T::FileExistsDialogTimeLeftText);
    result.strSecondsText = settings.GetText(T::SecondsText);
    result.strMinutesText = settings.GetText(T::MinutesText);
    result.strHoursText = settings.GetText(T::HoursText);
    result.intTimeOut = settings.GetFileExistsDialogTimeOut();
    result.defaultAction =
        static_cast<ui::FileExistsAnswer>(settings.GetFileExistsDialogDefaultAction());
    return result;
}

ui::ProgressTexts DialogSettings::ProgressTexts(const model::PropertyHolder& settings)
{
    ui::ProgressTexts texts;
    texts.strDataAmountText = settings.GetText(T::ProgressDialogDataAmountText);
    texts.strDownloadDetailsText = settings.GetText(T::ProgressDialogDownloadDetailsText);
    texts.strWaitingForRetryText = settings.GetText(T::ProgressDialogWaitingForRetryText);
    texts.strKilobytesText = settings.GetText(T::KilobytesText);
    texts.strMegabytesText = settings.GetText(T::MegabytesText);
    texts.strKilobyteRateText = settings.GetText(T::KilobyteRateText);
    texts.strMegabyteRateText = settings.GetText(T::MegabyteRateText);
    texts.strSkipCurrentButtonText = settings.GetText(T::ProgressDialogSkipCurrentButtonText);
    texts.strSkipAllButtonText = settings.GetText(T::ProgressDialogSkipAllButtonText);
    return texts;
}

ui::ProgressTimeTexts DialogSettings::ProgressTimeTexts(const model::PropertyHolder& settings)
{
    ui::ProgressTimeTexts texts;
    texts.strTimeFormat = settings.GetText(T::TimeFormat);
    texts.strHoursText = settings.GetText(T::HoursText);
    texts.strMinutesText = settings.GetText(T::MinutesText);
    texts.strSecondsText = settings.GetText(T::SecondsText);
    return texts;
}

ui::ProgressEngineState DialogSettings::EngineState(
    const std::shared_ptr<engine::FileListDownloader>& pEngine)
{
    ui::ProgressEngineState state;
    if (!pEngine) {
        return state;
    }
    state.bEngineAlive = true;
    if (const std::shared_ptr<model::FileItem> pItem = pEngine->GetCurrentItem()) {
        state.bHasCurrentItem = true;
        state.strCurrentUrl = pItem->GetUrl();
    }
    state.bWaitingForRetry = pEngine->IsWaitingForReconnect();
    if (const auto pStatistic = pEngine->GetProgressStatistic()) {
        state.ReadStatistic(*pStatistic);
    }
    return state;
}

ui::DownloadLogTexts DialogSettings::DownloadLog(const model::PropertyHolder& settings)
{
    ui::DownloadLogTexts texts;
    texts.strDialogText = settings.GetText(T::DownloadCompleteDialogText);
    texts.strOkButtonText = settings.GetText(T::DownloadCompleteDialogOkButtonText);
    texts.strShowLogButtonText = settings.GetText(T::DownloadCompleteDialogShowLogButtonText);
    texts.strHideLogButtonText = settings.GetText(T::DownloadCompleteDialogHideLogButtonText);
    texts.strCopySelectedButtonText =
        settings.GetText(T::DownloadCompleteDialogCopySelectedButtonText);
    texts.strCopyAllButtonText = settings.GetText(T::DownloadCompleteDialogCopyAllButtonText);
    texts.strSuccessText = settings.GetText(T::LogFileSuccessText);
    texts.strFailedText = settings.GetText(T::LogFileFailedText);
    texts.strSkippedText = settings.GetText(T::LogFileSkippedText);
    texts.strNotFoundText = settings.GetText(T::LogFileNotFoundText);
    texts.strForbiddenText = settings.GetText(T::LogFileForbiddenText);
    texts.strWrongFileSizeText = settings.GetText(T::LogFileWrongFileSizeText);
    texts.strWrongContentTypeText = settings.GetText(T::LogFileWrongContentTypeText);
    texts.strWriteErrorText = settings.GetText(T::LogFileWriteErrorText);
    texts.strCommonErrorText = settings.GetText(T::LogFileCommonErrorText);
    texts.strDeniedInProtectedModeText = settings.GetText(T::LogFileDeniedInProtectedModeText);
    texts.bLogExpanded = settings.GetLogFileExpanded();
    return texts;
}

ui::DownloadLogRow DialogSettings::LogRow(const model::FileItem& item)
{
    ui::DownloadLogRow row;
    row.strUrl = item.GetUrl();
    row.strFileName = item.GetFileName();
    row.strDestinationFolder = item.GetDestinationFolder();
    row.strDestinationFileName = item.GetDestinationFileName();
    row.strDeclaredMimeType = item.GetMimeType();
    row.strReceivedMimeType = item.GetReceivedMimeType();
    row.uintDeclaredSize =
        item.GetFileSize() > 0 ? static_cast<std::uint64_t>(item.GetFileSize()) : 0;
    row.intResult = item.GetResult();
    return row;
}

std::vector<ui::DownloadLogRow> DialogSettings::LogRows(
    const std::vector<std::shared_ptr<model::FileItem>>& items)
{
    std::vector<ui::DownloadLogRow> rows;
    rows.reserve(items.size());
    for (const std::shared_ptr<model::FileItem>& pItem : items) {
        rows.push_back(LogRow(*pItem));
    }
    return rows;
}

api::ConfirmationRequest DialogSettings::ConfirmationRequest(const model::PropertyHolder& settings,
                                                             const std::wstring& strServer,
                                                             const model::FileList& files)
{
    return {Confirmation(settings), strServer, ConfirmationRows(files)};
}

api::FileExistsQuestion DialogSettings::FileExistsQuestion(
    const model::PropertyHolder& settings, const std::wstring& strDestinationPath,
    model::FileExistsDialogAction defaultAction)
{
    api::FileExistsQuestion question;
    question.settings = FileExists(settings);
    question.settings.defaultAction = static_cast<ui::FileExistsAnswer>(defaultAction);
    question.strQuestion = settings.GetText(T::FileExistsDialogText);
    ui::ReplaceAll(question.strQuestion, ui::kPlaceholderFileName, strDestinationPath);
    return question;
}

api::CompletionReport DialogSettings::CompletionReport(
    const model::PropertyHolder& settings,
    const std::vector<std::shared_ptr<model::FileItem>>& items, bool bCopyFailed,
    const std::wstring& strDestination)
{
    api::CompletionReport report;
    report.texts = DownloadLog(settings);
    report.bCopyFailed = bCopyFailed;
    report.strDestination = strDestination;
    // The lines come from the same rows through the dialog's own model, so
    // a host's text and the dialog's lines cannot differ. The model's rows
    // go with it before the report's are made: a list of a million files
    // never holds two sets at once.
    report.lines = std::make_shared<const std::vector<std::wstring>>(
        ui::DownloadLogModel(LogRows(items), report.texts, bCopyFailed, strDestination)
            .GetAllLines());
    report.rows = LogRows(items);
    return report;
}

}  // namespace pullbay::control
