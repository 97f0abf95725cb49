#include "model/PropertyTable.h"

#include <array>
#include <iterator>
#include <type_traits>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "model/PropertyHolder.h"
#include "model/PropertyRules.h"

namespace pullbay::model {

namespace {

using com::DISPID;
using com::NullableString;
using com::VarType;
using com::Variant;
using Descriptor = PropertyDescriptor;
using NumberRule = PropertyDescriptor::NumberRule;
using T = TextProperty;

// --- gets and puts -----------------------------------------------------------

HRESULT GetRuledText(const Descriptor& property, const PropertyHolder& holder, Variant& value)
{
    value = Variant::FromString(NullableString(holder.GetText(property.text)));
    return S_OK;
}

HRESULT PutRuledText(const Descriptor& property, PropertyHolder& holder, const Variant& value)
{
    const Descriptor::TextRule& rule = property.textRule;
    holder.SetText(property.text, ApplyTextRule(value.String(), rule.uintMinLength,
                                                rule.uintLengthLimit, rule.strFallback));
    return S_OK;
}

template <bool (PropertyHolder::*Getter)() const>
HRESULT GetFlag(const Descriptor&, const PropertyHolder& holder, Variant& value)
{
    value = Variant::FromBool((holder.*Getter)());
    return S_OK;
}

template <void (PropertyHolder::*Setter)(bool)>
HRESULT PutFlag(const Descriptor&, PropertyHolder& holder, const Variant& value)
{
    (holder.*Setter)(value.Bool());
    return S_OK;
}

// Int is std::int32_t (I4) or std::uint32_t (UI4).
template <typename Int, Int (PropertyHolder::*Getter)() const>
HRESULT GetNumber(const Descriptor&, const PropertyHolder& holder, Variant& value)
{
    if constexpr (std::is_signed_v<Int>) {
        value = Variant::FromI4((holder.*Getter)());
    } else {
        value = Variant::FromUI4((holder.*Getter)());
    }
    return S_OK;
}

template <typename Int, void (PropertyHolder::*Setter)(Int)>
HRESULT PutNumber(const Descriptor& property, PropertyHolder& holder, const Variant& value)
{
    const std::int64_t intValue =
        std::is_signed_v<Int> ? std::int64_t{value.I4()} : std::int64_t{value.UI4()};
    const NumberRule& rule = property.numberRule;
    // The rule's bounds and fallback lie inside Int, so the result fits.
    (holder.*
     Setter)(static_cast<Int>(ApplyNumberRule(intValue, rule.intFallback, rule.intMinimum,
                                              rule.intMaximum, rule.bClampLow, rule.bClampHigh)));
    return S_OK;
}

// A count held unsigned but scripted as I4, so that every integer a script or
// a page gives, a negative one too, meets the range rule instead of failing
// its conversion. The rule's bounds lie in [0, INT32_MAX].
template <std::uint32_t (PropertyHolder::*Getter)() const>
HRESULT GetCount(const Descriptor&, const PropertyHolder& holder, Variant& value)
{
    value = Variant::FromI4(static_cast<std::int32_t>((holder.*Getter)()));
    return S_OK;
}

template <void (PropertyHolder::*Setter)(std::uint32_t)>
HRESULT PutCount(const Descriptor& property, PropertyHolder& holder, const Variant& value)
{
    const NumberRule& rule = property.numberRule;
    (holder.*Setter)(static_cast<std::uint32_t>(ApplyNumberRule(value.I4(), rule.intFallback,
                                                                rule.intMinimum, rule.intMaximum,
                                                                rule.bClampLow, rule.bClampHigh)));
    return S_OK;
}

HRESULT GetFileList(const Descriptor&, const PropertyHolder& holder, Variant& value)
{
    value = Variant::FromString(NullableString(holder.GetFileList()));
    return S_OK;
}

// The storing part only: the control runs the URL acceptance before it.
HRESULT PutFileList(const Descriptor&, PropertyHolder& holder, const Variant& value)
{
    if (value.String().IsNull()) {
        return E_POINTER;
    }
    holder.SetFileList(value.String().Value());
    return S_OK;
}

HRESULT GetButtonDownloadText(const Descriptor&, const PropertyHolder& holder, Variant& value)
{
    value = Variant::FromString(NullableString(holder.GetButtonDownloadText()));
    return S_OK;
}

// The storing part only: the control relabels the button after it.
HRESULT PutButtonDownloadText(const Descriptor&, PropertyHolder& holder, const Variant& value)
{
    if (value.String().IsNull()) {
        return E_POINTER;
    }
    holder.SetButtonDownloadText(value.String().Value());
    return S_OK;
}

HRESULT GetFileExistsDialogDefaultAction(const Descriptor&, const PropertyHolder& holder,
                                         Variant& value)
{
    value = Variant::FromString(NullableString(
        FormatEnumeration(static_cast<std::int32_t>(holder.GetFileExistsDialogDefaultAction()))));
    return S_OK;
}

HRESULT PutFileExistsDialogDefaultAction(const Descriptor&, PropertyHolder& holder,
                                         const Variant& value)
{
    holder.SetFileExistsDialogDefaultAction(ParseFileExistsDialogAction(value.String()));
    return S_OK;
}

HRESULT GetDownloadCompleteAction(const Descriptor&, const PropertyHolder& holder, Variant& value)
{
    value = Variant::FromString(NullableString(
        FormatEnumeration(static_cast<std::int32_t>(holder.GetDownloadCompleteAction()))));
    return S_OK;
}

HRESULT PutDownloadCompleteAction(const Descriptor&, PropertyHolder& holder, const Variant& value)
{
    holder.SetDownloadCompleteAction(ParseDownloadCompleteAction(value.String()));
    return S_OK;
}

HRESULT GetBackgroundColor(const Descriptor&, const PropertyHolder& holder, Variant& value)
{
    value = Variant::FromString(NullableString(FormatColor(holder.GetBackgroundColor())));
    return S_OK;
}

// The panel's brush is made from the colour when the window is created, so a
// later change could not show.
HRESULT PutBackgroundColor(const Descriptor&, PropertyHolder& holder, const Variant& value)
{
    if (holder.IsInitialized()) {
        return E_FAIL;
    }
    holder.SetBackgroundColor(ParseColor(value.String()));
    return S_OK;
}

HRESULT GetVersion(const Descriptor&, const PropertyHolder&, Variant& value)
{
    value = Variant::FromString(NullableString(PropertyHolder::kVersion));
    return S_OK;
}

// --- rows --------------------------------------------------------------------

// A text with the length rule: lengths in [uintMinLength, uintLengthLimit)
// are stored, others give the fallback (the initial value unless given).
constexpr Descriptor Text(const wchar_t* strName, DISPID dispid, TextProperty text,
                          std::uint32_t uintMinLength, std::uint32_t uintLengthLimit,
                          const wchar_t* strInitial, const wchar_t* strFallback = nullptr)
{
    Descriptor row;
    row.strName = strName;
    row.dispid = dispid;
    row.type = VarType::BStr;
    row.bHasTextRule = true;
    row.text = text;
    row.textRule = {uintMinLength, uintLengthLimit, strInitial,
                    strFallback != nullptr ? strFallback : strInitial};
    row.pGet = &GetRuledText;
    row.pPut = &PutRuledText;
    return row;
}

template <bool (PropertyHolder::*Getter)() const, void (PropertyHolder::*Setter)(bool)>
constexpr Descriptor Flag(const wchar_t* strName, DISPID dispid)
{
    Descriptor row;
    row.strName = strName;
    row.dispid = dispid;
    row.type = VarType::Bool;
    row.pGet = &GetFlag<Getter>;
    row.pPut = &PutFlag<Setter>;
    return row;
}

template <typename Int, Int (PropertyHolder::*Getter)() const, void (PropertyHolder::*Setter)(Int)>
constexpr Descriptor Number(const wchar_t* strName, DISPID dispid, NumberRule rule)
{
    Descriptor row;
    row.strName = strName;
    row.dispid = dispid;
    row.type = std::is_signed_v<Int> ? VarType::I4 : VarType::UI4;
    row.numberRule = rule;
    row.pGet = &GetNumber<Int, Getter>;
    row.pPut = &PutNumber<Int, Setter>;
    return row;
}

// A count (see GetCount) that only the property bag carries (bBagOnly).
template <std::uint32_t (PropertyHolder::*Getter)() const,
          void (PropertyHolder::*Setter)(std::uint32_t)>
constexpr Descriptor BagOnlyCount(const wchar_t* strName, DISPID dispid, NumberRule rule)
{
    Descriptor row;
    row.strName = strName;
    row.dispid = dispid;
    row.type = VarType::I4;
    row.bBagOnly = true;
    row.numberRule = rule;
    row.pGet = &GetCount<Getter>;
    row.pPut = &PutCount<Setter>;
    return row;
}

constexpr Descriptor Other(const wchar_t* strName, DISPID dispid, VarType type,
                           Descriptor::GetFunction pGet, Descriptor::PutFunction pPut,
                           bool bControlHandled = false)
{
    Descriptor row;
    row.strName = strName;
    row.dispid = dispid;
    row.type = type;
    row.bReadOnly = pPut == nullptr && !bControlHandled;
    row.bControlHandled = bControlHandled;
    row.pGet = pGet;
    row.pPut = pPut;
    return row;
}

// The four numbers clamp below their minimum and fall back to their initial
// value above their maximum.
constexpr NumberRule ClampLowOrFallback(std::int64_t intMinimum, std::int64_t intMaximum,
                                        std::int64_t intFallback)
{
    return NumberRule{intMinimum, intMaximum, intFallback, true, false};
}

// The later counts fall back on both sides: below the minimum is no more
// meaningful than above the maximum.
constexpr NumberRule FallbackOutside(std::int64_t intMinimum, std::int64_t intMaximum,
                                     std::int64_t intFallback)
{
    return NumberRule{intMinimum, intMaximum, intFallback, false, false};
}

// A day: a server that asks for a longer pause is not coming back soon.
constexpr std::int64_t kMaxRetryAfterLimit = 86400;

constexpr const wchar_t* kConfirmationText =
    L"To see the list of files which are about to be downloaded, click Show File List button.\n"
    L"Are you sure you want to start download? ";

using H = PropertyHolder;

constexpr Descriptor kEntries[] = {
    Other(L"FileList", PropertyTable::kDispidFileList, VarType::BStr, &GetFileList, &PutFileList,
          true),
    Number<std::int32_t, &H::GetTimeOut, &H::SetTimeOut>(
        L"TimeOut", 2, ClampLowOrFallback(0, 1000000, H::kInitialTimeOut)),
    Number<std::int32_t, &H::GetFileExistsDialogTimeOut, &H::SetFileExistsDialogTimeOut>(
        L"FileExistsDialogTimeOut", 3,
        ClampLowOrFallback(-1, 1000000, H::kInitialFileExistsDialogTimeOut)),
    Other(L"FileExistsDialogDefaultAction", 4, VarType::BStr, &GetFileExistsDialogDefaultAction,
          &PutFileExistsDialogDefaultAction),
    Other(L"DownloadCompleteAction", 5, VarType::BStr, &GetDownloadCompleteAction,
          &PutDownloadCompleteAction),
    Text(L"FileExistsDialogTimeLeftText", 6, T::FileExistsDialogTimeLeftText, 0, 800,
         L"Time left: [Current] of [Total]"),
    Text(L"MessageOpenFolderText", 7, T::MessageOpenFolderText, 0, 800,
         L"Do you want to open the folder where files are downloaded to?"),
    Flag<&H::GetProcessSubfolders, &H::SetProcessSubfolders>(L"ProcessSubfolders", 8),
    Flag<&H::GetFileListExpanded, &H::SetFileListExpanded>(L"FileListExpanded", 9),
    Flag<&H::GetLogFileExpanded, &H::SetLogFileExpanded>(L"LogFileExpanded", 10),
    Text(L"DownloadConfirmationDialogOkButtonText", 37, T::DownloadConfirmationDialogOkButtonText,
         1, 100, L"OK"),
    Text(L"DownloadConfirmationDialogCancelButtonText", 38,
         T::DownloadConfirmationDialogCancelButtonText, 1, 100, L"Cancel"),
    Text(L"DownloadConfirmationDialogShowFileListButtonText", 39,
         T::DownloadConfirmationDialogShowFileListButtonText, 0, 100, L"Show File List >>"),
    Text(L"DownloadConfirmationDialogHideFileListButtonText", 40,
         T::DownloadConfirmationDialogHideFileListButtonText, 1, 100, L"Hide File List <<"),
    Text(L"DownloadConfirmationDialogCheckAllButtonText", 41,
         T::DownloadConfirmationDialogCheckAllButtonText, 1, 100, L"Check All"),
    Text(L"DownloadConfirmationDialogUncheckAllButtonText", 42,
         T::DownloadConfirmationDialogUncheckAllButtonText, 1, 100, L"Uncheck All"),
    Text(L"DownloadConfirmationDialogListUrlText", 43, T::DownloadConfirmationDialogListUrlText, 0,
         100, L"URL"),
    Text(L"DownloadConfirmationDialogListFileNameText", 44,
         T::DownloadConfirmationDialogListFileNameText, 0, 100, L"File Name"),
    Text(L"DownloadConfirmationDialogListFileSizeText", 45,
         T::DownloadConfirmationDialogListFileSizeText, 0, 100, L"File Size"),
    Text(L"DownloadConfirmationDialogListContentTypeText", 46,
         T::DownloadConfirmationDialogListContentTypeText, 0, 100, L"Content-Type"),
    Text(L"DownloadConfirmationDialogServerNameRemarkText", 47,
         T::DownloadConfirmationDialogServerNameRemarkText, 1, 100,
         L"You are about to download files from the server:"),
    Text(L"DownloadConfirmationDialogText", 48, T::DownloadConfirmationDialogText, 1, 400,
         kConfirmationText),
    Text(L"BrowseForFolderDialogText", 50, T::BrowseForFolderDialogText, 1, 800,
         L"Select the destination folder to download files to."),
    Text(L"FileExistsDialogText", 51, T::FileExistsDialogText, 1, 4000,
         L"The file [FileName] already exists. What you want to do with it?"),
    Text(L"FileExistsDialogOverwriteButtonText", 52, T::FileExistsDialogOverwriteButtonText, 1, 100,
         L"Overwrite"),
    Text(L"FileExistsDialogSkipButtonText", 53, T::FileExistsDialogSkipButtonText, 1, 100, L"Skip"),
    Text(L"FileExistsDialogRenameButtonText", 54, T::FileExistsDialogRenameButtonText, 1, 100,
         L"Rename"),
    Text(L"FileExistsDialogApplyToAllText", 55, T::FileExistsDialogApplyToAllText, 1, 100,
         L"Apply to All"),
    Text(L"ProgressDialogDataAmountText", 62, T::ProgressDialogDataAmountText, 1, 100,
         L"[Current] of [Total]"),
    Text(L"ProgressDialogSkipCurrentButtonText", 65, T::ProgressDialogSkipCurrentButtonText, 0, 100,
         L"Skip Current"),
    Text(L"ProgressDialogSkipAllButtonText", 66, T::ProgressDialogSkipAllButtonText, 1, 100,
         L"Skip All"),
    Text(L"DownloadCompleteDialogText", 70, T::DownloadCompleteDialogText, 1, 500,
         L"Download has been completed. Click Show Log button to see the log file"),
    Text(L"DownloadCompleteDialogOkButtonText", 71, T::DownloadCompleteDialogOkButtonText, 1, 100,
         L"OK"),
    Text(L"DownloadCompleteDialogShowLogButtonText", 72, T::DownloadCompleteDialogShowLogButtonText,
         0, 100, L"Show Log >>"),
    Text(L"DownloadCompleteDialogHideLogButtonText", 73, T::DownloadCompleteDialogHideLogButtonText,
         1, 100, L"Hide Log <<"),
    Text(L"LogFileSuccessText", 80, T::LogFileSuccessText, 1, 500,
         L"File [FileName] has been downloaded from [Url]"),
    Text(L"LogFileFailedText", 81, T::LogFileFailedText, 1, 500,
         L"Failed to download file [FileName] from [Url]: [Reason]"),
    Text(L"LogFileSkippedText", 82, T::LogFileSkippedText, 1, 500, L"Skipped by user"),
    Text(L"LogFileNotFoundText", 83, T::LogFileNotFoundText, 1, 500, L"Resource not found"),
    Text(L"LogFileForbiddenText", 84, T::LogFileForbiddenText, 1, 500, L"Authorization failed"),
    Text(L"LogFileWrongFileSizeText", 85, T::LogFileWrongFileSizeText, 1, 500, L"Wrong file size"),
    Text(L"LogFileWrongContentTypeText", 86, T::LogFileWrongContentTypeText, 1, 500,
         L"Wrong Content-Type"),
    Text(L"LogFileWriteErrorText", 87, T::LogFileWriteErrorText, 1, 500, L"Write file error"),
    Text(L"LogFileCommonErrorText", 88, T::LogFileCommonErrorText, 1, 500, L"Download error"),
    Text(L"SecondsText", 100, T::SecondsText, 1, 100, L"seconds"),
    Text(L"MinutesText", 101, T::MinutesText, 1, 100, L"minutes"),
    Text(L"HoursText", 102, T::HoursText, 1, 100, L"hours"),
    Text(L"MegabytesText", 103, T::MegabytesText, 1, 100, L"MB"),
    Text(L"KilobytesText", 104, T::KilobytesText, 1, 100, L"KB"),
    Text(L"MessageNoFilesToDownloadText", 111, T::MessageNoFilesToDownloadText, 1, 300,
         L"No files to download"),
    Other(L"BackgroundColor", PropertyTable::kDispidBackgroundColor, VarType::BStr,
          &GetBackgroundColor, &PutBackgroundColor),
    Other(L"ButtonDownloadText", PropertyTable::kDispidButtonDownloadText, VarType::BStr,
          &GetButtonDownloadText, &PutButtonDownloadText, true),
    Other(L"Enabled", PropertyTable::kDispidEnabled, VarType::Bool, nullptr, nullptr, true),
    Text(L"TimeFormat", 128, T::TimeFormat, 1, 300,
         L"Appearance=Words; PresentDirection=HMS; DigitsFormat=N; HideZero=TRUE"),
    Other(L"Version", PropertyTable::kDispidVersion, VarType::BStr, &GetVersion, nullptr),
    Number<std::uint32_t, &H::GetReconnectAttemptsCount, &H::SetReconnectAttemptsCount>(
        L"ReconnectAttemptsCount", 131,
        ClampLowOrFallback(0, 1000, H::kInitialReconnectAttemptsCount)),
    Number<std::uint32_t, &H::GetReconnectTimeOut, &H::SetReconnectTimeOut>(
        L"ReconnectTimeOut", 132, ClampLowOrFallback(0, 15000000, H::kInitialReconnectTimeOut)),
    Flag<&H::GetShowFileListProgressDialog, &H::SetShowFileListProgressDialog>(
        L"ShowFileListProgressDialog", 133),
    Text(L"FileListProgressDialogCancelButtonText", 134, T::FileListProgressDialogCancelButtonText,
         1, 500, L"Cancel"),
    Text(L"FileListProgressDialogText", 135, T::FileListProgressDialogText, 1, 500,
         L"Getting file list..."),
    Text(L"DefaultDestinationFolder", 136, T::DefaultDestinationFolder, 1, 1024, L"",
         L"MyComputer"),
    Text(L"MessageMaxFileCountExceededText", 137, T::MessageMaxFileCountExceededText, 1, 4096,
         L"Sorry, but you cannot download more than [count] files in IE Protected Mode. "
         L"Please contact web site administrator for more information."),
    Text(L"DownloadCompleteDialogCopySelectedButtonText", 138,
         T::DownloadCompleteDialogCopySelectedButtonText, 1, 1024, L"Copy Selected"),
    Text(L"DownloadCompleteDialogCopyAllButtonText", 139,
         T::DownloadCompleteDialogCopyAllButtonText, 1, 1024, L"Copy All"),
    Text(L"LogFileDeniedInProtectedModeText", 140, T::LogFileDeniedInProtectedModeText, 1, 4096,
         L"User denied copying some of downloaded files to [DestinationFolder]"),
    Flag<&H::GetShowProgressDialog, &H::SetShowProgressDialog>(L"ShowProgressDialog", 141),
    Text(L"ProgressDialogDownloadDetailsText", 142, T::ProgressDialogDownloadDetailsText, 1, 1000,
         L"([Rate], [TimeLeft] left)"),
    Text(L"ProgressDialogWaitingForRetryText", 143, T::ProgressDialogWaitingForRetryText, 1, 1000,
         L"(Error! Waiting for retry...)"),
    Text(L"MegabyteRateText", 144, T::MegabyteRateText, 1, 150, L"MB/s"),
    Text(L"KilobyteRateText", 145, T::KilobyteRateText, 1, 150, L"kB/s"),
    BagOnlyCount<&H::GetParallelDownloads, &H::SetParallelDownloads>(
        L"ParallelDownloads", 146, FallbackOutside(1, 32, H::kInitialParallelDownloads)),
    BagOnlyCount<&H::GetRetryAfterLimit, &H::SetRetryAfterLimit>(
        L"RetryAfterLimit", 147,
        FallbackOutside(0, kMaxRetryAfterLimit, H::kInitialRetryAfterLimit)),
};

constexpr DISPID kSlotOrder[] = {
    1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  119, 37,  38,  39,  40,  41,  42,  43,
    44,  45,  46,  47,  48,  50,  51,  52,  53,  54,  55,  62,  65,  66,  70,  71,  72,  73,
    80,  81,  82,  83,  84,  85,  86,  87,  88,  100, 101, 102, 103, 104, 111, 115, 127, 128,
    130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147,
};

static_assert(std::size(kSlotOrder) == std::size(kEntries));

// Position in kEntries of each text with the length rule.
constexpr std::array<std::size_t, kTextPropertyCount> BuildTextIndex()
{
    std::array<std::size_t, kTextPropertyCount> index{};
    index.fill(std::size(kEntries));
    for (std::size_t uintRow = 0; uintRow < std::size(kEntries); ++uintRow) {
        if (kEntries[uintRow].bHasTextRule) {
            index[static_cast<std::size_t>(kEntries[uintRow].text)] = uintRow;
        }
    }
    return index;
}

constexpr std::array<std::size_t, kTextPropertyCount> kTextIndex = BuildTextIndex();

constexpr bool EveryTextHasARow()
{
    for (const std::size_t uintRow : kTextIndex) {
        if (uintRow == std::size(kEntries)) {
            return false;
        }
    }
    return true;
}

static_assert(EveryTextHasARow());

}  // namespace

std::span<const PropertyDescriptor> PropertyTable::Entries()
{
    return kEntries;
}

std::span<const com::DISPID> PropertyTable::SlotOrder()
{
    return kSlotOrder;
}

const PropertyDescriptor* PropertyTable::TryFind(com::DISPID dispid)
{
    for (const Descriptor& property : kEntries) {
        if (property.dispid == dispid) {
            return &property;
        }
    }
    return nullptr;
}

const PropertyDescriptor& PropertyTable::Find(com::DISPID dispid)
{
    const Descriptor* pProperty = TryFind(dispid);
    if (pProperty == nullptr) {
        PB_THROW(core::ArgumentOutOfRangeException, L"dispid");
    }
    return *pProperty;
}

const PropertyDescriptor* PropertyTable::FindByName(std::wstring_view strName)
{
    for (const Descriptor& property : kEntries) {
        if (core::EqualsIgnoreAsciiCase(strName, property.strName)) {
            return &property;
        }
    }
    return nullptr;
}

const PropertyDescriptor& PropertyTable::ForText(TextProperty text)
{
    return kEntries[kTextIndex[static_cast<std::size_t>(text)]];
}

}  // namespace pullbay::model
