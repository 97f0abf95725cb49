#pragma once
// Registration of the control in the per-user class root: the ProgIDs, the
// class key with its server path, threading model and control flags, and
// the type library key. Unregistration removes exactly those keys (the
// "CLSID" key itself stays). Any thread; not concurrently with itself.
#include <string>

#include "core/HResult.h"

namespace pullbay::module {

class Registration {
public:
    static constexpr const wchar_t* kDescription = L"Velmora Pullbay Control";
    static constexpr const wchar_t* kEventsDescription = L"_IPullbayEvents Interface";
    // OLEMISC_RECOMPOSEONRESIZE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
    // OLEMISC_SETCLIENTSITEFIRST
    static constexpr unsigned kMiscStatus = 0x20181;
    static constexpr const wchar_t* kToolboxBitmapResource = L"102";

    // Writes every key; returns the first failure.
    static HRESULT Register(const std::wstring& strModulePath);
    static HRESULT Unregister();
};

}  // namespace pullbay::module
