#pragma once
// The control's events: their DISPIDs, names and parameters (one
// description that the control raises by and hosts read), and the values
// they carry: why a run ended, which stage it reached, what became of a
// file, and the codes of the Error event.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "platform/com/Variant.h"

namespace pullbay::api {

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

// One parameter of an event, named and typed as the event interface
// declares it.
struct EventParameter {
    const wchar_t* strName;
    com::VarType type;
};

struct EventDescription {
    EventId id;
    const wchar_t* strName;
    std::span<const EventParameter> parameters;
};

namespace detail {
using com::VarType;
inline constexpr EventParameter kDownloadCompleteParameters[] = {{L"result", VarType::I4}};
inline constexpr EventParameter kDownloadItemCompleteParameters[] = {
    {L"downloadResult", VarType::I4}, {L"page", VarType::BStr},     {L"url", VarType::BStr},
    {L"fileName", VarType::BStr},     {L"mimeType", VarType::BStr}, {L"fileSize", VarType::I4}};
inline constexpr EventParameter kDownloadStepParameters[] = {{L"DownloadStep", VarType::I4}};
inline constexpr EventParameter kProgressParameters[] = {
    {L"PercentTotal", VarType::UI4}, {L"PercentCurrent", VarType::UI4}, {L"Index", VarType::I4}};
inline constexpr EventParameter kErrorParameters[] = {
    {L"Code", VarType::I4},   {L"Description", VarType::BStr}, {L"HttpCode", VarType::I4},
    {L"page", VarType::BStr}, {L"url", VarType::BStr},         {L"Index", VarType::I4}};
}  // namespace detail

// Every event of the event interface, in DISPID order.
inline constexpr std::array<EventDescription, 7> kEvents = {{
    {EventId::DownloadComplete, L"DownloadComplete", detail::kDownloadCompleteParameters},
    {EventId::DownloadItemComplete, L"DownloadItemComplete",
     detail::kDownloadItemCompleteParameters},
    {EventId::DownloadStep, L"DownloadStep", detail::kDownloadStepParameters},
    {EventId::InitComplete, L"InitComplete", {}},
    {EventId::Progress, L"Progress", detail::kProgressParameters},
    {EventId::Error, L"Error", detail::kErrorParameters},
    {EventId::DownloadFileCountChange, L"DownloadFileCountChange", {}},
}};

// The description of a DISPID of the event interface; null when unknown.
constexpr const EventDescription* FindEvent(std::int32_t intDispid)
{
    for (const EventDescription& event : kEvents) {
        if (static_cast<std::int32_t>(event.id) == intDispid) {
            return &event;
        }
    }
    return nullptr;
}

}  // namespace pullbay::api
