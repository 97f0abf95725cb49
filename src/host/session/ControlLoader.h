#pragma once
// Creates the control through the class registry, registering the module
// that sits beside the host's executable when the class is not registered
// yet, and runs the module's registration entry points. GUI thread (the
// control belongs to the thread that creates it).
#include <string>

#include "core/HResult.h"
#include "platform/com/ComInterfaces.h"

namespace pullbay::host {

class ControlLoader {
public:
    // "<folder of /proc/self/exe>/libpullbay.so".
    static std::string ModulePath();
    // Calls the module's DllRegisterServer or DllUnregisterServer; strError
    // says what went wrong when the result is a failure.
    static HRESULT CallModuleEntryPoint(const char* pName, std::string& strError);
    // The control's IDispatch, registering the module once if needed.
    static HRESULT CreateControl(com::ComPtr<com::IDispatch>& pControl, std::string& strError);
};

}  // namespace pullbay::host
