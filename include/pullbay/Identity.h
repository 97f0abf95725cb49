#pragma once
// The control's identity as hosts find it: the class, its interfaces, its
// type library and the ProgID that the class registry maps to the module.
#include "platform/com/Guid.h"

namespace pullbay::api {

// {6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E01}
inline constexpr com::Guid CLSID_Pullbay = com::Guid::FromParts(
    0x6E3B1A52, 0x94C7, 0x4D1E, {0x8F, 0x20, 0x3A, 0x5C, 0x7B, 0x9D, 0x1E, 0x01});
// The scripting interface (dispatch).
inline constexpr com::Guid IID_IPullbay = com::Guid::FromParts(
    0x6E3B1A52, 0x94C7, 0x4D1E, {0x8F, 0x20, 0x3A, 0x5C, 0x7B, 0x9D, 0x1E, 0x02});
// The event interface that sinks connect to.
inline constexpr com::Guid DIID_PullbayEvents = com::Guid::FromParts(
    0x6E3B1A52, 0x94C7, 0x4D1E, {0x8F, 0x20, 0x3A, 0x5C, 0x7B, 0x9D, 0x1E, 0x03});
inline constexpr com::Guid LIBID_Pullbay = com::Guid::FromParts(
    0x6E3B1A52, 0x94C7, 0x4D1E, {0x8F, 0x20, 0x3A, 0x5C, 0x7B, 0x9D, 0x1E, 0x04});
// The host's own interface (IPullbayControl). Its identity changes with its
// methods and with the presenter interface it carries: a module built
// against another layout answers E_NOINTERFACE instead of being called
// through the wrong table.
// {6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E06}
inline constexpr com::Guid IID_IPullbayControl = com::Guid::FromParts(
    0x6E3B1A52, 0x94C7, 0x4D1E, {0x8F, 0x20, 0x3A, 0x5C, 0x7B, 0x9D, 0x1E, 0x06});

inline constexpr const wchar_t* kProgId = L"Velmora.Pullbay.701";

}  // namespace pullbay::api
