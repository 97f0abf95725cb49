// The four entry points of the module, exported with C linkage (everything
// else in the module is hidden), and the library constructor and destructor
// that stand where process attach and detach were.
#include "control/Pullbay.h"
#include "core/HResult.h"
#include "module/ModuleState.h"
#include "module/PullbayClassFactory.h"
#include "module/Registration.h"
#include "tools/BackgroundWorkManager.h"

#define PULLBAY_EXPORT extern "C" __attribute__((visibility("default")))

using pullbay::HRESULT;
using pullbay::com::Guid;

PULLBAY_EXPORT HRESULT DllGetClassObject(const Guid* pClsid, const Guid* pIid, void** ppv)
{
    if (pClsid == nullptr || pIid == nullptr || ppv == nullptr) {
        return pullbay::E_POINTER;
    }
    *ppv = nullptr;
    if (*pClsid != pullbay::control::Pullbay::kClsid) {
        return pullbay::com::CLASS_E_CLASSNOTAVAILABLE;
    }
    return pullbay::module::PullbayClassFactory::Create(*pIid, ppv);
}

// S_OK only when no object, class object or server lock lives and no
// worker thread of the module is still running.
PULLBAY_EXPORT HRESULT DllCanUnloadNow()
{
    const bool bIdle = pullbay::module::ModuleState::LockCount() == 0 &&
                       pullbay::tools::BackgroundWorkManager::GetLiveWorkerCount() == 0;
    return bIdle ? pullbay::S_OK : pullbay::S_FALSE;
}

PULLBAY_EXPORT HRESULT DllRegisterServer()
{
    return pullbay::module::Registration::Register(pullbay::module::ModuleState::ModulePath());
}

PULLBAY_EXPORT HRESULT DllUnregisterServer()
{
    return pullbay::module::Registration::Unregister();
}

__attribute__((constructor)) static void AttachModule()
{
    pullbay::module::ModuleState::Attach();
}

__attribute__((destructor)) static void DetachModule()
{
    pullbay::module::ModuleState::Detach();
}
