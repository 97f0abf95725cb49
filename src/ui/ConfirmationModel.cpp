#include "ui/ConfirmationModel.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"

namespace pullbay::ui {

namespace {

struct FieldDescription {
    ConfirmationModel::Field field;
    std::wstring ConfirmationSettings::*pTitle;
    double dblWeight;
};

// Table order is display order.
constexpr FieldDescription kFields[ConfirmationModel::kFieldCount] = {
    {ConfirmationModel::Field::Url, &ConfirmationSettings::strListUrlText, 3.5},
    {ConfirmationModel::Field::FileName, &ConfirmationSettings::strListFileNameText, 2.5},
    {ConfirmationModel::Field::FileSize, &ConfirmationSettings::strListFileSizeText, 1.5},
    {ConfirmationModel::Field::ContentType, &ConfirmationSettings::strListContentTypeText, 2.0},
};

}  // namespace

ConfirmationModel::ConfirmationModel(ConfirmationSettings settings, std::wstring strServerName,
                                     ConfirmationRows rows)
    : m_settings(std::move(settings)),
      m_strServerName(std::move(strServerName)),
      m_rows(std::move(rows)),
      m_checked(m_rows.size()),
      m_bExpanded(m_settings.bFileListExpanded)
{
    for (const FieldDescription& description : kFields) {
        const std::wstring& strTitle = m_settings.*description.pTitle;
        if (strTitle.empty()) {
            m_columnOfField[static_cast<std::size_t>(description.field)] = -1;
            continue;
        }
        m_columnOfField[static_cast<std::size_t>(description.field)] =
            static_cast<int>(m_columns.size());
        m_columns.push_back(Column{description.field, strTitle, description.dblWeight});
    }
    CheckAll();
}

bool ConfirmationModel::HasAnyColumn(const ConfirmationSettings& settings)
{
    return std::any_of(std::begin(kFields), std::end(kFields),
                       [&settings](const FieldDescription& description) {
                           return !(settings.*description.pTitle).empty();
                       });
}

bool ConfirmationModel::IsRowChecked(std::size_t uintRow) const
{
    return uintRow < m_checked.size() && m_checked[uintRow];
}

std::wstring ConfirmationModel::CellText(std::size_t uintRow, std::size_t uintColumn) const
{
    if (uintRow >= m_rows.size() || uintColumn >= m_columns.size()) {
        return {};
    }
    switch (m_columns[uintColumn].field) {
    case Field::Url:
        return m_rows.Url(uintRow).Str();
    case Field::FileName:
        return m_rows.FileName(uintRow).Str();
    case Field::FileSize:
        return m_rows.FileSizeText(uintRow).Str();
    case Field::ContentType:
        return m_rows.MimeType(uintRow).Str();
    }
    return {};
}

int ConfirmationModel::ColumnOfField(Field field) const
{
    const auto uintField = static_cast<std::size_t>(field);
    return uintField < kFieldCount ? m_columnOfField[uintField] : -1;
}

std::vector<int> ConfirmationModel::ColumnWidths(int intAvailable) const
{
    double dblSum = 0.0;
    for (const Column& column : m_columns) {
        dblSum += column.dblWeight;
    }
    std::vector<int> widths;
    widths.reserve(m_columns.size());
    for (const Column& column : m_columns) {
        // A list narrower than its scroll bar gets no negative widths.
        const double dblWidth = std::max(0, intAvailable) * column.dblWeight / dblSum;
        widths.push_back(static_cast<int>(std::trunc(dblWidth)));
    }
    return widths;
}

std::size_t ConfirmationModel::CheckLimit() const
{
    return m_settings.bProtectedMode ? kProtectedModeFileLimit : m_rows.size();
}

void ConfirmationModel::SetChecked(std::size_t uintRow, bool bChecked)
{
    m_checked[uintRow] = bChecked;
}

ConfirmationModel::ToggleOutcome ConfirmationModel::ToggleRow(std::size_t uintRow)
{
    if (uintRow >= m_rows.size() || m_result != Result::Pending) {
        return ToggleOutcome::Ignored;
    }
    const bool bChecked = m_checked[uintRow];
    const std::size_t uintNewCount = bChecked ? m_uintCheckedCount - 1 : m_uintCheckedCount + 1;
    if (uintNewCount == 0) {
        m_bOkEnabled = false;
    } else if (!bChecked && m_settings.bProtectedMode && uintNewCount > kProtectedModeFileLimit) {
        return ToggleOutcome::LimitReached;
    } else {
        m_bOkEnabled = true;
    }
    SetChecked(uintRow, !bChecked);
    m_uintCheckedCount = uintNewCount;
    return ToggleOutcome::Toggled;
}

void ConfirmationModel::CheckAll()
{
    const std::size_t uintLimit = CheckLimit();
    m_uintCheckedCount = 0;
    for (std::size_t uintRow = 0; uintRow < m_rows.size(); ++uintRow) {
        const bool bChecked = uintRow < uintLimit;
        SetChecked(uintRow, bChecked);
        m_uintCheckedCount += bChecked ? 1 : 0;
    }
    // Enabled even for an empty list: the run then simply has nothing to do.
    m_bOkEnabled = true;
}

void ConfirmationModel::UncheckAll()
{
    for (std::size_t uintRow = 0; uintRow < m_rows.size(); ++uintRow) {
        SetChecked(uintRow, false);
    }
    m_uintCheckedCount = 0;
    m_bOkEnabled = false;
}

std::wstring ConfirmationModel::MaxFileCountExceededMessage() const
{
    std::wstring strMessage = m_settings.strMaxFileCountExceededText;
    ReplaceAll(strMessage, kPlaceholderCount,
               FormatInteger(static_cast<std::int64_t>(kProtectedModeFileLimit)));
    return strMessage;
}

void ConfirmationModel::ToggleFold()
{
    m_bExpanded = !m_bExpanded;
}

const std::wstring& ConfirmationModel::FoldButtonText() const
{
    return m_bExpanded ? m_settings.strHideFileListButtonText
                       : m_settings.strShowFileListButtonText;
}

bool ConfirmationModel::Accept()
{
    if (m_result != Result::Pending || !m_bOkEnabled) {
        return false;
    }
    // The limit holds by construction; refuse rather than start a run that
    // Protected Mode cannot take should a caller ever get past it.
    if (m_settings.bProtectedMode && m_uintCheckedCount > kProtectedModeFileLimit) {
        return false;
    }
    m_result = Result::Ok;
    return true;
}

void ConfirmationModel::Cancel()
{
    if (m_result == Result::Pending) {
        m_result = Result::Cancel;
    }
}

std::vector<bool> ConfirmationModel::CheckedFlags() const
{
    return m_checked;
}

}  // namespace pullbay::ui
