#pragma once
// The control as a page holds it: created through the class registry, given
// its client site (page address, cookie), the dialog presenter, the property
// bag of the params, the event sink and finally its window — the order in
// which InitComplete comes once, after everything is in place. Tears it all
// down in reverse. Needs the Qt application; GUI thread only.
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/session/PageWindow.h"
#include "platform/com/ComInterfaces.h"
#include "platform/com/IDispatchSink.h"
#include "pullbay/IDialogPresenter.h"
#include "pullbay/IPullbayControl.h"
#include "pullbay/Identity.h"

namespace pullbay::host {

class ControlSession {
public:
    struct Setup {
        std::optional<std::wstring> strPageUrl;
        std::wstring strCookie;
        // Whether the events may name local paths: false when they reach a
        // web page, true when only the person at this machine sees them.
        bool bLocalPaths = true;
        // In load order; a later param of the same name (any case) wins.
        std::vector<std::pair<std::wstring, std::wstring>> params;
        std::shared_ptr<api::IDialogPresenter> pPresenter;
        // Given the control's own presenter before pPresenter is set (a
        // presenter that replaces only some dialogs keeps it for the rest).
        std::function<void(std::shared_ptr<api::IDialogPresenter>)> takeDefaultPresenter;
        std::shared_ptr<com::IDispatchSink> pSink;
        bool bShowWindow = false;
        int intWidth = 400;
        int intHeight = 300;
        // Shown (with bShowWindow) in a page window of this title.
        bool bPageWindow = false;
        std::wstring strTitle;
    };

    ControlSession() = default;
    ~ControlSession();
    ControlSession(const ControlSession&) = delete;
    ControlSession& operator=(const ControlSession&) = delete;

    // 0 when the control is up; otherwise the exit code, with the reason on
    // standard error (64 when the control refused a param).
    int Open(const Setup& setup);

    const com::ComPtr<com::IDispatch>& Control() const { return m_pControl; }
    // A text property's value; nullopt when it cannot be read as text.
    std::optional<std::wstring> GetText(std::wstring_view strName);
    // A boolean property's value; nullopt when it cannot be read as one.
    std::optional<bool> GetBool(std::wstring_view strName);
    // Invokes a member by name; E_* when the name is unknown.
    HRESULT Call(std::wstring_view strName, std::vector<com::Variant> args,
                 com::Variant* pResult = nullptr);
    // The control's window goes (a run in progress ends early); the page
    // window, if any, stays until the session ends.
    void CloseWindow();
    // With the page window shown, waits for the person to start a run with
    // the control's button and returns once that run is over (its dialogs
    // included): runSeen() then, false when the page was closed first.
    // Closing the page ends a run in progress, as a browser does when its
    // page goes.
    bool WaitForClickedRun(const std::function<bool()>& runSeen);
    // The host was told to stop (a signal): the run in progress is
    // cancelled as its person would cancel it (IPullbayControl::CancelRun;
    // its events go on), a run not started yet is not started, and a wait
    // for a click ends once no run goes on. True while a run goes on.
    bool CancelRun();
    bool Cancelled() const { return m_bCancelled; }
    // The control's private folder of temporary files (made now); empty
    // when there is none.
    std::wstring TemporaryFolder();
    // The page window while the session holds one (tests look at it).
    PageWindow* Page() const { return m_pPage.get(); }
    // The log of the last run that reached the transfer (empty otherwise).
    std::vector<std::wstring> DownloadLog();

private:
    com::ComPtr<com::IDispatch> m_pControl;
    com::ComPtr<api::IPullbayControl> m_pHost;
    com::ComPtr<com::IConnectionPointContainer> m_pPoints;
    std::uint32_t m_uintCookie = 0;
    bool m_bAdvised = false;
    bool m_bWindowClosed = false;
    bool m_bPageClosed = false;
    bool m_bCancelled = false;
    // The page window when there is one; the control's window is its child.
    std::unique_ptr<PageWindow> m_pPage;
    std::unique_ptr<QWidget> m_pWindow;
};

}  // namespace pullbay::host
