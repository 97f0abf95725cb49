#include "module/PullbayObject.h"

#include <new>

#include "core/Exceptions.h"
#include "core/ThreadAffinity.h"
#include "core/ThrowSite.h"
#include "module/ModuleState.h"
#include "platform/com/DispatchResults.h"
#include "platform/com/ErrorInfo.h"

namespace pullbay::module {

namespace {

// Runs an interface method's body; an exception never crosses the
// interface: it is recorded for the thread and becomes its HRESULT.
template <typename Body>
HRESULT Guarded(Body&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        core::RecordForeignFailure();
        return E_OUTOFMEMORY;
    } catch (const core::Exception& failure) {
        return Failed(failure.GetCode()) ? failure.GetCode() : E_FAIL;
    } catch (...) {
        core::RecordForeignFailure();
        return E_UNEXPECTED;
    }
}

}  // namespace

HRESULT PullbayObject::Create(const com::Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    return Guarded([&] {
        auto* pObject = new PullbayObject();
        const HRESULT hr = pObject->QueryInterface(iid, ppv);
        pObject->Release();  // the creation reference; the interface holds its own
        return hr;
    });
}

PullbayObject::PullbayObject() : m_pControl(std::make_unique<control::Pullbay>())
{
    m_pControl->SetSettingsKey(ModuleState::SettingsKey());
    // A click of the in-page button is a call like any other: the object
    // stays until its run has returned, even if the host lets go meanwhile.
    m_pControl->SetButtonRunner([this] {
        AddRef();
        ++m_uintCallReferences;
        Guarded([&] {
            m_pControl->RunFromButton();
            return S_OK;
        });
        --m_uintCallReferences;
        Release();
    });
    ModuleState::Lock();
}

PullbayObject::~PullbayObject()
{
    m_pControl.reset();
    ModuleState::Unlock();
}

void* PullbayObject::InterfaceFor(const com::Guid& iid)
{
    if (iid == com::IID_IUnknown || iid == com::IID_IDispatch ||
        iid == control::Pullbay::kIidIPullbay) {
        return static_cast<com::IDispatch*>(this);
    }
    if (iid == com::IID_IConnectionPointContainer) {
        return static_cast<com::IConnectionPointContainer*>(this);
    }
    if (iid == com::IID_IObjectSafety) {
        return static_cast<com::IObjectSafety*>(this);
    }
    if (iid == com::IID_IObjectWithSite) {
        return static_cast<com::IObjectWithSite*>(this);
    }
    if (iid == com::IID_IPersistPropertyBag) {
        return static_cast<com::IPersistPropertyBag*>(this);
    }
    if (iid == com::IID_IPersistStreamInit) {
        return static_cast<com::IPersistStreamInit*>(this);
    }
    if (iid == api::IID_IPullbayControl) {
        return static_cast<api::IPullbayControl*>(this);
    }
    return nullptr;
}

HRESULT PullbayObject::QueryInterface(const com::Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = InterfaceFor(iid);
    if (*ppv == nullptr) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

std::uint32_t PullbayObject::AddRef()
{
    return ++m_uintReferences;
}

std::uint32_t PullbayObject::Release()
{
    const std::uint32_t uintLeft = --m_uintReferences;
    if (uintLeft == 0) {
        delete this;
    } else if (uintLeft == m_uintCallReferences && m_pControl->IsRunning()) {
        // Only the calls below on this stack still hold the object: the host
        // is done with it, so its run ends; the last call frees it.
        m_pControl->EndRunEarly();
    }
    return uintLeft;
}

HRESULT PullbayObject::GetIDsOfNames(std::wstring_view strName, com::DISPID& dispid)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return Guarded([&] { return m_pControl->GetIDsOfNames(strName, dispid); });
}

HRESULT PullbayObject::Invoke(com::DISPID dispid, std::uint16_t uintFlags,
                              std::vector<com::Variant> args, com::Variant* pResult)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // A call (a download run above all) may pump events in which the host
    // releases the object: the object stays until the call has returned.
    AddRef();
    ++m_uintCallReferences;
    const HRESULT hr =
        Guarded([&] { return m_pControl->Invoke(dispid, uintFlags, std::move(args), pResult); });
    --m_uintCallReferences;
    Release();
    return hr;
}

const std::vector<com::MemberInfo>& PullbayObject::GetTypeInfo() const
{
    return m_pControl->Describe();
}

HRESULT PullbayObject::Advise(const com::Guid& iidEvents, std::shared_ptr<com::IDispatchSink> pSink,
                              std::uint32_t& uintCookie)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (iidEvents != control::Pullbay::kIidEvents) {
        return com::CONNECT_E_NOCONNECTION;
    }
    return Guarded(
        [&] { return m_pControl->EventConnectionPoint().Advise(std::move(pSink), uintCookie); });
}

HRESULT PullbayObject::Unadvise(const com::Guid& iidEvents, std::uint32_t uintCookie)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (iidEvents != control::Pullbay::kIidEvents) {
        return com::CONNECT_E_NOCONNECTION;
    }
    return Guarded([&] { return m_pControl->EventConnectionPoint().Unadvise(uintCookie); });
}

HRESULT PullbayObject::GetInterfaceSafetyOptions(const com::Guid& iid, std::uint32_t* pSupported,
                                                 std::uint32_t* pEnabled)
{
    if (pSupported == nullptr || pEnabled == nullptr) {
        return E_POINTER;
    }
    if (InterfaceFor(iid) == nullptr) {
        *pSupported = 0;
        *pEnabled = 0;
        return E_NOINTERFACE;
    }
    *pSupported = kSafetyOptionsSupported;
    *pEnabled = m_uintSafetyOptions;
    return S_OK;
}

HRESULT PullbayObject::SetInterfaceSafetyOptions(const com::Guid& iid, std::uint32_t uintMask,
                                                 std::uint32_t uintOptions)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (InterfaceFor(iid) == nullptr) {
        return E_NOINTERFACE;
    }
    if (uintMask > kSafetyOptionsSupported) {
        return E_FAIL;
    }
    // One set of options for the whole object.
    m_uintSafetyOptions = (m_uintSafetyOptions & ~uintMask) | (uintOptions & uintMask);
    return S_OK;
}

HRESULT PullbayObject::SetSite(com::IUnknown* pSite)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pSite != nullptr) {
        pSite->AddRef();
    }
    m_pSite = com::ComPtr<com::IUnknown>::Attach(pSite);
    return S_OK;
}

HRESULT PullbayObject::GetSite(const com::Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!m_pSite) {
        return E_FAIL;
    }
    return m_pSite->QueryInterface(iid, ppv);
}

HRESULT PullbayObject::InitNew()
{
    return S_OK;
}

HRESULT PullbayObject::Load(com::IPropertyBag* pBag)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pBag == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] { return m_pControl->Load(*pBag); });
}

HRESULT PullbayObject::Save(com::IPropertyBag* pBag, bool, bool)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pBag == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] { return m_pControl->Save(*pBag); });
}

HRESULT PullbayObject::IsDirty()
{
    return m_pControl->IsDirty() ? S_OK : S_FALSE;
}

HRESULT PullbayObject::Load(core::IStream* pStream)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pStream == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] { return m_pControl->Load(*pStream); });
}

HRESULT PullbayObject::Save(core::IStream* pStream, bool)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pStream == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] { return m_pControl->Save(*pStream); });
}

HRESULT PullbayObject::GetSizeMax(std::uint64_t* pSize)
{
    return Guarded([&] { return m_pControl->GetSizeMax(pSize); });
}

HRESULT PullbayObject::SetClientSite(std::shared_ptr<api::IClientSite> pClientSite)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pControl->SetClientSite(std::move(pClientSite));
    return S_OK;
}

HRESULT PullbayObject::CreateControlWindow(QWidget* pWindow)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pWindow == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] {
        m_pControl->OnWindowCreated(pWindow);
        return S_OK;
    });
}

HRESULT PullbayObject::DestroyControlWindow()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return Guarded([&] {
        m_pControl->OnWindowDestroyed();
        return S_OK;
    });
}

HRESULT PullbayObject::SetExtent(std::uint32_t uintCx, std::uint32_t uintCy)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pControl->SetExtent(uintCx, uintCy);
    return S_OK;
}

HRESULT PullbayObject::SetPresenter(std::shared_ptr<api::IDialogPresenter> pPresenter)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_pControl->SetPresenter(std::move(pPresenter));
    return S_OK;
}

HRESULT PullbayObject::GetDefaultPresenter(std::shared_ptr<api::IDialogPresenter>* ppPresenter)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (ppPresenter == nullptr) {
        return E_POINTER;
    }
    *ppPresenter = m_pControl->GetDefaultPresenter();
    return S_OK;
}

HRESULT PullbayObject::Draw(QPainter* pPainter, const QRect& bounds)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pPainter == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] {
        m_pControl->Draw(*pPainter, bounds);
        return S_OK;
    });
}

HRESULT PullbayObject::GetWindowedPresenter(std::shared_ptr<api::IDialogPresenter>* ppPresenter)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (ppPresenter == nullptr) {
        return E_POINTER;
    }
    *ppPresenter = m_pControl->GetWindowedPresenter();
    return S_OK;
}

HRESULT PullbayObject::GetDownloadLog(std::vector<std::wstring>* pLines)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pLines == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] {
        const auto& log = m_pControl->DownloadLog();
        *pLines = log ? *log : std::vector<std::wstring>();
        return log ? S_OK : S_FALSE;
    });
}

HRESULT PullbayObject::CancelRun()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return Guarded([&] { return m_pControl->CancelRun(); });
}

HRESULT PullbayObject::GetTemporaryFolder(std::wstring* pPath)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pPath == nullptr) {
        return E_POINTER;
    }
    return Guarded([&] {
        *pPath = m_pControl->TemporaryFolder();
        return S_OK;
    });
}

HRESULT PullbayObject::GetConfirmationEnabled(bool* pValue)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pControl->GetConfirmationEnabled(pValue);
}

HRESULT PullbayObject::PutConfirmationEnabled(bool bValue)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pControl->PutConfirmationEnabled(bValue);
}

std::optional<com::ErrorInfo> PullbayObject::TakeErrorInfo()
{
    std::optional<com::ErrorInfo> info = com::GetErrorInfo();
    com::SetErrorInfo(std::nullopt);
    return info;
}

}  // namespace pullbay::module
