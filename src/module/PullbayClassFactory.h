#pragma once
// The class object of the control: creates PullbayObject instances and keeps
// the module loaded while a host holds a server lock. Any thread may hold
// it; objects it creates belong to the creating (GUI) thread.
#include <atomic>
#include <cstdint>

#include "platform/com/ComInterfaces.h"

namespace pullbay::module {

class PullbayClassFactory final : public com::IClassFactory {
public:
    // A new class object, handed out as iid with one reference.
    static HRESULT Create(const com::Guid& iid, void** ppv);

    HRESULT QueryInterface(const com::Guid& iid, void** ppv) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HRESULT CreateInstance(com::IUnknown* pOuter, const com::Guid& iid, void** ppv) override;
    HRESULT LockServer(bool bLock) override;

private:
    PullbayClassFactory();
    ~PullbayClassFactory();

    std::atomic<std::uint32_t> m_uintReferences{1};
};

}  // namespace pullbay::module
