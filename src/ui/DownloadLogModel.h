#pragma once
// The download-complete dialog's logic: one log line per file from its result
// and the log templates, the extra line when the Protected Mode copy failed,
// the fold state of the log and the texts copied to the clipboard. Lines are
// built lazily and cached. No window; one thread (the GUI thread) owns an
// instance.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pullbay::ui {

// What the log needs of one file item.
struct DownloadLogRow {
    std::wstring strUrl;
    // The declared name from the file list.
    std::wstring strFileName;
    std::wstring strDestinationFolder;
    // Empty when the file failed before it was given a destination name.
    std::wstring strDestinationFileName;
    std::wstring strDeclaredMimeType;
    // The Content-Type received from the server; empty when not recorded.
    std::wstring strReceivedMimeType;
    std::uint64_t uintDeclaredSize = 0;
    // DownloadItemCompleteType: -1 not processed, 0 success, 1 failed,
    // 3 skipped, 4 wrong content type, 5 wrong size, 6 write error,
    // 7 not found, 8 forbidden.
    int intResult = -1;
};

struct DownloadLogTexts {
    std::wstring strDialogText =
        L"Download has been completed. Click Show Log button to see the log file";
    std::wstring strOkButtonText = L"OK";
    std::wstring strShowLogButtonText = L"Show Log >>";
    std::wstring strHideLogButtonText = L"Hide Log <<";
    std::wstring strCopySelectedButtonText = L"Copy Selected";
    std::wstring strCopyAllButtonText = L"Copy All";
    std::wstring strSuccessText = L"File [FileName] has been downloaded from [Url]";
    std::wstring strFailedText = L"Failed to download file [FileName] from [Url]: [Reason]";
    std::wstring strSkippedText = L"Skipped by user";
    std::wstring strNotFoundText = L"Resource not found";
    std::wstring strForbiddenText = L"Authorization failed";
    std::wstring strWrongFileSizeText = L"Wrong file size";
    std::wstring strWrongContentTypeText = L"Wrong Content-Type";
    std::wstring strWriteErrorText = L"Write file error";
    std::wstring strCommonErrorText = L"Download error";
    std::wstring strDeniedInProtectedModeText =
        L"User denied copying some of downloaded files to [DestinationFolder]";
    bool bLogExpanded = false;
};

class DownloadLogModel {
public:
    static constexpr int kDialogResult = 1;

    DownloadLogModel(std::vector<DownloadLogRow> rows, DownloadLogTexts texts, bool bCopyFailed,
                     std::wstring strDestinationFolder);

    // The files' rows plus one when the copy failed.
    std::size_t GetRowCount() const;

    // Rows 0..n-1 are the files, row n the extra line (empty unless the copy
    // failed). Any other row throws ArgumentException.
    std::wstring GetItemString(std::int64_t intRow);

    bool IsExpanded() const { return m_bExpanded; }
    // The Show/Hide button: unfolds or folds the log.
    void ToggleLog();
    bool IsLogButtonVisible() const { return !m_texts.strShowLogButtonText.empty(); }
    const std::wstring& GetLogButtonText() const;
    const DownloadLogTexts& GetTexts() const { return m_texts; }

    // Every row's text, in row order (what a host without the dialog shows).
    std::vector<std::wstring> GetAllLines();

    // Every row's text followed by CR LF, in row order. The terminating zero
    // of the clipboard format is the view's business.
    std::wstring GetCopyAllText();
    // The same for the given rows, in row order, each once; no rows give an
    // empty text. A row out of range throws ArgumentException.
    std::wstring GetCopySelectedText(std::vector<std::int64_t> selectedRows);

private:
    std::wstring BuildFileLine(const DownloadLogRow& row) const;
    // The reason text for a failure result; nullptr for a result without one.
    const std::wstring* GetReasonText(int intResult) const;

    const std::vector<DownloadLogRow> m_rows;
    const DownloadLogTexts m_texts;
    const bool m_bCopyFailed;
    const std::wstring m_strDestinationFolder;
    std::vector<std::wstring> m_lineCache;
    bool m_bExpanded;
};

}  // namespace pullbay::ui
