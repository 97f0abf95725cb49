#pragma once
// The logic of the download confirmation dialog without a window: the rows
// and their check boxes, the checked count, the Protected Mode limit, the
// fold state, the column map and the result. GUI thread only (or the
// headless host's thread); not synchronised.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/ConfirmationRows.h"

namespace pullbay::ui {

// The settings the dialog reads, copied from the control's properties.
struct ConfirmationSettings {
    std::wstring strCaption;
    std::wstring strServerNameRemarkText;
    std::wstring strText;
    std::wstring strOkButtonText;
    std::wstring strCancelButtonText;
    std::wstring strShowFileListButtonText;
    std::wstring strHideFileListButtonText;
    std::wstring strCheckAllButtonText;
    std::wstring strUncheckAllButtonText;
    std::wstring strListUrlText;
    std::wstring strListFileNameText;
    std::wstring strListFileSizeText;
    std::wstring strListContentTypeText;
    std::wstring strMaxFileCountExceededText;
    bool bFileListExpanded = false;
    // Platform class 5 or more and the process in Protected Mode.
    bool bProtectedMode = false;
};

class ConfirmationModel {
public:
    // The most files that may be checked in Protected Mode.
    static constexpr std::size_t kProtectedModeFileLimit = 500;

    enum class Field : std::int32_t {
        Url = 0,
        FileName = 1,
        FileSize = 2,
        ContentType = 3,
    };
    static constexpr std::size_t kFieldCount = 4;

    struct Column {
        Field field;
        std::wstring strTitle;
        double dblWeight;
    };

    enum class ToggleOutcome {
        Toggled,
        // Row index outside the list.
        Ignored,
        // Checking it would exceed the Protected Mode limit: the view shows
        // MaxFileCountExceededMessage() and the row stays unchecked.
        LimitReached,
    };

    enum class Result : std::int32_t {
        Pending = 0,
        Ok = 1,
        Cancel = 2,
    };

    // Opens with every row checked (the first 500 in Protected Mode) and
    // folded or unfolded as bFileListExpanded says.
    // The rows are shared with the caller's copy, not copied (see
    // ConfirmationRows); their check flags are the items' and stay as they
    // are: the model keeps its own.
    ConfirmationModel(ConfirmationSettings settings, std::wstring strServerName,
                      ConfirmationRows rows);

    // Whether the dialog is shown at all: at least one column title is set.
    static bool HasAnyColumn(const ConfirmationSettings& settings);

    const ConfirmationSettings& Settings() const { return m_settings; }
    const std::wstring& ServerName() const { return m_strServerName; }
    const std::wstring& ServerNameRemarkText() const { return m_settings.strServerNameRemarkText; }
    const std::wstring& Text() const { return m_settings.strText; }

    std::size_t RowCount() const { return m_rows.size(); }
    const ConfirmationRows& Rows() const { return m_rows; }
    // The row's check box; false for an index outside the list.
    bool IsRowChecked(std::size_t uintRow) const;
    // The text of a list cell; empty outside the list or the columns.
    std::wstring CellText(std::size_t uintRow, std::size_t uintColumn) const;

    // The present columns in display order.
    const std::vector<Column>& Columns() const { return m_columns; }
    // The column that shows a field, or -1 when the field has none.
    int ColumnOfField(Field field) const;
    // Widths for a list whose usable width (client width less a vertical
    // scroll bar) is intAvailable, each truncated toward zero.
    std::vector<int> ColumnWidths(int intAvailable) const;

    std::size_t CheckedCount() const { return m_uintCheckedCount; }
    bool IsOkEnabled() const { return m_bOkEnabled; }
    std::size_t CheckLimit() const;

    ToggleOutcome ToggleRow(std::size_t uintRow);
    void CheckAll();
    void UncheckAll();
    // The Protected Mode refusal with "[count]" replaced by the limit.
    std::wstring MaxFileCountExceededMessage() const;

    bool IsExpanded() const { return m_bExpanded; }
    void ToggleFold();
    // The Show/Hide button exists only when its show text is not empty.
    bool HasFoldButton() const { return !m_settings.strShowFileListButtonText.empty(); }
    const std::wstring& FoldButtonText() const;

    // OK (also the Enter key) ends the dialog only while OK is enabled;
    // returns whether it did. Cancel (also Escape) always ends it.
    bool Accept();
    void Cancel();
    Result GetResult() const { return m_result; }
    // The Checked flags to write back to the items, in list order.
    std::vector<bool> CheckedFlags() const;

private:
    void SetChecked(std::size_t uintRow, bool bChecked);

    ConfirmationSettings m_settings;
    std::wstring m_strServerName;
    ConfirmationRows m_rows;
    // The check boxes, one per row.
    std::vector<bool> m_checked;
    std::vector<Column> m_columns;
    std::array<int, kFieldCount> m_columnOfField{};
    std::size_t m_uintCheckedCount = 0;
    bool m_bOkEnabled = false;
    bool m_bExpanded = false;
    Result m_result = Result::Pending;
};

}  // namespace pullbay::ui
