#pragma once
// Receives the control's events during "run" and "demo": writes each event
// as a JSON line (with --events), a line per finished file and per rejected
// file-list line on standard error, and keeps what the run's end needs: the
// files' results, the rejected entries, why the file list failed. From that
// it gives the exit code, the reason of an early end and the closing
// summary. Every text it prints shows control characters escaped.
// GUI thread only.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/IDispatchSink.h"
#include "ui/ConfirmationRows.h"

namespace pullbay::host {

class RunEventSink : public com::IDispatchSink {
public:
    // bTerminal: standard error shows a live bar that each line replaces.
    // Lines go to errOut (standard error unless a test gives another).
    explicit RunEventSink(bool bJsonEvents, bool bTerminal = false);
    RunEventSink(bool bJsonEvents, bool bTerminal, std::ostream& errOut);

    HRESULT Invoke(com::DISPID dispid, const std::vector<com::Variant>& args) override;

    // The DownloadComplete result, once it came.
    std::optional<std::int32_t> Completion() const { return m_completion; }
    // 0 all files downloaded, 1 completed with files not downloaded (a
    // failed or skipped file, a rejected file-list line or --add file, or
    // files not moved to the destination), 2 ended early.
    int ExitCode() const;

    // The description of the last Error raised outside a run (the control
    // refusing a file the host added), taken out; nullopt when none came.
    std::optional<std::wstring> TakeRefusal();
    // A file the host asked for was refused before the run.
    void CountRefusedFile() { ++m_intRejected; }
    // The list as the user confirmed it: its rows and which stayed checked.
    // The run's files are the checked rows in order, so a file's line can
    // name its size as listed (the events carry only its low 32 bits).
    void ListConfirmed(ui::ConfirmationRows rows, std::vector<bool> checked);
    // The folder the files go to (empty while not chosen): a file that
    // failed without a reason is looked at against the system's path limits.
    void SetFolder(std::function<std::wstring()> folder) { m_folder = std::move(folder); }

    // Why the run ended before its files were downloaded, as one line;
    // empty when it completed. bFolderGiven: the host had a folder to give;
    // bListNamed: the control had a FileList to fetch; refused: the host
    // named one that the control did not take (a local file, or another
    // URL it does not accept).
    enum class RefusedList { None, LocalFile, NotAccepted };
    std::string EndReason(bool bFolderGiven, bool bListNamed,
                          RefusedList refused = RefusedList::None) const;
    // The closing line of a completed run: files downloaded, failed and
    // skipped, the rejected entries, and the folder (empty: not known).
    std::string Summary(const std::wstring& strFolder) const;

private:
    struct ListFailure {
        std::int32_t intCode = 0;
        std::wstring strDescription;
        std::int32_t intHttpStatus = 0;
        std::wstring strUrl;
    };

    void OnError(const std::vector<com::Variant>& args);
    void OnItemComplete(const std::vector<com::Variant>& args);
    void OnStep(std::int32_t intStep);
    // The confirmed list's row of the run's file at the position; nullopt
    // without one. Positions are asked in order.
    std::optional<ui::ConfirmationRow> ConfirmedRow(std::size_t uintRunIndex);

    bool m_bJsonEvents;
    bool m_bTerminal;
    std::ostream& m_errOut;
    std::vector<std::int32_t> m_results;
    std::optional<std::int32_t> m_completion;
    bool m_bMoveFailed = false;
    bool m_bInRun = false;
    bool m_bListStage = false;
    int m_intRejected = 0;
    // A rejected line held NUL characters: a UTF-16 list read as UTF-8.
    bool m_bListLooksUtf16 = false;
    std::optional<ListFailure> m_listFailure;
    // The reason of the Error that came for the file now ending.
    std::wstring m_strItemReason;
    std::optional<std::wstring> m_refusal;
    std::function<std::wstring()> m_folder;
    ui::ConfirmationRows m_confirmedRows;
    std::vector<bool> m_confirmedChecked;
    // The row of the run's file at m_uintRunCursor (ListedSizeText's place).
    std::size_t m_uintRowCursor = 0;
    std::size_t m_uintRunCursor = 0;
};

}  // namespace pullbay::host
