#include "loopback/ResponseHead.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace pullbay::loopback {

namespace {

constexpr std::pair<int, std::string_view> kReasons[] = {
    {100, "Continue"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {204, "No Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {408, "Request Timeout"},
    {410, "Gone"},
    {412, "Precondition Failed"},
    {416, "Range Not Satisfiable"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

}  // namespace

ResponseHead::ResponseHead(int intStatus, std::string_view strReason)
    : m_intStatus(intStatus), m_strReason(strReason.empty() ? ReasonPhrase(intStatus) : strReason)
{
}

void ResponseHead::Add(std::string_view strName, std::string_view strValue)
{
    m_fields.emplace_back(strName, strValue);
}

void ResponseHead::AddContentLength(std::uint64_t uintLength)
{
    Add("Content-Length", DecimalText(uintLength));
}

std::optional<std::string> ResponseHead::Field(std::string_view strName) const
{
    return FindField(m_fields, strName);
}

std::string ResponseHead::Text() const
{
    std::string strText = "HTTP/1.1 ";
    strText += DecimalText(static_cast<std::uint64_t>(m_intStatus));
    strText += ' ';
    strText += m_strReason;
    strText += "\r\n";
    for (const auto& [strName, strValue] : m_fields) {
        strText += strName;
        strText += ": ";
        strText += strValue;
        strText += "\r\n";
    }
    strText += "\r\n";
    return strText;
}

std::string_view ResponseHead::ReasonPhrase(int intStatus)
{
    const auto it = std::find_if(std::begin(kReasons), std::end(kReasons),
                                 [&](const auto& reason) { return reason.first == intStatus; });
    return it == std::end(kReasons) ? std::string_view("Unknown") : it->second;
}

}  // namespace pullbay::loopback
