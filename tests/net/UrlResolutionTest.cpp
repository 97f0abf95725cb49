// Resolution of references against a base, as a browser resolves links.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/TextUnits.h"
#include "net/UrlResolution.h"

namespace pullbay::net {
namespace {

struct ResolutionRow {
    const wchar_t* strReference;
    const wchar_t* strTarget;
};

void ExpectResolved(const wchar_t* strBase, const ResolutionRow& row)
{
    SCOPED_TRACE(core::ToUtf8(row.strReference));
    const std::optional<std::wstring> target = ResolveReference(strBase, row.strReference);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(*target, row.strTarget);
}

TEST(UrlResolutionTest, ExamplesOfTheStandard)
{
    const ResolutionRow table[] = {
        {L"g:h", L"g:h"},
        {L"g", L"http://a/b/c/g"},
        {L"./g", L"http://a/b/c/g"},
        {L"g/", L"http://a/b/c/g/"},
        {L"/g", L"http://a/g"},
        {L"//g", L"http://g"},
        {L"?y", L"http://a/b/c/d;p?y"},
        {L"g?y", L"http://a/b/c/g?y"},
        {L"#s", L"http://a/b/c/d;p?q#s"},
        {L"g#s", L"http://a/b/c/g#s"},
        {L"g?y#s", L"http://a/b/c/g?y#s"},
        {L";x", L"http://a/b/c/;x"},
        {L"g;x", L"http://a/b/c/g;x"},
        {L"g;x?y#s", L"http://a/b/c/g;x?y#s"},
        {L"", L"http://a/b/c/d;p?q"},
        {L".", L"http://a/b/c/"},
        {L"./", L"http://a/b/c/"},
        {L"..", L"http://a/b/"},
        {L"../", L"http://a/b/"},
        {L"../g", L"http://a/b/g"},
        {L"../..", L"http://a/"},
        {L"../../", L"http://a/"},
        {L"../../g", L"http://a/g"},
        // Abnormal ones: never above the root, no dot segments in query or
        // fragment, a scheme read strictly.
        {L"../../../g", L"http://a/g"},
        {L"/../g", L"http://a/g"},
        {L"g?y/../x", L"http://a/b/c/g?y/../x"},
        {L"g#s/../x", L"http://a/b/c/g#s/../x"},
        {L"http:g", L"http:g"},
    };
    for (const ResolutionRow& row : table) {
        ExpectResolved(L"http://a/b/c/d;p?q", row);
    }
}

TEST(UrlResolutionTest, BaseShapes)
{
    // The base's fragment never carries over; an authority with an empty
    // path merges under "/"; empty query and fragment are kept as given.
    ExpectResolved(L"http://a/b/c?q#frag", {L"", L"http://a/b/c?q"});
    ExpectResolved(L"http://a/b/c?q#frag", {L"x", L"http://a/b/x"});
    ExpectResolved(L"https://a:8443", {L"x/y.bin", L"https://a:8443/x/y.bin"});
    ExpectResolved(L"https://a:8443", {L"?q", L"https://a:8443?q"});
    ExpectResolved(L"http://a/b/c", {L"?", L"http://a/b/c?"});
    ExpectResolved(L"http://a/b/c", {L"#", L"http://a/b/c#"});
    ExpectResolved(L"http://a/b/c", {L"//", L"http://"});
    ExpectResolved(L"http://a/b/c", {L"https://other/./x/../y", L"https://other/y"});
    ExpectResolved(L"file:///home/u/page.html", {L"f.bin", L"file:///home/u/f.bin"});
    ExpectResolved(L"urn:a/b", {L"../../c", L"urn:../c"});
}

TEST(UrlResolutionTest, BackslashesCountAsSlashesOnHttpOnly)
{
    const ResolutionRow table[] = {
        {L"sub\\f.bin", L"http://a/b/sub/f.bin"},
        {L"..\\f.bin", L"http://a/f.bin"},
        {L"\\f.bin", L"http://a/f.bin"},
        {L"\\\\other\\f.bin", L"http://other/f.bin"},
        {L"f.bin?x=\\y#\\z", L"http://a/b/f.bin?x=\\y#\\z"},
        {L"https:\\\\other\\f", L"https://other/f"},
        {L"ftp:\\\\other\\f", L"ftp:\\\\other\\f"},
    };
    for (const ResolutionRow& row : table) {
        ExpectResolved(L"http://a\\b\\page.html", row);
    }
    ExpectResolved(L"file:///d/p.html", {L"sub\\f.bin", L"file:///d/sub\\f.bin"});
}

TEST(UrlResolutionTest, BaseWithoutSchemeResolvesNothing)
{
    for (const wchar_t* strBase : {L"", L"/d/page.html", L"//a/b", L"a/b", L"1http://a/"}) {
        SCOPED_TRACE(core::ToUtf8(strBase));
        EXPECT_FALSE(ResolveReference(strBase, L"x").has_value());
    }
}

}  // namespace
}  // namespace pullbay::net
