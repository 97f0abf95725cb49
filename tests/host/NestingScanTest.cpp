// The nesting scan against the parser itself: for markup that fools a count
// of opening and closing tags, the scan's bound must not fall below the depth
// of the tree the parser builds; ordinary markup must stay far below the
// page reader's limit however long the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gumbo.h>

#include "host/page/NestingScan.h"

namespace pullbay::test {
namespace {

using host::NestingScan;

constexpr std::size_t kUnlimited = 1000000;

// The depth of the deepest element of the parser's tree (html is 1).
std::size_t ParsedDepth(const std::string& strHtml)
{
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* pOutput = gumbo_parse_with_options(&options, strHtml.data(), strHtml.size());
    std::size_t uintDeepest = 0;
    std::vector<std::pair<const GumboNode*, std::size_t>> pending = {{pOutput->document, 0}};
    while (!pending.empty()) {
        const auto [pNode, uintDepth] = pending.back();
        pending.pop_back();
        uintDeepest = std::max(uintDeepest, uintDepth);
        const GumboVector* pChildren = nullptr;
        if (pNode->type == GUMBO_NODE_DOCUMENT) {
            pChildren = &pNode->v.document.children;
        } else if (pNode->type == GUMBO_NODE_ELEMENT || pNode->type == GUMBO_NODE_TEMPLATE) {
            pChildren = &pNode->v.element.children;
        }
        for (unsigned int i = 0; pChildren != nullptr && i < pChildren->length; ++i) {
            const auto* pChild = static_cast<const GumboNode*>(pChildren->data[i]);
            if (pChild->type == GUMBO_NODE_ELEMENT || pChild->type == GUMBO_NODE_TEMPLATE) {
                pending.emplace_back(pChild, uintDepth + 1);
            }
        }
    }
    gumbo_destroy_output(&options, pOutput);
    return uintDeepest;
}

std::string Repeat(const std::string& strPart, int intCount)
{
    std::string strText;
    for (int i = 0; i < intCount; ++i) {
        strText += strPart;
    }
    return strText;
}

std::string Numbered(const std::string& strBefore, const std::string& strAfter, int intCount)
{
    std::string strText;
    for (int i = 0; i < intCount; ++i) {
        strText += strBefore + std::to_string(i) + strAfter;
    }
    return strText;
}

TEST(NestingScanTest, BoundCoversTheParsedDepth)
{
    constexpr int kTimes = 300;
    struct Case {
        const char* pName;
        std::string strHtml;
    };
    const std::vector<Case> cases = {
        {"plain nesting", Repeat("<div>", kTimes)},
        {"self-closed html elements nest", Repeat("<div/>", kTimes)},
        {"end tags that close nothing", Repeat("<div></span></p></li>", kTimes)},
        {"end tag blocked by a special element", Repeat("<span><div></span>", kTimes)},
        {"end tag of an element out of scope", Repeat("<div><table></div>", kTimes)},
        {"object kept open by a div's end", Repeat("<div><object></div>", kTimes)},
        {"form end leaves its content open", Repeat("<form><div></form>", kTimes)},
        {"formatting moved below a block", Repeat("<b><div></b>", kTimes)},
        {"formatting re-opened after a paragraph",
         Numbered("<p><b class=", "></p>x", kTimes) + "<p>y"},
        {"formatting re-opened after a div", Numbered("<div><i id=", "></div>x", kTimes)},
        {"tags in comments and attributes", Repeat("<div title='</div>'><!-- </div> -->", kTimes)},
        {"end tags in script and style text",
         Repeat("<div><script>'</div>'</script><style>/*</div>*/</style>", kTimes)},
        {"script escape hides its end tag",
         Repeat("<div><script><!--<script></script></div>--></script>", kTimes)},
        {"textarea and title text", Repeat("<div><textarea></div></textarea>", kTimes)},
        {"select ignores its content", Repeat("<div><select><div></select>", kTimes)},
        {"svg elements nest", "<svg>" + Repeat("<g><link>", kTimes)},
        {"svg left by a paragraph", Repeat("<svg><p><div/>", kTimes)},
        {"svg style is markup", Repeat("<svg><style><g></style>", kTimes)},
        {"math cdata", Repeat("<div><math><![CDATA[</div>]]></math>", kTimes)},
        {"stale list closing", Repeat("<ul><span></ul></span><li><dd>", kTimes)},
        {"stale table closing", Repeat("<table><span></table></span><p><li>", kTimes)},
        {"cells outside a table", Repeat("<td><b></td><p>", kTimes)},
        {"nested tables", Repeat("<table><tr><td>", kTimes)},
        {"lists in list items", Repeat("<ul><li><dl><dd>", kTimes)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pName);
        const std::size_t uintParsed = ParsedDepth(c.strHtml);
        EXPECT_GE(NestingScan::Depth(c.strHtml, kUnlimited), uintParsed);
    }
}

TEST(NestingScanTest, OrdinaryMarkupStaysShallow)
{
    constexpr int kTimes = 2000;
    const std::vector<std::string> pages = {
        "<!DOCTYPE html><html><head><title>t</title><meta charset=utf-8></head><body>" +
            Repeat("<p>text<br>more <b>bold</b> <a href='x'>link</a>", kTimes) + "</body></html>",
        Repeat("<ul><li>one<li>two<li><p>three</ul>", kTimes),
        Repeat("<dl><dt>a<dd>b<dt>c<dd>d</dl>", kTimes),
        "<table>" + Repeat("<tr><td>a<td><p>b<th>c", kTimes) + "</table>",
        Repeat("<div><p>unclosed paragraph</div>", kTimes),
        Repeat("<select><option>a<option>b<optgroup><option>c</select>", kTimes),
        "<svg viewBox='0 0 10 10'>" + Repeat("<path d='M0 0'/><circle r=1 />", kTimes) + "</svg>",
        Repeat("<script>document.write('<div><span>');</script>", kTimes),
        Repeat("<p><b>unclosed bold</p>", kTimes),
    };
    for (const std::string& strPage : pages) {
        SCOPED_TRACE(strPage.substr(0, 60));
        EXPECT_LT(NestingScan::Depth(strPage, kUnlimited), 20u);
    }
}

}  // namespace
}  // namespace pullbay::test
