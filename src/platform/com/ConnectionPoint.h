#pragma once
// The event sinks connected to one object, in connection order, and the
// firing routine that calls them. Used on the GUI thread only; a sink may
// connect or disconnect sinks (itself included) from inside Fire.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/com/DispatchResults.h"
#include "platform/com/IDispatchSink.h"
#include "platform/com/Variant.h"

namespace pullbay::com {

// Unadvise of a cookie that names no connection.
inline constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);

class ConnectionPoint {
public:
    ConnectionPoint() = default;
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // Connects the sink in the first empty slot, or in a new slot at the end;
    // so a sink that connects after another disconnected takes its place in
    // the calling order, as the platform's sink array does. The cookie is
    // never 0 and never names two connections at once, so a stale cookie
    // cannot disconnect the sink that reused its slot. E_POINTER for null.
    HRESULT Advise(std::shared_ptr<IDispatchSink> pSink, std::uint32_t& uintCookie);
    // Empties the sink's slot; CONNECT_E_NOCONNECTION for an unknown cookie.
    HRESULT Unadvise(std::uint32_t uintCookie);

    // Calls every connected sink in slot order with the event. Returns the
    // HRESULT of the last sink called, or S_FALSE when no sink is connected.
    // A failing sink does not stop the others (one that throws counts as
    // failing, see HResultFromCaughtException). Slots are read as the call
    // reaches them: a sink disconnected by an earlier one is not called, and
    // a sink connected during the call is called only if it took an empty
    // slot further on.
    HRESULT Fire(DISPID dispid, const std::vector<Variant>& args) const;

    std::size_t SinkCount() const;

private:
    struct Slot {
        std::uint32_t uintCookie = 0;
        std::shared_ptr<IDispatchSink> pSink;
    };

    bool IsCookieInUse(std::uint32_t uintCookie) const;

    std::vector<Slot> m_slots;
    std::uint32_t m_uintLastCookie = 0;
};

}  // namespace pullbay::com
