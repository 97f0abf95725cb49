#include "support/HttpResponse.h"

#include <utility>

namespace pullbay::test {

std::optional<std::string> HttpResponse::Header(std::string_view strName) const
{
    return loopback::FindField(headers, strName);
}

HttpResponse HttpResponse::Redirect(int intStatus, std::string strLocation)
{
    HttpResponse response;
    response.status = intStatus;
    response.contentType.clear();
    response.headers.emplace_back("Location", std::move(strLocation));
    return response;
}

HttpResponse HttpResponse::Text(int intStatus, std::string strBody, std::string strContentType)
{
    HttpResponse response;
    response.status = intStatus;
    response.body = std::move(strBody);
    response.contentType = std::move(strContentType);
    return response;
}

}  // namespace pullbay::test
