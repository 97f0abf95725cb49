#include "loopback/HttpRequest.h"

#include "core/TextUnits.h"

namespace pullbay::loopback {

std::optional<std::string> HttpRequest::Header(std::string_view strName) const
{
    return FindField(headers, strName);
}

std::string HttpRequest::Path() const
{
    std::string_view strPath = strTarget;
    // The absolute form names this server; only its path matters here.
    constexpr std::string_view kScheme = "http://";
    if (strPath.size() > kScheme.size() &&
        core::EqualsIgnoreAsciiCase(strPath.substr(0, kScheme.size()), kScheme)) {
        const std::size_t uintPath = strPath.find_first_of("/?#", kScheme.size());
        strPath = uintPath == std::string_view::npos || strPath[uintPath] != '/'
                      ? std::string_view("/")
                      : strPath.substr(uintPath);
    }
    if (strPath.empty() || strPath.front() != '/') {
        return {};
    }
    return std::string(strPath.substr(0, strPath.find_first_of("?#")));
}

}  // namespace pullbay::loopback
