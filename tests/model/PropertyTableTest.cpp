// The control's plain properties as script and persistence see them: every
// get and put through the property table, on a fresh settings record.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "model/PropertyHolder.h"
#include "model/PropertyRules.h"
#include "model/PropertyTable.h"

namespace pullbay::control {
namespace {

using com::NullableString;
using com::VarType;
using com::Variant;

Variant Text(const wchar_t* strText)
{
    return Variant::FromString(NullableString(strText));
}

Variant NullText()
{
    return Variant::FromString(NullableString());
}

const model::PropertyDescriptor& Named(const wchar_t* strName)
{
    const model::PropertyDescriptor* pProperty = model::PropertyTable::FindByName(strName);
    if (pProperty == nullptr) {
        ADD_FAILURE() << "no property " << core::ToUtf8(strName);
        return model::PropertyTable::Entries().front();
    }
    return *pProperty;
}

Variant GetValue(const model::PropertyHolder& holder, const wchar_t* strName)
{
    Variant value;
    EXPECT_EQ(Named(strName).Get(holder, value), S_OK) << core::ToUtf8(strName);
    return value;
}

std::wstring GetText(const model::PropertyHolder& holder, const wchar_t* strName)
{
    return GetValue(holder, strName).String().Value();
}

HRESULT Put(model::PropertyHolder& holder, const wchar_t* strName, const Variant& value)
{
    return Named(strName).Put(holder, value);
}

struct TextRow {
    const wchar_t* strName;
    com::DISPID dispid;
    std::size_t uintMinAccepted;
    std::size_t uintMaxAccepted;
    const wchar_t* strInitial;
    const wchar_t* strFallback;  // nullptr: the initial text
};

const TextRow kTextRows[] = {
    {L"FileExistsDialogTimeLeftText", 6, 0, 799, L"Time left: [Current] of [Total]", nullptr},
    {L"MessageOpenFolderText", 7, 0, 799,
     L"Do you want to open the folder where files are downloaded to?", nullptr},
    {L"DownloadConfirmationDialogOkButtonText", 37, 1, 99, L"OK", nullptr},
    {L"DownloadConfirmationDialogCancelButtonText", 38, 1, 99, L"Cancel", nullptr},
    {L"DownloadConfirmationDialogShowFileListButtonText", 39, 0, 99, L"Show File List >>", nullptr},
    {L"DownloadConfirmationDialogHideFileListButtonText", 40, 1, 99, L"Hide File List <<", nullptr},
    {L"DownloadConfirmationDialogCheckAllButtonText", 41, 1, 99, L"Check All", nullptr},
    {L"DownloadConfirmationDialogUncheckAllButtonText", 42, 1, 99, L"Uncheck All", nullptr},
    {L"DownloadConfirmationDialogListUrlText", 43, 0, 99, L"URL", nullptr},
    {L"DownloadConfirmationDialogListFileNameText", 44, 0, 99, L"File Name", nullptr},
    {L"DownloadConfirmationDialogListFileSizeText", 45, 0, 99, L"File Size", nullptr},
    {L"DownloadConfirmationDialogListContentTypeText", 46, 0, 99, L"Content-Type", nullptr},
    {L"DownloadConfirmationDialogServerNameRemarkText", 47, 1, 99,
     L"You are about to download files from the server:", nullptr},
    {L"DownloadConfirmationDialogText", 48, 1, 399,
     L"To see the list of files which are about to be downloaded, click Show File List "
     L"button.\nAre you sure you want to start download? ",
     nullptr},
    {L"BrowseForFolderDialogText", 50, 1, 799,
     L"Select the destination folder to download files to.", nullptr},
    {L"FileExistsDialogText", 51, 1, 3999,
     L"The file [FileName] already exists. What you want to do with it?", nullptr},
    {L"FileExistsDialogOverwriteButtonText", 52, 1, 99, L"Overwrite", nullptr},
    {L"FileExistsDialogSkipButtonText", 53, 1, 99, L"Skip", nullptr},
    {L"FileExistsDialogRenameButtonText", 54, 1, 99, L"Rename", nullptr},
    {L"FileExistsDialogApplyToAllText", 55, 1, 99, L"Apply to All", nullptr},
    {L"ProgressDialogDataAmountText", 62, 1, 99, L"[Current] of [Total]", nullptr},
    {L"ProgressDialogSkipCurrentButtonText", 65, 0, 99, L"Skip Current", nullptr},
    {L"ProgressDialogSkipAllButtonText", 66, 1, 99, L"Skip All", nullptr},
    {L"DownloadCompleteDialogText", 70, 1, 499,
     L"Download has been completed. Click Show Log button to see the log file", nullptr},
    {L"DownloadCompleteDialogOkButtonText", 71, 1, 99, L"OK", nullptr},
    {L"DownloadCompleteDialogShowLogButtonText", 72, 0, 99, L"Show Log >>", nullptr},
    {L"DownloadCompleteDialogHideLogButtonText", 73, 1, 99, L"Hide Log <<", nullptr},
    {L"LogFileSuccessText", 80, 1, 499, L"File [FileName] has been downloaded from [Url]", nullptr},
    {L"LogFileFailedText", 81, 1, 499, L"Failed to download file [FileName] from [Url]: [Reason]",
     nullptr},
    {L"LogFileSkippedText", 82, 1, 499, L"Skipped by user", nullptr},
    {L"LogFileNotFoundText", 83, 1, 499, L"Resource not found", nullptr},
    {L"LogFileForbiddenText", 84, 1, 499, L"Authorization failed", nullptr},
    {L"LogFileWrongFileSizeText", 85, 1, 499, L"Wrong file size", nullptr},
    {L"LogFileWrongContentTypeText", 86, 1, 499, L"Wrong Content-Type", nullptr},
    {L"LogFileWriteErrorText", 87, 1, 499, L"Write file error", nullptr},
    {L"LogFileCommonErrorText", 88, 1, 499, L"Download error", nullptr},
    {L"SecondsText", 100, 1, 99, L"seconds", nullptr},
    {L"MinutesText", 101, 1, 99, L"minutes", nullptr},
    {L"HoursText", 102, 1, 99, L"hours", nullptr},
    {L"MegabytesText", 103, 1, 99, L"MB", nullptr},
    {L"KilobytesText", 104, 1, 99, L"KB", nullptr},
    {L"MessageNoFilesToDownloadText", 111, 1, 299, L"No files to download", nullptr},
    {L"TimeFormat", 128, 1, 299,
     L"Appearance=Words; PresentDirection=HMS; DigitsFormat=N; HideZero=TRUE", nullptr},
    {L"FileListProgressDialogCancelButtonText", 134, 1, 499, L"Cancel", nullptr},
    {L"FileListProgressDialogText", 135, 1, 499, L"Getting file list...", nullptr},
    {L"DefaultDestinationFolder", 136, 1, 1023, L"", L"MyComputer"},
    {L"MessageMaxFileCountExceededText", 137, 1, 4095,
     L"Sorry, but you cannot download more than [count] files in IE Protected Mode. Please "
     L"contact web site administrator for more information.",
     nullptr},
    {L"DownloadCompleteDialogCopySelectedButtonText", 138, 1, 1023, L"Copy Selected", nullptr},
    {L"DownloadCompleteDialogCopyAllButtonText", 139, 1, 1023, L"Copy All", nullptr},
    {L"LogFileDeniedInProtectedModeText", 140, 1, 4095,
     L"User denied copying some of downloaded files to [DestinationFolder]", nullptr},
    {L"ProgressDialogDownloadDetailsText", 142, 1, 999, L"([Rate], [TimeLeft] left)", nullptr},
    {L"ProgressDialogWaitingForRetryText", 143, 1, 999, L"(Error! Waiting for retry...)", nullptr},
    {L"MegabyteRateText", 144, 1, 149, L"MB/s", nullptr},
    {L"KilobyteRateText", 145, 1, 149, L"kB/s", nullptr},
};

TEST(PropertyTableTest, TextPropertiesKeepTheirLengthRule)
{
    const std::wstring strAboveBmp = L"\U0001F600";  // two UTF-16 units
    std::set<model::TextProperty> texts;
    model::PropertyHolder shared;
    for (const TextRow& row : kTextRows) {
        SCOPED_TRACE(core::ToUtf8(row.strName));
        const model::PropertyDescriptor& property = Named(row.strName);
        EXPECT_EQ(property.dispid, row.dispid);
        EXPECT_EQ(property.type, VarType::BStr);
        EXPECT_FALSE(property.bReadOnly);
        ASSERT_TRUE(property.bHasTextRule);
        EXPECT_EQ(&model::PropertyTable::ForText(property.text), &property);
        texts.insert(property.text);
        const std::wstring strFallback =
            row.strFallback != nullptr ? row.strFallback : row.strInitial;

        model::PropertyHolder holder;
        EXPECT_EQ(GetText(holder, row.strName), row.strInitial);
        EXPECT_EQ(holder.GetText(property.text), row.strInitial);

        struct Case {
            std::wstring strValue;
            std::wstring strExpected;
        };
        const std::size_t uintMax = row.uintMaxAccepted;
        const Case cases[] = {
            {L"", row.uintMinAccepted == 0 ? L"" : strFallback},
            {L"x", L"x"},
            {std::wstring(uintMax, L'a'), std::wstring(uintMax, L'a')},
            {std::wstring(uintMax + 1, L'b'), strFallback},
            // The limits count UTF-16 units: the last character takes two.
            {std::wstring(uintMax - 2, L'c') + strAboveBmp,
             std::wstring(uintMax - 2, L'c') + strAboveBmp},
            {std::wstring(uintMax - 1, L'd') + strAboveBmp, strFallback},
        };
        for (const Case& entry : cases) {
            SCOPED_TRACE(entry.strValue.size());
            // Start from a value that none of the cases gives.
            ASSERT_EQ(Put(holder, row.strName, Text(L"y")), S_OK);
            EXPECT_EQ(Put(holder, row.strName, Text(entry.strValue.c_str())), S_OK);
            const Variant value = GetValue(holder, row.strName);
            EXPECT_EQ(value.Type(), VarType::BStr);
            EXPECT_EQ(value.String().Value(), entry.strExpected);
        }
        EXPECT_EQ(Put(holder, row.strName, NullText()), S_OK);
        EXPECT_FALSE(GetValue(holder, row.strName).String().IsNull());
        EXPECT_EQ(GetText(holder, row.strName), L"");

        // Each text has a storage of its own.
        ASSERT_EQ(Put(shared, row.strName, Text(row.strName)), S_OK);
    }
    EXPECT_EQ(texts.size(), std::size(kTextRows));
    EXPECT_EQ(texts.size(), model::kTextPropertyCount);
    for (const TextRow& row : kTextRows) {
        EXPECT_EQ(GetText(shared, row.strName), row.strName);
    }
}

struct OtherRow {
    const wchar_t* strName;
    com::DISPID dispid;
    VarType type;
    bool bReadOnly;
    bool bControlHandled;
};

TEST(PropertyTableTest, OtherPropertiesHaveTheirTypesAndInitialValues)
{
    const OtherRow rows[] = {
        {L"FileList", 1, VarType::BStr, false, true},
        {L"TimeOut", 2, VarType::I4, false, false},
        {L"FileExistsDialogTimeOut", 3, VarType::I4, false, false},
        {L"FileExistsDialogDefaultAction", 4, VarType::BStr, false, false},
        {L"DownloadCompleteAction", 5, VarType::BStr, false, false},
        {L"ProcessSubfolders", 8, VarType::Bool, false, false},
        {L"FileListExpanded", 9, VarType::Bool, false, false},
        {L"LogFileExpanded", 10, VarType::Bool, false, false},
        {L"BackgroundColor", 115, VarType::BStr, false, false},
        {L"ButtonDownloadText", 119, VarType::BStr, false, true},
        {L"Enabled", 127, VarType::Bool, false, true},
        {L"Version", 130, VarType::BStr, true, false},
        {L"ReconnectAttemptsCount", 131, VarType::UI4, false, false},
        {L"ReconnectTimeOut", 132, VarType::UI4, false, false},
        {L"ShowFileListProgressDialog", 133, VarType::Bool, false, false},
        {L"ShowProgressDialog", 141, VarType::Bool, false, false},
        {L"ParallelDownloads", 146, VarType::I4, false, false},
        {L"RetryAfterLimit", 147, VarType::I4, false, false},
    };
    EXPECT_EQ(std::size(rows) + std::size(kTextRows), model::PropertyTable::Entries().size());
    for (const OtherRow& row : rows) {
        SCOPED_TRACE(core::ToUtf8(row.strName));
        const model::PropertyDescriptor& property = Named(row.strName);
        EXPECT_EQ(property.dispid, row.dispid);
        EXPECT_EQ(property.type, row.type);
        EXPECT_EQ(property.bReadOnly, row.bReadOnly);
        EXPECT_EQ(property.bControlHandled, row.bControlHandled);
        EXPECT_FALSE(property.bHasTextRule);
    }

    const model::PropertyHolder holder;
    struct Initial {
        const wchar_t* strName;
        Variant expected;
    };
    const Initial initials[] = {
        {L"FileList", Text(L"")},
        {L"TimeOut", Variant::FromI4(0)},
        {L"FileExistsDialogTimeOut", Variant::FromI4(-1)},
        {L"FileExistsDialogDefaultAction", Text(L"0")},
        {L"DownloadCompleteAction", Text(L"0")},
        {L"ProcessSubfolders", Variant::FromBool(true)},
        {L"FileListExpanded", Variant::FromBool(false)},
        {L"LogFileExpanded", Variant::FromBool(false)},
        {L"BackgroundColor", Text(L"#ffffff")},
        {L"ButtonDownloadText", Text(L"Download")},
        {L"Version", Text(L"7, 0, 2, 0")},
        {L"ReconnectAttemptsCount", Variant::FromUI4(3)},
        {L"ReconnectTimeOut", Variant::FromUI4(3000)},
        {L"ShowFileListProgressDialog", Variant::FromBool(false)},
        {L"ShowProgressDialog", Variant::FromBool(true)},
        {L"ParallelDownloads", Variant::FromI4(1)},
        {L"RetryAfterLimit", Variant::FromI4(0)},
    };
    for (const Initial& initial : initials) {
        SCOPED_TRACE(core::ToUtf8(initial.strName));
        EXPECT_EQ(GetValue(holder, initial.strName), initial.expected);
    }
    EXPECT_STREQ(holder.GetCaption(), L"Velmora Pullbay");
    EXPECT_TRUE(holder.GetConfirmationEnabled());
    EXPECT_FALSE(holder.IsInitialized());
}

TEST(PropertyTableTest, NumbersOutOfRangeClampOrFallBackByTheirRule)
{
    struct Row {
        const wchar_t* strName;
        Variant value;
        Variant expected;
    };
    const Row rows[] = {
        {L"TimeOut", Variant::FromI4(-5), Variant::FromI4(0)},
        {L"TimeOut", Variant::FromI4(2000000), Variant::FromI4(0)},
        {L"TimeOut", Variant::FromI4(1000000), Variant::FromI4(1000000)},
        {L"TimeOut", Variant::FromI4(1000001), Variant::FromI4(0)},
        {L"FileExistsDialogTimeOut", Variant::FromI4(-7), Variant::FromI4(-1)},
        {L"FileExistsDialogTimeOut", Variant::FromI4(1000001), Variant::FromI4(-1)},
        {L"FileExistsDialogTimeOut", Variant::FromI4(0), Variant::FromI4(0)},
        {L"FileExistsDialogTimeOut", Variant::FromI4(1000000), Variant::FromI4(1000000)},
        {L"ReconnectAttemptsCount", Variant::FromUI4(1001), Variant::FromUI4(3)},
        {L"ReconnectAttemptsCount", Variant::FromUI4(1000), Variant::FromUI4(1000)},
        {L"ReconnectAttemptsCount", Variant::FromUI4(0), Variant::FromUI4(0)},
        {L"ReconnectAttemptsCount", Variant::FromUI4(0xFFFFFFFFu), Variant::FromUI4(3)},
        {L"ReconnectTimeOut", Variant::FromUI4(15000001), Variant::FromUI4(3000)},
        {L"ReconnectTimeOut", Variant::FromUI4(15000000), Variant::FromUI4(15000000)},
        // These two fall back on both sides, negative values included.
        {L"ParallelDownloads", Variant::FromI4(0), Variant::FromI4(1)},
        {L"ParallelDownloads", Variant::FromI4(-3), Variant::FromI4(1)},
        {L"ParallelDownloads", Variant::FromI4(33), Variant::FromI4(1)},
        {L"ParallelDownloads", Variant::FromI4(32), Variant::FromI4(32)},
        {L"ParallelDownloads", Text(L"6"), Variant::FromI4(6)},
        {L"RetryAfterLimit", Variant::FromI4(-1), Variant::FromI4(0)},
        {L"RetryAfterLimit", Variant::FromI4(86401), Variant::FromI4(0)},
        {L"RetryAfterLimit", Variant::FromI4(86400), Variant::FromI4(86400)},
        // Script passes other types; they are converted first.
        {L"TimeOut", Text(L"-5"), Variant::FromI4(0)},
        {L"TimeOut", Text(L"250"), Variant::FromI4(250)},
        {L"ReconnectTimeOut", Variant::FromI4(7), Variant::FromUI4(7)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(core::ToUtf8(row.strName));
        model::PropertyHolder holder;
        // Start away from the initial value, so a fallback is seen to be stored.
        ASSERT_EQ(Put(holder, row.strName, Variant::FromI4(17)), S_OK);
        EXPECT_EQ(Put(holder, row.strName, row.value), S_OK);
        EXPECT_EQ(GetValue(holder, row.strName), row.expected);
    }

    model::PropertyHolder holder;
    ASSERT_EQ(Put(holder, L"TimeOut", Variant::FromI4(1500)), S_OK);
    EXPECT_EQ(holder.GetTimeOut(), 1500);
    EXPECT_EQ(Put(holder, L"TimeOut", Text(L"soon")), com::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(holder.GetTimeOut(), 1500);
    EXPECT_EQ(Put(holder, L"ReconnectAttemptsCount", Variant::FromI4(-1)), com::DISP_E_OVERFLOW);
    EXPECT_EQ(holder.GetReconnectAttemptsCount(), 3u);
    ASSERT_EQ(Put(holder, L"ParallelDownloads", Variant::FromI4(6)), S_OK);
    ASSERT_EQ(Put(holder, L"RetryAfterLimit", Variant::FromI4(60)), S_OK);
    EXPECT_EQ(holder.GetParallelDownloads(), 6u);
    EXPECT_EQ(holder.GetRetryAfterLimit(), 60u);
}

TEST(PropertyTableTest, EnumerationsTakeNamesOrDigitsAndReadBackDigits)
{
    struct Row {
        const wchar_t* strName;
        NullableString strValue;
        const wchar_t* strExpected;
    };
    const Row rows[] = {
        {L"FileExistsDialogDefaultAction", L"rename", L"2"},
        {L"FileExistsDialogDefaultAction", L"Delete", L"0"},
        {L"FileExistsDialogDefaultAction", L"SKIP", L"1"},
        {L"FileExistsDialogDefaultAction", L"1", L"1"},
        {L"FileExistsDialogDefaultAction", L"Overwrite", L"0"},
        {L"FileExistsDialogDefaultAction", L" 2", L"0"},
        {L"FileExistsDialogDefaultAction", L"", L"0"},
        {L"FileExistsDialogDefaultAction", NullableString(), L"0"},
        {L"DownloadCompleteAction", L"ActionNone", L"0"},
        {L"DownloadCompleteAction", L"openfolder", L"2"},
        {L"DownloadCompleteAction", L"Prompt", L"1"},
        {L"DownloadCompleteAction", L"2", L"2"},
        {L"DownloadCompleteAction", L"3", L"0"},
        {L"DownloadCompleteAction", L"none", L"0"},
        {L"DownloadCompleteAction", NullableString(), L"0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(core::ToUtf8(row.strName) + " " + core::ToUtf8(row.strValue.Value()));
        model::PropertyHolder holder;
        ASSERT_EQ(Put(holder, row.strName, Text(L"1")), S_OK);
        EXPECT_EQ(Put(holder, row.strName, Variant::FromString(row.strValue)), S_OK);
        EXPECT_EQ(GetText(holder, row.strName), row.strExpected);
    }

    model::PropertyHolder holder;
    ASSERT_EQ(Put(holder, L"FileExistsDialogDefaultAction", Text(L"Rename")), S_OK);
    ASSERT_EQ(Put(holder, L"DownloadCompleteAction", Text(L"Prompt")), S_OK);
    EXPECT_EQ(holder.GetFileExistsDialogDefaultAction(), model::FileExistsDialogAction::Rename);
    EXPECT_EQ(holder.GetDownloadCompleteAction(), model::DownloadCompleteAction::Prompt);
}

TEST(PropertyTableTest, BackgroundColorTakesHexOrKeywordUntilInitialized)
{
    struct Row {
        NullableString strValue;
        const wchar_t* strExpected;
    };
    const Row rows[] = {
        {L"#FF0000", L"#ff0000"},   {L"#a0B1c2", L"#a0b1c2"},   {L"navy", L"#000080"},
        {L"LightGrey", L"#d3d3d3"}, {L"lightGREY", L"#d3d3d3"}, {L"Magenta", L"#ff00ff"},
        {L"#12345G", L"#ffffff"},   {L"#1234567", L"#ffffff"},  {L"123456", L"#ffffff"},
        {L"no colour", L"#ffffff"}, {L"", L"#ffffff"},          {NullableString(), L"#ffffff"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(core::ToUtf8(row.strValue.Value()));
        model::PropertyHolder holder;
        ASSERT_EQ(Put(holder, L"BackgroundColor", Text(L"#010203")), S_OK);
        EXPECT_EQ(Put(holder, L"BackgroundColor", Variant::FromString(row.strValue)), S_OK);
        EXPECT_EQ(GetText(holder, L"BackgroundColor"), row.strExpected);
    }

    model::PropertyHolder holder;
    ASSERT_EQ(Put(holder, L"BackgroundColor", Text(L"#102030")), S_OK);
    EXPECT_EQ(holder.GetBackgroundColor(), 0x00302010u);  // 0x00BBGGRR
    holder.SetInitialized(true);
    EXPECT_EQ(Put(holder, L"BackgroundColor", Text(L"#000000")), E_FAIL);
    EXPECT_EQ(Put(holder, L"BackgroundColor", NullText()), E_FAIL);
    EXPECT_EQ(GetText(holder, L"BackgroundColor"), L"#102030");
    EXPECT_STREQ(model::kColorChangeRefusedText,
                 L"You can not change colors after control initialization.");
}

TEST(PropertyTableTest, SpecialPutsRefuseWhatTheyMust)
{
    model::PropertyHolder holder;
    EXPECT_EQ(Put(holder, L"FileList", NullText()), E_POINTER);
    EXPECT_EQ(Put(holder, L"ButtonDownloadText", NullText()), E_POINTER);
    EXPECT_EQ(GetText(holder, L"ButtonDownloadText"), L"Download");

    // No length rule for the button.
    const std::wstring strLong(5000, L'L');
    EXPECT_EQ(Put(holder, L"ButtonDownloadText", Text(strLong.c_str())), S_OK);
    EXPECT_EQ(holder.GetButtonDownloadText(), strLong);
    EXPECT_EQ(Put(holder, L"ButtonDownloadText", Text(L"")), S_OK);
    EXPECT_EQ(holder.GetButtonDownloadText(), L"");

    EXPECT_EQ(Put(holder, L"Version", Text(L"8, 0, 0, 0")), com::DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(GetText(holder, L"Version"), L"7, 0, 2, 0");

    Variant value = Variant::FromI4(5);
    EXPECT_EQ(Named(L"Enabled").Get(holder, value), E_NOTIMPL);
    EXPECT_EQ(Named(L"Enabled").Put(holder, Variant::FromBool(false)), E_NOTIMPL);
    EXPECT_EQ(value, Variant::FromI4(5));
}

TEST(PropertyTableTest, BooleansStoreAnyNonZeroAsTrue)
{
    const wchar_t* names[] = {L"ProcessSubfolders", L"FileListExpanded", L"LogFileExpanded",
                              L"ShowFileListProgressDialog", L"ShowProgressDialog"};
    for (const wchar_t* strName : names) {
        SCOPED_TRACE(core::ToUtf8(strName));
        model::PropertyHolder holder;
        EXPECT_EQ(Put(holder, strName, Variant::FromBool(false)), S_OK);
        EXPECT_EQ(GetValue(holder, strName), Variant::FromBool(false));
        EXPECT_EQ(Put(holder, strName, Variant::FromI4(2)), S_OK);
        EXPECT_EQ(GetValue(holder, strName), Variant::FromBool(true));
        EXPECT_EQ(Put(holder, strName, Variant::FromI4(0)), S_OK);
        EXPECT_EQ(GetValue(holder, strName), Variant::FromBool(false));
    }
}

TEST(PropertyTableTest, TableOrderAndLookupsHoldEveryPropertyOnce)
{
    const auto entries = model::PropertyTable::Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().dispid, 1);
    EXPECT_EQ(entries.back().dispid, 147);
    std::set<std::wstring> names;
    std::set<com::DISPID> dispids;
    const model::PropertyHolder holder;
    for (std::size_t uintRow = 0; uintRow < entries.size(); ++uintRow) {
        const model::PropertyDescriptor& property = entries[uintRow];
        SCOPED_TRACE(core::ToUtf8(property.strName));
        if (uintRow > 0) {
            EXPECT_LT(entries[uintRow - 1].dispid, property.dispid);
        }
        EXPECT_TRUE(names.insert(core::ToLowerAscii(property.strName)).second);
        dispids.insert(property.dispid);
        EXPECT_EQ(model::PropertyTable::TryFind(property.dispid), &property);
        EXPECT_EQ(&model::PropertyTable::Find(property.dispid), &property);
        EXPECT_EQ(model::PropertyTable::FindByName(core::ToLowerAscii(property.strName)),
                  &property);
        // Gets answer with exactly the automation type of the entry.
        Variant value;
        if (property.Get(holder, value) == S_OK) {
            EXPECT_EQ(value.Type(), property.type);
        }
    }

    const auto slots = model::PropertyTable::SlotOrder();
    EXPECT_EQ(slots.size(), entries.size());
    EXPECT_EQ(std::set<com::DISPID>(slots.begin(), slots.end()), dispids);

    EXPECT_EQ(model::PropertyTable::TryFind(11), nullptr);
    EXPECT_EQ(model::PropertyTable::FindByName(L"Caption"), nullptr);
    EXPECT_THROW(model::PropertyTable::Find(148), core::ArgumentOutOfRangeException);
}

}  // namespace
}  // namespace pullbay::control
