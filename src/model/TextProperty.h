#pragma once
// The text properties that follow the common length rule, in DISPID order:
// the index of each text in PropertyHolder. A plain value; any thread may use
// it.
#include <cstddef>
#include <cstdint>

namespace pullbay::model {

enum class TextProperty : std::uint8_t {
    FileExistsDialogTimeLeftText,
    MessageOpenFolderText,
    DownloadConfirmationDialogOkButtonText,
    DownloadConfirmationDialogCancelButtonText,
    DownloadConfirmationDialogShowFileListButtonText,
    DownloadConfirmationDialogHideFileListButtonText,
    DownloadConfirmationDialogCheckAllButtonText,
    DownloadConfirmationDialogUncheckAllButtonText,
    DownloadConfirmationDialogListUrlText,
    DownloadConfirmationDialogListFileNameText,
    DownloadConfirmationDialogListFileSizeText,
    DownloadConfirmationDialogListContentTypeText,
    DownloadConfirmationDialogServerNameRemarkText,
    DownloadConfirmationDialogText,
    BrowseForFolderDialogText,
    FileExistsDialogText,
    FileExistsDialogOverwriteButtonText,
    FileExistsDialogSkipButtonText,
    FileExistsDialogRenameButtonText,
    FileExistsDialogApplyToAllText,
    ProgressDialogDataAmountText,
    ProgressDialogSkipCurrentButtonText,
    ProgressDialogSkipAllButtonText,
    DownloadCompleteDialogText,
    DownloadCompleteDialogOkButtonText,
    DownloadCompleteDialogShowLogButtonText,
    DownloadCompleteDialogHideLogButtonText,
    LogFileSuccessText,
    LogFileFailedText,
    LogFileSkippedText,
    LogFileNotFoundText,
    LogFileForbiddenText,
    LogFileWrongFileSizeText,
    LogFileWrongContentTypeText,
    LogFileWriteErrorText,
    LogFileCommonErrorText,
    SecondsText,
    MinutesText,
    HoursText,
    MegabytesText,
    KilobytesText,
    MessageNoFilesToDownloadText,
    TimeFormat,
    FileListProgressDialogCancelButtonText,
    FileListProgressDialogText,
    DefaultDestinationFolder,
    MessageMaxFileCountExceededText,
    DownloadCompleteDialogCopySelectedButtonText,
    DownloadCompleteDialogCopyAllButtonText,
    LogFileDeniedInProtectedModeText,
    ProgressDialogDownloadDetailsText,
    ProgressDialogWaitingForRetryText,
    MegabyteRateText,
    KilobyteRateText,
};

inline constexpr std::size_t kTextPropertyCount =
    static_cast<std::size_t>(TextProperty::KilobyteRateText) + 1;

}  // namespace pullbay::model
