// The confirmation dialog's logic: column map and widths, the checked count
// with OK's state, the Protected Mode limit, folding and the result.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ui/ConfirmationModel.h"

namespace pullbay::ui {
namespace {

using Field = ConfirmationModel::Field;
using Outcome = ConfirmationModel::ToggleOutcome;

ConfirmationSettings Settings(bool bProtectedMode = false, bool bExpanded = false)
{
    ConfirmationSettings settings;
    settings.strShowFileListButtonText = L"Show File List >>";
    settings.strHideFileListButtonText = L"Hide File List <<";
    settings.strListUrlText = L"URL";
    settings.strListFileNameText = L"File Name";
    settings.strListFileSizeText = L"File Size";
    settings.strListContentTypeText = L"Content-Type";
    settings.strMaxFileCountExceededText =
        L"Sorry, but you cannot download more than [count] files in IE Protected Mode. "
        L"Please contact web site administrator for more information.";
    settings.bProtectedMode = bProtectedMode;
    settings.bFileListExpanded = bExpanded;
    return settings;
}

ConfirmationRows Rows(std::size_t uintCount)
{
    ConfirmationRows rows;
    for (std::size_t uintIndex = 0; uintIndex < uintCount; ++uintIndex) {
        const std::wstring strIndex = std::to_wstring(uintIndex);
        // Rows arrive unchecked to show that opening checks them.
        rows.push_back(
            {L"http://h/" + strIndex, L"f" + strIndex, strIndex + L" KB", L"text/plain", false});
    }
    return rows;
}

TEST(ConfirmationModelTest, ColumnsFollowTheTitlesThatAreSet)
{
    struct Case {
        const wchar_t* pUrl;
        const wchar_t* pName;
        const wchar_t* pSize;
        const wchar_t* pType;
        std::vector<int> columnOfField;  // URL, name, size, type
        std::vector<int> widths;         // for 400 available
    };
    const Case cases[] = {
        {L"U", L"N", L"S", L"T", {0, 1, 2, 3}, {147, 105, 63, 84}},
        {L"", L"N", L"S", L"", {-1, 0, 1, -1}, {250, 150}},
        {L"U", L"", L"", L"T", {0, -1, -1, 1}, {254, 145}},
        {L"", L"", L"", L"T", {-1, -1, -1, 0}, {400}},
    };
    for (const Case& test : cases) {
        ConfirmationSettings settings = Settings();
        settings.strListUrlText = test.pUrl;
        settings.strListFileNameText = test.pName;
        settings.strListFileSizeText = test.pSize;
        settings.strListContentTypeText = test.pType;
        const ConfirmationModel model(settings, L"h", Rows(1));
        SCOPED_TRACE(testing::Message() << "widths " << test.widths.size());
        EXPECT_TRUE(ConfirmationModel::HasAnyColumn(settings));
        for (std::size_t uintField = 0; uintField < 4; ++uintField) {
            EXPECT_EQ(model.ColumnOfField(static_cast<Field>(uintField)),
                      test.columnOfField[uintField]);
        }
        EXPECT_EQ(model.ColumnWidths(400), test.widths);
    }
}

TEST(ConfirmationModelTest, NoColumnTitleMeansNoDialogAndNoWidths)
{
    ConfirmationSettings settings = Settings();
    settings.strListUrlText.clear();
    settings.strListFileNameText.clear();
    settings.strListFileSizeText.clear();
    settings.strListContentTypeText.clear();
    EXPECT_FALSE(ConfirmationModel::HasAnyColumn(settings));
    const ConfirmationModel model(settings, L"h", Rows(2));
    EXPECT_TRUE(model.ColumnWidths(400).empty());
    EXPECT_EQ(model.CellText(0, 0), L"");
}

TEST(ConfirmationModelTest, CellsShowTheMappedFieldAndNothingOutsideTheList)
{
    ConfirmationSettings settings = Settings();
    settings.strListUrlText.clear();
    const ConfirmationModel model(settings, L"h", Rows(2));
    EXPECT_EQ(model.CellText(1, 0), L"f1");
    EXPECT_EQ(model.CellText(1, 1), L"1 KB");
    EXPECT_EQ(model.CellText(1, 2), L"text/plain");
    EXPECT_EQ(model.CellText(1, 3), L"");
    EXPECT_EQ(model.CellText(2, 0), L"");
    EXPECT_FALSE(model.IsRowChecked(2));
    EXPECT_EQ(model.ColumnWidths(-10), (std::vector<int>{0, 0, 0}));
}

TEST(ConfirmationModelTest, UncheckingTheLastFileDisablesOkAndCheckingOneEnablesIt)
{
    ConfirmationModel model(Settings(), L"h", Rows(2));
    EXPECT_EQ(model.CheckedCount(), 2u);
    EXPECT_TRUE(model.IsOkEnabled());

    EXPECT_EQ(model.ToggleRow(0), Outcome::Toggled);
    EXPECT_TRUE(model.IsOkEnabled());
    EXPECT_EQ(model.ToggleRow(1), Outcome::Toggled);
    EXPECT_EQ(model.CheckedCount(), 0u);
    EXPECT_FALSE(model.IsOkEnabled());
    EXPECT_FALSE(model.Accept());
    EXPECT_EQ(model.GetResult(), ConfirmationModel::Result::Pending);

    EXPECT_EQ(model.ToggleRow(7), Outcome::Ignored);
    EXPECT_EQ(model.CheckedCount(), 0u);

    EXPECT_EQ(model.ToggleRow(1), Outcome::Toggled);
    EXPECT_TRUE(model.IsOkEnabled());
    EXPECT_TRUE(model.Accept());
    EXPECT_EQ(model.GetResult(), ConfirmationModel::Result::Ok);
    EXPECT_EQ(model.CheckedFlags(), (std::vector<bool>{false, true}));
    // The dialog has ended: the flags to write back no longer change.
    EXPECT_EQ(model.ToggleRow(0), Outcome::Ignored);
    model.Cancel();
    EXPECT_EQ(model.GetResult(), ConfirmationModel::Result::Ok);
}

TEST(ConfirmationModelTest, CheckAllAndUncheckAll)
{
    ConfirmationModel model(Settings(), L"h", Rows(600));
    EXPECT_EQ(model.CheckedCount(), 600u);
    model.UncheckAll();
    EXPECT_EQ(model.CheckedCount(), 0u);
    EXPECT_FALSE(model.IsOkEnabled());
    EXPECT_EQ(model.CheckedFlags(), std::vector<bool>(600, false));
    model.CheckAll();
    EXPECT_EQ(model.CheckedCount(), 600u);
    EXPECT_TRUE(model.IsOkEnabled());

    ConfirmationModel empty(Settings(), L"h", {});
    EXPECT_TRUE(empty.IsOkEnabled());
    empty.UncheckAll();
    EXPECT_FALSE(empty.IsOkEnabled());
    empty.CheckAll();
    EXPECT_TRUE(empty.IsOkEnabled());
    EXPECT_EQ(empty.ToggleRow(0), Outcome::Ignored);
}

TEST(ConfirmationModelTest, ProtectedModeLimitsTheCheckedFilesTo500)
{
    ConfirmationModel model(Settings(true), L"h", Rows(600));
    EXPECT_EQ(model.CheckedCount(), 500u);
    const std::vector<bool> flags = model.CheckedFlags();
    EXPECT_TRUE(flags[499]);
    EXPECT_FALSE(flags[500]);

    EXPECT_EQ(model.ToggleRow(550), Outcome::LimitReached);
    EXPECT_FALSE(model.IsRowChecked(550));
    EXPECT_EQ(model.CheckedCount(), 500u);
    EXPECT_EQ(model.MaxFileCountExceededMessage(),
              L"Sorry, but you cannot download more than 500 files in IE Protected Mode. "
              L"Please contact web site administrator for more information.");

    // Room made by unchecking one lets another in.
    EXPECT_EQ(model.ToggleRow(0), Outcome::Toggled);
    EXPECT_EQ(model.ToggleRow(550), Outcome::Toggled);
    EXPECT_EQ(model.CheckedCount(), 500u);

    model.UncheckAll();
    model.CheckAll();
    EXPECT_EQ(model.CheckedFlags(), flags);
    EXPECT_TRUE(model.Accept());
}

TEST(ConfirmationModelTest, FoldStateAndButtonText)
{
    ConfirmationModel model(Settings(false, false), L"files.example", Rows(1));
    EXPECT_EQ(model.ServerName(), L"files.example");
    EXPECT_FALSE(model.IsExpanded());
    EXPECT_TRUE(model.HasFoldButton());
    EXPECT_EQ(model.FoldButtonText(), L"Show File List >>");
    model.ToggleFold();
    EXPECT_TRUE(model.IsExpanded());
    EXPECT_EQ(model.FoldButtonText(), L"Hide File List <<");
    model.ToggleFold();
    EXPECT_EQ(model.FoldButtonText(), L"Show File List >>");

    ConfirmationSettings settings = Settings(false, true);
    settings.strShowFileListButtonText.clear();
    ConfirmationModel noButton(settings, L"h", Rows(1));
    EXPECT_FALSE(noButton.HasFoldButton());
    EXPECT_TRUE(noButton.IsExpanded());

    noButton.Cancel();
    EXPECT_EQ(noButton.GetResult(), ConfirmationModel::Result::Cancel);
    EXPECT_FALSE(noButton.Accept());
}

}  // namespace
}  // namespace pullbay::ui
