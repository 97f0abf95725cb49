#pragma once
// Creating objects through the class registry: a ProgID names a class; the
// class key names the module that serves it; the module is loaded, asked
// for its class object, and the class object creates the instance. Loaded
// modules stay loaded until FreeUnusedLibraries finds them idle.
// Any thread; the objects created follow their own threading rules.
#include <string_view>

#include "platform/com/ComInterfaces.h"
#include "platform/com/Guid.h"

namespace pullbay::com {

// The class identifier registered for a ProgID (CO_E_CLASSSTRING when none).
HRESULT CLSIDFromProgID(std::wstring_view strProgId, Guid& clsid);

// A new instance of the class, handed out as iid (REGDB_E_CLASSNOTREG when
// the class or its module path is not registered, CO_E_ERRORINDLL when the
// module cannot be loaded or lacks its entry point).
HRESULT CoCreateInstance(const Guid& clsid, const Guid& iid, void** ppv);

// The class object of a registered class.
HRESULT CoGetClassObject(const Guid& clsid, const Guid& iid, void** ppv);

// Unloads every module this process loaded that answers S_OK to
// DllCanUnloadNow.
void CoFreeUnusedLibraries();

}  // namespace pullbay::com
