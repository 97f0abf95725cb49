#include "model/PropertyDescriptor.h"

namespace pullbay::model {

HRESULT PropertyDescriptor::Get(const PropertyHolder& holder, com::Variant& value) const
{
    if (pGet == nullptr) {
        return E_NOTIMPL;
    }
    return pGet(*this, holder, value);
}

HRESULT PropertyDescriptor::Put(PropertyHolder& holder, const com::Variant& value) const
{
    if (bReadOnly) {
        return com::DISP_E_MEMBERNOTFOUND;
    }
    if (pPut == nullptr) {
        return E_NOTIMPL;
    }
    if (value.Type() == type) {
        return pPut(*this, holder, value);
    }
    com::Variant converted;
    const HRESULT hr = value.ChangeType(type, converted);
    if (Failed(hr)) {
        return hr;
    }
    return pPut(*this, holder, converted);
}

}  // namespace pullbay::model
