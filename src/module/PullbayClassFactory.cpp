#include "module/PullbayClassFactory.h"

#include <new>

#include "module/ModuleState.h"
#include "module/PullbayObject.h"

namespace pullbay::module {

HRESULT PullbayClassFactory::Create(const com::Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    auto* pFactory = new (std::nothrow) PullbayClassFactory();
    if (pFactory == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = pFactory->QueryInterface(iid, ppv);
    pFactory->Release();
    return hr;
}

// A live class object keeps the module loaded, like a server lock.
PullbayClassFactory::PullbayClassFactory()
{
    ModuleState::Lock();
}

PullbayClassFactory::~PullbayClassFactory()
{
    ModuleState::Unlock();
}

HRESULT PullbayClassFactory::QueryInterface(const com::Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (iid == com::IID_IUnknown || iid == com::IID_IClassFactory) {
        *ppv = static_cast<com::IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

std::uint32_t PullbayClassFactory::AddRef()
{
    return ++m_uintReferences;
}

std::uint32_t PullbayClassFactory::Release()
{
    const std::uint32_t uintLeft = --m_uintReferences;
    if (uintLeft == 0) {
        delete this;
    }
    return uintLeft;
}

HRESULT PullbayClassFactory::CreateInstance(com::IUnknown* pOuter, const com::Guid& iid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (pOuter != nullptr) {
        return com::CLASS_E_NOAGGREGATION;
    }
    return PullbayObject::Create(iid, ppv);
}

HRESULT PullbayClassFactory::LockServer(bool bLock)
{
    if (bLock) {
        ModuleState::Lock();
    } else {
        ModuleState::Unlock();
    }
    return S_OK;
}

}  // namespace pullbay::module
