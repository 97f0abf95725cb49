#pragma once
// The control as an object of the module: reference-counted, reached only
// through its interfaces (dispatch, connection points, safety, site,
// persistence and the control's own interface), holding the control itself.
// Keeps the module locked while it lives. GUI thread only, like the control
// (checked at the entry points in Debug builds);
// no C++ exception ever leaves an interface method. A scripting call holds a
// reference of its own: when the host lets go of its last one during a run,
// the run ends early and the object goes once the call has returned.
#include <atomic>
#include <cstdint>
#include <memory>

#include "control/Pullbay.h"
#include "core/ThreadAffinity.h"
#include "platform/com/ComInterfaces.h"
#include "pullbay/IPullbayControl.h"

namespace pullbay::module {

class PullbayObject final : public com::IDispatch,
                            public com::IConnectionPointContainer,
                            public com::IObjectSafety,
                            public com::IObjectWithSite,
                            public com::IPersistPropertyBag,
                            public com::IPersistStreamInit,
                            public api::IPullbayControl {
public:
    // The options an interface may be marked safe for.
    static constexpr std::uint32_t kSafetyOptionsSupported =
        com::INTERFACESAFE_FOR_UNTRUSTED_CALLER | com::INTERFACESAFE_FOR_UNTRUSTED_DATA;

    // A new object, handed out as iid with one reference.
    static HRESULT Create(const com::Guid& iid, void** ppv);

    // IUnknown (one identity for all the interfaces).
    HRESULT QueryInterface(const com::Guid& iid, void** ppv) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    // IDispatch
    HRESULT GetIDsOfNames(std::wstring_view strName, com::DISPID& dispid) override;
    HRESULT Invoke(com::DISPID dispid, std::uint16_t uintFlags, std::vector<com::Variant> args,
                   com::Variant* pResult) override;
    const std::vector<com::MemberInfo>& GetTypeInfo() const override;

    // IConnectionPointContainer
    HRESULT Advise(const com::Guid& iidEvents, std::shared_ptr<com::IDispatchSink> pSink,
                   std::uint32_t& uintCookie) override;
    HRESULT Unadvise(const com::Guid& iidEvents, std::uint32_t uintCookie) override;

    // IObjectSafety
    HRESULT GetInterfaceSafetyOptions(const com::Guid& iid, std::uint32_t* pSupported,
                                      std::uint32_t* pEnabled) override;
    HRESULT SetInterfaceSafetyOptions(const com::Guid& iid, std::uint32_t uintMask,
                                      std::uint32_t uintOptions) override;

    // IObjectWithSite
    HRESULT SetSite(com::IUnknown* pSite) override;
    HRESULT GetSite(const com::Guid& iid, void** ppv) override;

    // IPersistPropertyBag and IPersistStreamInit
    HRESULT InitNew() override;
    HRESULT Load(com::IPropertyBag* pBag) override;
    HRESULT Save(com::IPropertyBag* pBag, bool bClearDirty, bool bSaveAll) override;
    HRESULT IsDirty() override;
    HRESULT Load(core::IStream* pStream) override;
    HRESULT Save(core::IStream* pStream, bool bClearDirty) override;
    HRESULT GetSizeMax(std::uint64_t* pSize) override;

    // IPullbayControl
    HRESULT SetClientSite(std::shared_ptr<api::IClientSite> pClientSite) override;
    HRESULT CreateControlWindow(QWidget* pWindow) override;
    HRESULT DestroyControlWindow() override;
    HRESULT SetExtent(std::uint32_t uintCx, std::uint32_t uintCy) override;
    HRESULT SetPresenter(std::shared_ptr<api::IDialogPresenter> pPresenter) override;
    HRESULT GetDefaultPresenter(std::shared_ptr<api::IDialogPresenter>* ppPresenter) override;
    HRESULT GetWindowedPresenter(std::shared_ptr<api::IDialogPresenter>* ppPresenter) override;
    HRESULT Draw(QPainter* pPainter, const QRect& bounds) override;
    HRESULT GetConfirmationEnabled(bool* pValue) override;
    HRESULT PutConfirmationEnabled(bool bValue) override;
    std::optional<com::ErrorInfo> TakeErrorInfo() override;
    HRESULT GetDownloadLog(std::vector<std::wstring>* pLines) override;
    HRESULT CancelRun() override;
    HRESULT GetTemporaryFolder(std::wstring* pPath) override;

private:
    PullbayObject();
    ~PullbayObject();

    // The interface pointer for iid, or null when the object has none.
    void* InterfaceFor(const com::Guid& iid);

    const core::ThreadAffinity m_guiThread;
    std::atomic<std::uint32_t> m_uintReferences{1};
    // References held by scripting calls still on the stack.
    std::uint32_t m_uintCallReferences = 0;
    std::unique_ptr<control::Pullbay> m_pControl;
    std::uint32_t m_uintSafetyOptions = 0;
    com::ComPtr<com::IUnknown> m_pSite;
};

}  // namespace pullbay::module
