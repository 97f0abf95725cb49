#pragma once
// The rich error description a refused scripting call leaves for its caller:
// one slot per thread, which the caller takes out after the failed call,
// and the process-wide table of ProgIDs that names the source. Any thread.
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/DispatchResults.h"
#include "platform/com/Guid.h"

namespace pullbay::com {

struct ErrorInfo {
    // The interface that refused the call.
    Guid guid;
    // The ProgID of the refusing object's class.
    std::wstring strSource;
    std::wstring strDescription;

    friend bool operator==(const ErrorInfo&, const ErrorInfo&) = default;
};

// The calling thread's slot: set replaces it (nullopt empties it), get takes
// the description out so it is read once.
void SetErrorInfo(std::optional<ErrorInfo> errorInfo);
std::optional<ErrorInfo> GetErrorInfo();

// Registration replaces an earlier ProgID of the class.
void RegisterProgId(const Guid& clsid, std::wstring strProgId);
std::optional<std::wstring> ProgIdFromClsid(const Guid& clsid);

// Refuses a call with a description: the thread's slot gets the interface's
// IID, the class's ProgID (empty when none is registered) and the text.
// Returns hr, or DISP_E_EXCEPTION when hr is S_OK (a refusal must fail).
HRESULT ReportError(const Guid& clsid, std::wstring_view strDescription, const Guid& iid,
                    HRESULT hr);

}  // namespace pullbay::com
