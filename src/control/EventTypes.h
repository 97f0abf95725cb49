#pragma once
// The values that the control's events carry: why a run ended, which stage
// it reached, what became of a file, and the codes of the Error event.
#include <cstdint>

namespace pullbay::control {

// The DISPIDs of the event interface.
enum class EventId : std::int32_t {
    DownloadComplete = 1,
    DownloadItemComplete = 2,
    DownloadStep = 3,
    InitComplete = 4,
    Progress = 5,
    Error = 6,
    DownloadFileCountChange = 7,
};

// Why a download run ended (the result of DownloadComplete); 1 is not produced.
enum DownloadCompletionType : std::int32_t {
    CompletionSuccess = 0,
    CompletionFileListFailed = 2,
    CompletionNoFiles = 3,
    CompletionConfirmationCancelled = 4,
    CompletionNothingSelected = 5,
    CompletionFolderCancelled = 6,
};

// The stage a run has reached (the argument of DownloadStep).
enum DownloadStepType : std::int32_t {
    StepStarted = 0,
    StepFinished = 1,
    StepFileListStarted = 2,
    StepFileListReady = 3,
    StepConfirmationShown = 4,
    StepConfirmationClosed = 5,
    StepFolderChosen = 6,
    StepDownloadFinished = 7,
    StepCompleteDialogStarted = 8,
    StepCompleteDialogFinished = 9,
    StepCompleteActionStarted = 10,
    StepCompleteActionFinished = 11,
};

// What became of one file (an item's Result); 2 is not produced and
// ItemNotProcessed is never sent in an event.
enum DownloadItemCompleteType : std::int32_t {
    ItemNotProcessed = -1,
    ItemSuccess = 0,
    ItemFailed = 1,
    ItemSkipped = 3,
    ItemWrongContentType = 4,
    ItemWrongFileSize = 5,
    ItemWriteError = 6,
    ItemNotFound = 7,
    ItemForbidden = 8,
};

// Codes of the Error event.
namespace ErrorCode {
inline constexpr std::int32_t kBadListLine = 100;
inline constexpr std::int32_t kNoAbsoluteUrl = 101;
inline constexpr std::int32_t kInvalidArgument = 102;
inline constexpr std::int32_t kDuplicateItem = 103;
inline constexpr std::int32_t kTransferFailed = 200;
inline constexpr std::int32_t kTransferNotFound = 201;
inline constexpr std::int32_t kListHostNotResolved = 202;
inline constexpr std::int32_t kTemporaryFileFailed = 301;
inline constexpr std::int32_t kDestinationFailed = 302;
inline constexpr std::int32_t kProtectedMoveFailed = 303;
inline constexpr std::int32_t kFileSkipped = 304;
}  // namespace ErrorCode

}  // namespace pullbay::control
