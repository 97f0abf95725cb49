// The host's page reader: finding the control's object element in HTML as a
// browser parses it, decoding the page's bytes, and loading a page from a
// local file or from the loopback server.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/page/HostPage.h"
#include "support/TempFile.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

using host::HostPage;
using Params = std::vector<std::pair<std::wstring, std::wstring>>;

const std::string kOurs = R"(classid="progid:Velmora.Pullbay.701")";

std::string Object(const std::string& strAttributes, const std::string& strInner)
{
    return "<object " + strAttributes + ">" + strInner + "</object>";
}

struct FindCase {
    const char* pName;
    std::string strHtml;
    bool bFound;
    Params params;
    std::optional<int> width;
    std::optional<int> height;
};

TEST(HostPageTest, FindControlInHtml)
{
    const std::string strParam = R"(<param name="TimeOut" value="5000">)";
    const Params timeOut = {{L"TimeOut", L"5000"}};
    const std::vector<FindCase> cases = {
        {"progid classid", Object(kOurs + R"( width="300" height="40")", strParam), true, timeOut,
         300, 40},
        {"progid any case",
         Object(R"(classid="PROGID:velmora.PULLBAY.701")", strParam),
         true,
         timeOut,
         {},
         {}},
        {"attribute equal to the progid",
         Object(R"(data-control=" Velmora.Pullbay.701 ")", strParam),
         true,
         timeOut,
         {},
         {}},
        {"clsid with braces",
         Object(R"(classid="clsid:{6e3b1a52-94c7-4d1e-8f20-3a5c7b9d1e01}")", strParam),
         true,
         timeOut,
         {},
         {}},
        {"clsid without braces",
         Object(R"(classid="CLSID:6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E01")", strParam),
         true,
         timeOut,
         {},
         {}},
        {"mime type",
         Object(R"(type="Application/X-Velmora-Pullbay; v=1")", strParam),
         true,
         timeOut,
         {},
         {}},
        {"the interface id is not the class",
         Object(R"(classid="clsid:6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E02")", ""),
         false,
         {},
         {},
         {}},
        {"another version",
         Object(R"(classid="progid:Velmora.Pullbay.70")", ""),
         false,
         {},
         {},
         {}},
        {"param rules",
         Object(
             kOurs,
             R"(<param name="ButtonDownloadText" value="Get"><param value="orphan"><param name="">)"
             R"(<param name="FileList"><PARAM NAME="timeOut" VALUE="1">)"),
         true,
         {{L"ButtonDownloadText", L"Get"}, {L"FileList", L""}, {L"timeOut", L"1"}},
         {},
         {}},
        {"first object wins",
         Object(kOurs, R"(<param name="a" value="1">)") +
             Object(kOurs, R"(<param name="b" value="2">)"),
         true,
         {{L"a", L"1"}},
         {},
         {}},
        {"another class before ours",
         Object(R"(classid="clsid:00000000-1111-2222-3333-444444444444" width="9")",
                R"(<param name="x" value="0">)") +
             Object(kOurs, R"(<param name="a" value="1">)"),
         true,
         {{L"a", L"1"}},
         {},
         {}},
        {"params deeper inside count, a nested object's do not",
         Object(kOurs, R"(<div><p><param name="a" value="1"></p></div>)"
                       R"(<object type="video/x-other"><param name="b" value="2"></object>)"
                       R"(<param name="c" value="3">)"),
         true,
         {{L"a", L"1"}, {L"c", L"3"}},
         {},
         {}},
        {"ours as fallback inside another object",
         Object(R"(type="video/x-other")", Object(kOurs, R"(<param name="a" value="1">)")),
         true,
         {{L"a", L"1"}},
         {},
         {}},
        {"unclosed tags and bare attributes",
         "<html><body><div><p>text<object classid=progid:Velmora.Pullbay.701 width=12 height=34>"
         "<param name=A value=1><b><param name=B value=2>",
         true,
         {{L"A", L"1"}, {L"B", L"2"}},
         12,
         34},
        {"object text in comment, script and textarea",
         R"(<!-- <object type="application/x-velmora-pullbay"><param name="x" value="1"></object> -->)"
         R"(<script>document.write('<object classid="progid:Velmora.Pullbay.701">');</script>)"
         R"(<textarea><object type="application/x-velmora-pullbay"></textarea>)",
         false,
         {},
         {},
         {}},
        {"object text in script before the real one",
         R"(<script>var s = "<object type='application/x-velmora-pullbay'><param name='x' value='1'>";</script>)" +
             Object(kOurs, R"(<param name="y" value="2">)"),
         true,
         {{L"y", L"2"}},
         {},
         {}},
        {"inert template",
         "<template>" + Object(kOurs, strParam) + "</template>",
         false,
         {},
         {},
         {}},
        {"entities in attributes",
         Object(
             kOurs,
             R"(<param name="FileList" value="http://h/l?a=1&amp;b=2"><param name="T" value="caf&eacute;">)"),
         true,
         {{L"FileList", L"http://h/l?a=1&b=2"}, {L"T", L"caf\u00E9"}},
         {},
         {}},
        {"percent and units are no extent",
         Object(kOurs + R"( width="100%" height="40px")", ""),
         true,
         {},
         {},
         {}},
        {"sign and overflow are no extent",
         Object(kOurs + R"( width="-5" height="99999999999")", ""),
         true,
         {},
         {},
         {}},
        {"extent with spaces and zero",
         Object(kOurs + R"( width=" 7 " height="0")", ""),
         true,
         {},
         7,
         0},
        {"no object", "<p>nothing here</p>", false, {}, {}, {}},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.pName);
        const HostPage::PageObject object = HostPage::FindControl(c.strHtml);
        EXPECT_EQ(object.bFound, c.bFound);
        EXPECT_EQ(object.params, c.params);
        EXPECT_EQ(object.width, c.width);
        EXPECT_EQ(object.height, c.height);
    }
}

TEST(HostPageTest, TheTitleIsThePagesFirstTitleWithItsSpaceCollapsed)
{
    const std::string strObject = Object(kOurs, "");
    EXPECT_EQ(
        HostPage::FindControl("<head><title>\n  Quarterly \t reports </title></head>" + strObject)
            .strTitle,
        L"Quarterly reports");
    // The object before the title, and a second title that does not count.
    EXPECT_EQ(
        HostPage::FindControl(strObject + "<title>First</title><title>Second</title>").strTitle,
        L"First");
    EXPECT_EQ(HostPage::FindControl("<title>Caf\xC3\xA9 &amp; co</title>" + strObject).strTitle,
              L"Caf\u00e9 & co");
    EXPECT_EQ(HostPage::FindControl(strObject).strTitle, L"");
}

TEST(HostPageTest, DecodeToUtf8)
{
    struct Case {
        const char* pName;
        std::string bytes;
        std::string strContentType;
        std::string strExpected;
    };
    const std::string kE = "\xC3\xA9";  // é in UTF-8
    const std::vector<Case> cases = {
        {"utf-8 as it is", "<p>" + kE, "", "<p>" + kE},
        {"utf-8 byte-order mark dropped", "\xEF\xBB\xBF<p>" + kE, "text/html", "<p>" + kE},
        {"utf-16 byte-order mark", std::string("\xFF\xFE<\0p\0>\0\xE9\0", 10), "", "<p>" + kE},
        {"header charset", "<p>\xE9", "text/html; charset=ISO-8859-1", "<p>" + kE},
        {"quoted header charset", "<p>\xE9", R"(text/html;charset="latin1")", "<p>" + kE},
        {"meta charset",
         R"(<meta charset="windows-1252"><p>)"
         "\x80",
         "",
         R"(<meta charset="windows-1252"><p>)"
         "\xE2\x82\xAC"},
        {"meta http-equiv",
         R"(<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">)"
         "\xE9",
         "", R"(<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">)" + kE},
        {"header outranks meta", R"(<meta charset="latin1">)" + kE, "text/html; charset=utf-8",
         R"(<meta charset="latin1">)" + kE},
        {"byte-order mark outranks header", "\xEF\xBB\xBF" + kE, "text/html; charset=latin1", kE},
        {"meta in a comment is no declaration", R"(<!-- <meta charset="latin1"> -->)" + kE, "",
         R"(<!-- <meta charset="latin1"> -->)" + kE},
        {"unknown charset read as utf-8", "a\xE9z", "text/html; charset=koi8-r", "a\xEF\xBF\xBDz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pName);
        EXPECT_EQ(HostPage::DecodeToUtf8(c.bytes, c.strContentType), c.strExpected);
    }
}

TEST(HostPageTest, FileUrlIsAbsoluteAndEncoded)
{
    EXPECT_EQ(HostPage::FileUrl("/srv/a b/%41#x?/\xC3\xBC.html"),
              L"file:///srv/a%20b/%2541%23x%3F/%C3%BC.html");
    EXPECT_EQ(HostPage::FileUrl("/srv/x/../y/./p.html"), L"file:///srv/y/p.html");
    const std::wstring strRelative = HostPage::FileUrl("sub/../rel.html");
    EXPECT_EQ(strRelative.rfind(L"file:///", 0), 0u);
    EXPECT_EQ(strRelative.find(L".."), std::wstring::npos);
    EXPECT_EQ(strRelative.substr(strRelative.size() - 9), L"/rel.html");
}

const std::string kPage =
    "<!DOCTYPE html><title>t</title>"
    R"(<object classid="clsid:6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E01" width="320" height="48">)"
    R"(<param name="TimeOut" value="5000"><param name="FileList" value="list.txt"></object>)";

TEST(HostPageTest, LoadLocalFile)
{
    const TempFile file(kPage, ".html");
    const HostPage::LoadResult loaded = HostPage::Load(file.Path(), L"");
    ASSERT_TRUE(loaded.Ok()) << loaded.strError;
    ASSERT_EQ(file.Path().front(), '/');
    EXPECT_EQ(loaded.strPageAddress, L"file://" + Widen(file.Path()));
    EXPECT_EQ(loaded.object.params, (Params{{L"TimeOut", L"5000"}, {L"FileList", L"list.txt"}}));
    EXPECT_EQ(loaded.object.width, 320);
    EXPECT_EQ(loaded.object.height, 48);

    const TempFile latin1(R"(<meta charset="iso-8859-1">)" +
                              Object(kOurs, "<param name=\"T\" value=\"\xE9t\xE9\">"),
                          ".html");
    const HostPage::LoadResult decoded = HostPage::Load(latin1.Path(), L"");
    ASSERT_TRUE(decoded.Ok()) << decoded.strError;
    EXPECT_EQ(decoded.object.params, (Params{{L"T", L"\u00E9t\u00E9"}}));
}

TEST(HostPageTest, LocalFailuresArePageErrors)
{
    const TempFile withoutControl("<p>no control</p>", ".html");
    const std::string strMissing = withoutControl.Path() + ".missing";
    const std::string strFolder =
        std::filesystem::path(withoutControl.Path()).parent_path().string();
    struct Case {
        std::string strPage;
        std::string strMessage;
    };
    const std::vector<Case> cases = {
        {strMissing, "cannot read the page: No such file or directory"},
        {strFolder, "cannot read the page: Is a directory"},
        {withoutControl.Path(), "the page has no object element of Velmora.Pullbay.701"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strPage);
        const HostPage::LoadResult loaded = HostPage::Load(c.strPage, L"");
        EXPECT_EQ(loaded.strError, c.strMessage);
        EXPECT_EQ(loaded.intExitCode, HostPage::kExitPageError);
    }
}

// html, body, the divs and the object: kMaxNestingDepth levels with
// uintDivs = kMaxNestingDepth - 3.
std::string NestedPage(std::size_t uintDivs)
{
    std::string strPage;
    for (std::size_t i = 0; i < uintDivs; ++i) {
        strPage += "<div>";
    }
    return strPage + Object(kOurs, R"(<param name="TimeOut" value="5000">)");
}

TEST(HostPageTest, DeeplyNestedPageIsRefusedBeforeParsing)
{
    const std::size_t uintInside = HostPage::kMaxNestingDepth - 3;
    const TempFile inside(NestedPage(uintInside), ".html");
    const HostPage::LoadResult loaded = HostPage::Load(inside.Path(), L"");
    ASSERT_TRUE(loaded.Ok()) << loaded.strError;
    EXPECT_EQ(loaded.object.params, (Params{{L"TimeOut", L"5000"}}));

    // The second one would keep the parser busy for minutes.
    for (const std::size_t uintDivs : {uintInside + 1, std::size_t{200000}}) {
        SCOPED_TRACE(uintDivs);
        const TempFile deep(NestedPage(uintDivs), ".html");
        const HostPage::LoadResult refused = HostPage::Load(deep.Path(), L"");
        EXPECT_EQ(refused.strError, "the page nests elements deeper than 1000 levels");
        EXPECT_EQ(refused.intExitCode, HostPage::kExitPageError);
    }
}

TEST(HostPageTest, LoadFetchedPage)
{
    TestHttpServer server;
    server.Route("/page.html", HttpResponse::Text(200, kPage, "text/html"));
    server.Route("/latin1.html",
                 HttpResponse::Text(200, Object(kOurs, "<param name=\"T\" value=\"gr\xFC\xDF\">"),
                                    "text/html; charset=ISO-8859-1"));

    const std::string strUrl = server.BaseUrl() + "/page.html?x=1";
    const HostPage::LoadResult loaded = HostPage::Load(strUrl, L"session=abc");
    ASSERT_TRUE(loaded.Ok()) << loaded.strError;
    EXPECT_EQ(loaded.strPageAddress, Widen(strUrl));
    EXPECT_EQ(loaded.object.params, (Params{{L"TimeOut", L"5000"}, {L"FileList", L"list.txt"}}));
    ASSERT_EQ(server.RequestCount("/page.html"), 1u);
    EXPECT_EQ(server.Requests().front().Header("Cookie"), "session=abc");

    const HostPage::LoadResult latin1 = HostPage::Load(server.BaseUrl() + "/latin1.html", L"");
    ASSERT_TRUE(latin1.Ok()) << latin1.strError;
    EXPECT_EQ(latin1.object.params, (Params{{L"T", L"gr\u00FC\u00DF"}}));
}

TEST(HostPageTest, FetchFailures)
{
    TestHttpServer server;
    server.Route("/plain.html", HttpResponse::Text(200, "<p>no control</p>", "text/html"));
    server.Route(
        "/huge.html",
        HttpResponse::Text(200, std::string(HostPage::kMaxPageBytes + 1, 'x'), "text/html"));
    std::string strAtLimit = Object(kOurs, "");
    strAtLimit.resize(HostPage::kMaxPageBytes, ' ');
    server.Route("/limit.html", HttpResponse::Text(200, strAtLimit, "text/html"));
    const std::string strBase = server.BaseUrl();

    TestHttpServer stopped;
    const std::string strRefused = stopped.BaseUrl() + "/page.html";
    stopped.Stop();

    struct Case {
        std::string strUrl;
        std::string strMessage;
        int intExitCode;
    };
    const std::vector<Case> cases = {
        {strBase + "/missing.html", "HTTP status 404", HostPage::kExitNetworkError},
        {strBase + "/huge.html", "the page is larger than 4 MiB", HostPage::kExitNetworkError},
        {strRefused,
         "cannot fetch the page: A connection with the server could not be established. (error 12029)",
         HostPage::kExitNetworkError},
        {strBase + "/plain.html", "the page has no object element of Velmora.Pullbay.701",
         HostPage::kExitPageError},
        {strBase + "/limit.html", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strUrl);
        const HostPage::LoadResult loaded = HostPage::Load(c.strUrl, L"");
        EXPECT_EQ(loaded.strError, c.strMessage);
        EXPECT_EQ(loaded.intExitCode, c.intExitCode);
    }
}

}  // namespace
}  // namespace pullbay::test
