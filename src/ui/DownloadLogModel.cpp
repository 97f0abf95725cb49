#include "ui/DownloadLogModel.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "ui/TextFormatters.h"
#include "ui/TextPlaceholders.h"

namespace pullbay::ui {

namespace {

constexpr int kResultSuccess = 0;
constexpr int kResultFailed = 1;
constexpr int kResultSkipped = 3;
constexpr int kResultWrongContentType = 4;
constexpr int kResultWrongFileSize = 5;
constexpr int kResultWriteError = 6;
constexpr int kResultNotFound = 7;
constexpr int kResultForbidden = 8;

struct Substitution {
    std::wstring_view strPlaceholder;
    std::wstring_view strValue;
};

// Replaces every placeholder in one pass over the template, so that a value
// (a URL or a file name from the list) that happens to contain another
// placeholder is taken literally. For the template itself the outcome is
// the same as replacing the placeholders one after another, since none of
// them occurs inside another.
template <std::size_t Count>
std::wstring SubstituteOnce(std::wstring_view strTemplate,
                            const std::array<Substitution, Count>& substitutions)
{
    std::wstring strResult;
    strResult.reserve(strTemplate.size());
    std::size_t uintPos = 0;
    while (uintPos < strTemplate.size()) {
        const Substitution* pMatch = nullptr;
        if (strTemplate[uintPos] == L'[') {
            const std::wstring_view strRest = strTemplate.substr(uintPos);
            for (const Substitution& substitution : substitutions) {
                if (strRest.starts_with(substitution.strPlaceholder)) {
                    pMatch = &substitution;
                    break;
                }
            }
        }
        if (pMatch != nullptr) {
            strResult += pMatch->strValue;
            uintPos += pMatch->strPlaceholder.size();
        } else {
            strResult += strTemplate[uintPos];
            ++uintPos;
        }
    }
    return strResult;
}

[[noreturn]] void ThrowRowOutOfRange()
{
    // The dialog's name, as the callers have always seen it in the record.
    core::RecordAndThrow(core::ArgumentException(L"DownloadCompleteDialog::GetItemString",
                                                 PB_SOURCE_FILE,
                                                 static_cast<std::uint32_t>(__LINE__), L"row"));
}

}  // namespace

DownloadLogModel::DownloadLogModel(std::vector<DownloadLogRow> rows, DownloadLogTexts texts,
                                   bool bCopyFailed, std::wstring strDestinationFolder)
    : m_rows(std::move(rows)),
      m_texts(std::move(texts)),
      m_bCopyFailed(bCopyFailed),
      m_strDestinationFolder(std::move(strDestinationFolder)),
      m_lineCache(m_rows.size()),
      m_bExpanded(m_texts.bLogExpanded)
{
}

std::size_t DownloadLogModel::GetRowCount() const
{
    return m_rows.size() + (m_bCopyFailed ? 1 : 0);
}

const std::wstring* DownloadLogModel::GetReasonText(int intResult) const
{
    switch (intResult) {
    case kResultFailed:
        return &m_texts.strCommonErrorText;
    case kResultSkipped:
        return &m_texts.strSkippedText;
    case kResultWrongContentType:
        return &m_texts.strWrongContentTypeText;
    case kResultWrongFileSize:
        return &m_texts.strWrongFileSizeText;
    case kResultWriteError:
        return &m_texts.strWriteErrorText;
    case kResultNotFound:
        return &m_texts.strNotFoundText;
    case kResultForbidden:
        return &m_texts.strForbiddenText;
    default:
        return nullptr;
    }
}

std::wstring DownloadLogModel::BuildFileLine(const DownloadLogRow& row) const
{
    std::wstring strTemplate;
    if (row.intResult == kResultSuccess) {
        strTemplate = m_texts.strSuccessText;
    } else if (const std::wstring* pReason = GetReasonText(row.intResult)) {
        strTemplate = m_texts.strFailedText;
        ReplaceAll(strTemplate, kPlaceholderReason, *pReason);
    } else {
        return {};
    }

    // Paths join with "/"; a file with a name but no folder (one that
    // skip-all never started) shows its name alone.
    std::wstring strFileName = row.strFileName;
    if (!row.strDestinationFileName.empty()) {
        strFileName = row.strDestinationFolder.empty()
                          ? row.strDestinationFileName
                          : row.strDestinationFolder + L'/' + row.strDestinationFileName;
    }
    const std::array<Substitution, 5> substitutions{{
        {kPlaceholderUrl, row.strUrl},
        {kPlaceholderFileName, strFileName},
        {kPlaceholderDeclaredFileName, row.strFileName},
        {kPlaceholderMimeType, row.strReceivedMimeType},
        {kPlaceholderDeclaredMimeType, row.strDeclaredMimeType},
    }};
    return SubstituteOnce(strTemplate, substitutions);
}

std::wstring DownloadLogModel::GetItemString(std::int64_t intRow)
{
    if (intRow < 0 || static_cast<std::uint64_t>(intRow) > m_rows.size()) {
        ThrowRowOutOfRange();
    }
    const auto uintRow = static_cast<std::size_t>(intRow);
    if (uintRow == m_rows.size()) {
        if (!m_bCopyFailed) {
            return {};
        }
        return SubstituteOnce(
            m_texts.strDeniedInProtectedModeText,
            std::array<Substitution, 1>{{{kPlaceholderDestinationFolder, m_strDestinationFolder}}});
    }
    std::wstring& strCached = m_lineCache[uintRow];
    if (strCached.empty()) {
        strCached = BuildFileLine(m_rows[uintRow]);
    }
    return strCached;
}

void DownloadLogModel::ToggleLog()
{
    m_bExpanded = !m_bExpanded;
}

const std::wstring& DownloadLogModel::GetLogButtonText() const
{
    return m_bExpanded ? m_texts.strHideLogButtonText : m_texts.strShowLogButtonText;
}

std::vector<std::wstring> DownloadLogModel::GetAllLines()
{
    std::vector<std::wstring> lines;
    const std::size_t uintCount = GetRowCount();
    lines.reserve(uintCount);
    for (std::size_t uintRow = 0; uintRow < uintCount; ++uintRow) {
        // Made without filling the cache: a million lines are kept once, by
        // the caller, not twice.
        if (uintRow < m_rows.size() && m_lineCache[uintRow].empty()) {
            lines.push_back(BuildFileLine(m_rows[uintRow]));
        } else {
            lines.push_back(GetItemString(static_cast<std::int64_t>(uintRow)));
        }
    }
    return lines;
}

std::wstring DownloadLogModel::GetCopyAllText()
{
    std::wstring strText;
    const std::size_t uintCount = GetRowCount();
    for (std::size_t uintRow = 0; uintRow < uintCount; ++uintRow) {
        strText += GetItemString(static_cast<std::int64_t>(uintRow));
        strText += L"\r\n";
    }
    return strText;
}

std::wstring DownloadLogModel::GetCopySelectedText(std::vector<std::int64_t> selectedRows)
{
    std::sort(selectedRows.begin(), selectedRows.end());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
    std::wstring strText;
    for (const std::int64_t intRow : selectedRows) {
        if (intRow < 0 || static_cast<std::uint64_t>(intRow) >= GetRowCount()) {
            ThrowRowOutOfRange();
        }
        strText += GetItemString(intRow);
        strText += L"\r\n";
    }
    return strText;
}

}  // namespace pullbay::ui
