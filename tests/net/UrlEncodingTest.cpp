// The URL as the transfer hands it to libcurl.
#include <gtest/gtest.h>

#include <string>

#include "core/TextUnits.h"
#include "net/UrlEncoding.h"

namespace pullbay::net {
namespace {

TEST(UrlEncodingTest, RequestTargetCarriesOnlyCharactersAllowedRaw)
{
    const std::pair<std::wstring, std::string> table[] = {
        {L"http://h:81/a b/\u00E4?q=<x>&r=\"1\"#f g",
         "http://h:81/a%20b/%C3%A4?q=%3Cx%3E&r=%221%22#f%20g"},
        {L"http://h/%41%4A%4%zz", "http://h/%41%4A%254%25zz"},
        {L"http://h/a:b@c!$&'()*+,;=[]~-._/?#", "http://h/a:b@c!$&'()*+,;=[]~-._/?#"},
        {L"http://h/{}|\\^`\t\r\n\x7F", "http://h/%7B%7D%7C%5C%5E%60%09%0D%0A%7F"},
        {std::wstring(L"http://h/") + static_cast<wchar_t>(0x1F600), "http://h/%F0%9F%98%80"},
        // The host stays UTF-8: the transfer library converts international names.
        {L"https://b\u00FCcher.example:8443/x y", "https://b\xC3\xBC"
                                                  "cher.example:8443/x%20y"},
        {L"", ""},
    };
    for (const auto& [strUrl, expected] : table) {
        EXPECT_EQ(PercentEncodeForTransfer(strUrl), expected) << core::ToUtf8(strUrl);
    }
}

}  // namespace
}  // namespace pullbay::net
