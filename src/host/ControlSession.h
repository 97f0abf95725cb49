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
    // Invokes a member by name; E_* when the name is unknown.
    HRESULT Call(std::wstring_view strName, std::vector<com::Variant> args,
                 com::Variant* pResult = nullptr);
    // The log of the last run that reached the transfer (empty otherwise).
    std::vector<std::wstring> DownloadLog();

private:
    com::ComPtr<com::IDispatch> m_pControl;
    com::ComPtr<api::IPullbayControl> m_pHost;
    com::ComPtr<com::IConnectionPointContainer> m_pPoints;
    std::uint32_t m_uintCookie = 0;
    bool m_bAdvised = false;
    std::unique_ptr<QWidget> m_pWindow;
};

}  // namespace pullbay::host
