#pragma once
// The control's own interface to its host, beside the scripting surface:
// the page it sits on, its window, its extent, and the confirmation switch
// that only early binding reaches, and the rich error of a refused call.
// Called on the GUI thread.
#include <cstdint>
#include <memory>
#include <optional>

#include "control/IClientSite.h"
#include "control/IDialogPresenter.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/IUnknown.h"

class QWidget;

namespace pullbay::control {

class IPullbayControl : public com::IUnknown {
public:
    virtual HRESULT SetClientSite(std::shared_ptr<IClientSite> pClientSite) = 0;
    // The host created the control's window (a child of its page view):
    // the control starts its window-bound parts and fires InitComplete.
    virtual HRESULT CreateControlWindow(QWidget* pWindow) = 0;
    virtual HRESULT DestroyControlWindow() = 0;
    virtual HRESULT SetExtent(std::uint32_t uintCx, std::uint32_t uintCy) = 0;
    // The dialogs of a download run (null: answer by policy, no windows).
    virtual HRESULT SetPresenter(std::shared_ptr<IDialogPresenter> pPresenter) = 0;
    virtual HRESULT GetConfirmationEnabled(bool* pValue) = 0;
    virtual HRESULT PutConfirmationEnabled(bool bValue) = 0;
    // The rich error the last refused scripting call of this thread left
    // (its description and source), taken out so the next call starts
    // clean. The record lives beside the control's code, which may sit in
    // a module of its own: the host asks here instead of reading its copy.
    virtual std::optional<com::ErrorInfo> TakeErrorInfo() = 0;

protected:
    ~IPullbayControl() = default;
};

// {6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E05}
inline constexpr com::Guid IID_IPullbayControl = com::Guid::FromParts(
    0x6E3B1A52, 0x94C7, 0x4D1E, {0x8F, 0x20, 0x3A, 0x5C, 0x7B, 0x9D, 0x1E, 0x05});

}  // namespace pullbay::control
