// Which URL texts a page may give for a file, and the canonical URL that the
// list keeps for each.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "control/UrlAcceptance.h"
#include "core/TextUnits.h"

namespace pullbay::control {
namespace {

const std::wstring kPage = L"http://www.example.com/dir/sub/page.html?x=1#top";

struct AcceptRow {
    std::wstring strUrl;
    std::optional<std::wstring> accepted;  // nothing: refused
};

void ExpectTable(const std::optional<std::wstring>& pageAddress,
                 std::initializer_list<AcceptRow> table)
{
    for (const AcceptRow& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strUrl));
        EXPECT_EQ(AcceptUrl(row.strUrl, pageAddress), row.accepted);
    }
}

TEST(UrlAcceptanceTest, AbsoluteUrlsStandForThemselvesInCanonicalForm)
{
    const AcceptRow table[] = {
        {L"http://files.example.com/a.bin", L"http://files.example.com/a.bin"},
        {L"HTTPS://Files.Example.COM:443/A/../B.bin", L"https://files.example.com/B.bin"},
        {L"http://h:8080", L"http://h:8080/"},
        {L"http://h/a b/\u00E4.bin?q=<1>", L"http://h/a b/\u00E4.bin?q=<1>"},
        {L"http://h/%7efile", L"http://h/%7Efile"},
        {L"http://h\\dir\\.\\f.bin", L"http://h/dir/f.bin"},
        {L"  http://h/x.bin\r\n", L"http://h/x.bin"},
        {L"http://h:65535/x", L"http://h:65535/x"},
        {L"http://[::1]:8080/a", L"http://[::1]:8080/a"},
        {L"HTTPS://[2001:DB8::7]:443", L"https://[2001:db8::7]/"},
    };
    for (const AcceptRow& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strUrl));
        EXPECT_EQ(AcceptUrl(row.strUrl, kPage), row.accepted);
        EXPECT_EQ(AcceptUrl(row.strUrl, std::nullopt), row.accepted);
    }
}

TEST(UrlAcceptanceTest, RelativeUrlsResolveAgainstThePageLikeLinks)
{
    ExpectTable(kPage, {
                           {L"file.bin", L"http://www.example.com/dir/sub/file.bin"},
                           {L"./a/../file.bin", L"http://www.example.com/dir/sub/file.bin"},
                           {L"../file.bin", L"http://www.example.com/dir/file.bin"},
                           {L"../../../../file.bin", L"http://www.example.com/file.bin"},
                           {L"/root.bin", L"http://www.example.com/root.bin"},
                           {L"//Other.Example/x", L"http://other.example/x"},
                           {L"?q=2", L"http://www.example.com/dir/sub/page.html?q=2"},
                           {L"#f", L"http://www.example.com/dir/sub/page.html?x=1#f"},
                           {L"", L"http://www.example.com/dir/sub/page.html?x=1"},
                           {L"sub\\f.bin", L"http://www.example.com/dir/sub/sub/f.bin"},
                           {L"..\\f.bin", L"http://www.example.com/dir/f.bin"},
                           {L" file.bin ", L"http://www.example.com/dir/sub/file.bin"},
                           {L"https:other.bin", std::nullopt},
                       });
    ExpectTable(L"https://h:8443", {
                                       {L"f.bin", L"https://h:8443/f.bin"},
                                       {L"//h:443/f.bin", L"https://h/f.bin"},
                                   });
}

TEST(UrlAcceptanceTest, RefusedUrls)
{
    ExpectTable(kPage, {
                           {L"ftp://h/x.bin", std::nullopt},
                           {L"javascript:alert(1)", std::nullopt},
                           {L"mailto:a@b.example", std::nullopt},
                           {L"file:///etc/passwd", std::nullopt},
                           {L"http://", std::nullopt},
                           {L"http:///x", std::nullopt},
                           {L"http://\\x/", std::nullopt},
                           {L"http://user:secret@h/x", std::nullopt},
                           {L"http://files.example.com@127.0.0.1/x", std::nullopt},
                           {L"//files.example.com@127.0.0.1/x", std::nullopt},
                           // Ports beyond 16 bits, absolute and relative: refused, not thrown.
                           {L"http://h:70000/x", std::nullopt},
                           {L"//h:70000/x", std::nullopt},
                           {L"https://h:99999999999999999999/", std::nullopt},
                       });
    // Without a page, or with one that has no host, nothing relative goes.
    ExpectTable(std::nullopt, {{L"file.bin", std::nullopt},
                               {L"/x", std::nullopt},
                               {L"//h/x", std::nullopt},
                               {L"", std::nullopt}});
    ExpectTable(L"file:///home/u/page.html", {{L"f.bin", std::nullopt}});
    ExpectTable(L"", {{L"f.bin", std::nullopt}});
    ExpectTable(L"not a url", {{L"f.bin", std::nullopt}});
}

TEST(UrlAcceptanceTest, CanonicalUrlMustFitIn260Units)
{
    const std::wstring head = L"http://h/";
    const std::wstring wide(1, static_cast<wchar_t>(0x1F600));  // two UTF-16 units
    const AcceptRow table[] = {
        {head + std::wstring(250, L'a'), head + std::wstring(250, L'a')},
        {head + std::wstring(251, L'a'), std::nullopt},
        {head + std::wstring(248, L'a') + wide, head + std::wstring(248, L'a') + wide},
        {head + std::wstring(249, L'a') + wide, std::nullopt},
        // The canonical form counts, not the text as given.
        {L"http://h:80/" + std::wstring(250, L'a'), head + std::wstring(250, L'a')},
        {head + L"x/../" + std::wstring(250, L'a'), head + std::wstring(250, L'a')},
    };
    for (const AcceptRow& row : table) {
        SCOPED_TRACE(row.strUrl.size());
        EXPECT_EQ(AcceptUrl(row.strUrl, std::nullopt), row.accepted);
    }
    EXPECT_EQ(AcceptUrl(std::wstring(250, L'a'), L"http://h/"), head + std::wstring(250, L'a'));
    EXPECT_EQ(AcceptUrl(std::wstring(251, L'a'), L"http://h/"), std::nullopt);
}

}  // namespace
}  // namespace pullbay::control
