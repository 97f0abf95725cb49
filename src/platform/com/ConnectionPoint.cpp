#include "platform/com/ConnectionPoint.h"

#include <algorithm>
#include <utility>

#include "platform/com/DispatchTable.h"

namespace pullbay::com {

HRESULT ConnectionPoint::Advise(std::shared_ptr<IDispatchSink> pSink, std::uint32_t& uintCookie)
{
    if (!pSink) {
        return E_POINTER;
    }
    do {
        ++m_uintLastCookie;
    } while (m_uintLastCookie == 0 || IsCookieInUse(m_uintLastCookie));

    const auto empty =
        std::find_if(m_slots.begin(), m_slots.end(), [](const Slot& slot) { return !slot.pSink; });
    Slot& slot = empty != m_slots.end() ? *empty : m_slots.emplace_back();
    slot.uintCookie = m_uintLastCookie;
    slot.pSink = std::move(pSink);
    uintCookie = m_uintLastCookie;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t uintCookie)
{
    for (Slot& slot : m_slots) {
        if (slot.pSink && slot.uintCookie == uintCookie) {
            // Released outside the slot: the sink's destructor may call back.
            const std::shared_ptr<IDispatchSink> pReleased = std::move(slot.pSink);
            slot = Slot();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::Fire(DISPID dispid, const std::vector<Variant>& args) const
{
    HRESULT hrLast = S_FALSE;
    // A sink may change the slots while it runs: index into them afresh
    // each time and hold our own reference to the sink being called.
    const std::size_t uintSlots = m_slots.size();
    for (std::size_t i = 0; i < uintSlots && i < m_slots.size(); ++i) {
        const std::shared_ptr<IDispatchSink> pSink = m_slots[i].pSink;
        if (!pSink) {
            continue;
        }
        try {
            hrLast = pSink->Invoke(dispid, args);
        } catch (...) {
            hrLast = HResultFromCaughtException();
        }
    }
    return hrLast;
}

std::size_t ConnectionPoint::SinkCount() const
{
    return static_cast<std::size_t>(std::count_if(
        m_slots.begin(), m_slots.end(), [](const Slot& slot) { return slot.pSink != nullptr; }));
}

bool ConnectionPoint::IsCookieInUse(std::uint32_t uintCookie) const
{
    return std::any_of(m_slots.begin(), m_slots.end(), [uintCookie](const Slot& slot) {
        return slot.pSink && slot.uintCookie == uintCookie;
    });
}

}  // namespace pullbay::com
