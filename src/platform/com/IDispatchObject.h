#pragma once
// What a scriptable object offers a host: names to DISPIDs, calls by DISPID,
// and the description of its members. Objects implement it by forwarding to
// their DispatchTable. Called on the object's own thread (the control: the
// GUI thread).
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/DispatchTable.h"

namespace pullbay::com {

class IDispatchObject {
public:
    virtual ~IDispatchObject() = default;

    virtual HRESULT GetIDsOfNames(std::wstring_view strName, DISPID& dispid) = 0;
    // args in declaration order.
    virtual HRESULT Invoke(DISPID dispid, std::uint16_t uintFlags, std::vector<Variant> args,
                           Variant* pResult) = 0;
    virtual const std::vector<MemberInfo>& Describe() const = 0;
};

// A call by member name (ASCII case-insensitive), as a script host makes it.
inline HRESULT InvokeByName(IDispatchObject& object, std::wstring_view strName,
                            std::uint16_t uintFlags, std::vector<Variant> args, Variant* pResult)
{
    DISPID dispid = 0;
    const HRESULT hr = object.GetIDsOfNames(strName, dispid);
    if (Failed(hr)) {
        if (pResult != nullptr) {
            *pResult = Variant();
        }
        return hr;
    }
    return object.Invoke(dispid, uintFlags, std::move(args), pResult);
}

}  // namespace pullbay::com
