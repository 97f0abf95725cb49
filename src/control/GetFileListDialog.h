#pragma once
// Fetches the FileList URL for the control: starts the retrieval on the
// control's worker and waits — without a window for now, keeping the GUI
// thread's events moving — until the list arrived (1) or failed or was
// cancelled (2). The lines' items reach the control's list on the GUI
// thread, one synchronous call per chunk; once the dialog has ended, the
// transfer is stopped and nothing more reaches the list.
//
// Threads: constructed, run and destroyed on the GUI thread; the sink
// operations run on the worker.
#include <atomic>
#include <memory>
#include <string>

namespace pullbay::engine {
class FileListRetrieval;
}

namespace pullbay::control {

class Pullbay;

class GetFileListDialog {
public:
    static constexpr int kResultSuccess = 1;
    static constexpr int kResultFailure = 2;
    // The windowless wait handles the GUI thread's events at least this often.
    static constexpr int kPollIntervalMs = 100;

    // The cookie text goes only to the origin of strPageAddress (empty: of
    // the list's URL).
    GetFileListDialog(std::wstring strListUrl, std::wstring strCookieText,
                      std::wstring strPageAddress, Pullbay& control);
    ~GetFileListDialog();
    GetFileListDialog(const GetFileListDialog&) = delete;
    GetFileListDialog& operator=(const GetFileListDialog&) = delete;

    // With bShowWindow the control's presenter shows the progress window (a
    // headless host may pass it on to its client, with the cancel action).
    int Run(bool bShowWindow);
    // Ends the dialog with 2 (the Cancel button).
    void Cancel();

private:
    class Sink;

    const std::wstring m_strListUrl;
    const std::wstring m_strCookieText;
    const std::wstring m_strPageAddress;
    Pullbay& m_control;
    // Shared with the retrieval: a notification already under way when the
    // dialog ends may still arrive, and finds the sink ended.
    std::shared_ptr<Sink> m_pSink;
    std::shared_ptr<engine::FileListRetrieval> m_pRetrieval;
};

}  // namespace pullbay::control
