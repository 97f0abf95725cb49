#include "platform/com/ErrorInfo.h"

#include <map>
#include <mutex>
#include <utility>

namespace pullbay::com {

namespace {

thread_local std::optional<ErrorInfo> t_errorInfo;

struct ProgIdTable {
    std::mutex mutex;
    std::map<Guid, std::wstring> progIds;
};

ProgIdTable& ProgIds()
{
    static ProgIdTable table;
    return table;
}

}  // namespace

void SetErrorInfo(std::optional<ErrorInfo> errorInfo)
{
    t_errorInfo = std::move(errorInfo);
}

std::optional<ErrorInfo> GetErrorInfo()
{
    std::optional<ErrorInfo> errorInfo = std::move(t_errorInfo);
    t_errorInfo.reset();
    return errorInfo;
}

void RegisterProgId(const Guid& clsid, std::wstring strProgId)
{
    ProgIdTable& table = ProgIds();
    std::lock_guard lock(table.mutex);
    table.progIds[clsid] = std::move(strProgId);
}

std::optional<std::wstring> ProgIdFromClsid(const Guid& clsid)
{
    ProgIdTable& table = ProgIds();
    std::lock_guard lock(table.mutex);
    const auto found = table.progIds.find(clsid);
    if (found == table.progIds.end()) {
        return std::nullopt;
    }
    return found->second;
}

HRESULT ReportError(const Guid& clsid, std::wstring_view strDescription, const Guid& iid,
                    HRESULT hr)
{
    SetErrorInfo(ErrorInfo{iid, ProgIdFromClsid(clsid).value_or(std::wstring()),
                           std::wstring(strDescription)});
    return hr == S_OK ? DISP_E_EXCEPTION : hr;
}

}  // namespace pullbay::com
