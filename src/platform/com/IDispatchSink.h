#pragma once
// A host's receiver of an object's events: each event is one call with the
// event's DISPID. Called on the GUI thread only.
#include <vector>

#include "platform/com/DispatchResults.h"
#include "platform/com/Variant.h"

namespace pullbay::com {

class IDispatchSink {
public:
    virtual ~IDispatchSink() = default;

    // args in declaration order.
    virtual HRESULT Invoke(DISPID dispid, const std::vector<Variant>& args) = 0;
};

}  // namespace pullbay::com
