// The extension's page script keeps its own copy of the control's identity
// and scripting surface (it runs in the page, without the module): the
// ProgID, the CLSID, the methods and the events with their parameters' names
// must be those the control describes, or a page names a control that does
// not answer, or misses a method or an event field.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "core/TextUnits.h"
#include "pullbay/Identity.h"

namespace pullbay::test {
namespace {

std::string ReadPageScript()
{
    std::ifstream file(PULLBAY_EXTENSION_DIR "/page.js");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string AsciiLower(std::string text)
{
    for (char& ch : text) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
    return text;
}

// The quoted strings of a constant: "const NAME = '...'" or a list or map
// literal that follows "const NAME =" up to its closing bracket.
std::string ConstantText(const std::string& strScript, const std::string& strName)
{
    const std::regex pattern("const " + strName + R"( = ([^;]*);)");
    std::smatch match;
    if (!std::regex_search(strScript, match, pattern)) {
        ADD_FAILURE() << "page.js has no constant " << strName;
        return {};
    }
    return match[1].str();
}

std::vector<std::string> QuotedStrings(const std::string& strText)
{
    std::vector<std::string> strings;
    const std::regex quoted(R"('([^']*)')");
    for (auto it = std::sregex_iterator(strText.begin(), strText.end(), quoted);
         it != std::sregex_iterator(); ++it) {
        strings.push_back((*it)[1].str());
    }
    return strings;
}

struct Surface {
    std::set<std::string> methods;
    // Event name -> its parameters' names, in order.
    std::map<std::string, std::vector<std::string>> events;
};

// "Name 0x132 method (BSTR a, I4 b) -> I4" and "event Name 0x1 (I4 a)".
Surface DescribedSurface(const std::string& strDescribe)
{
    Surface surface;
    const std::regex method(R"(^(\w+) 0x[0-9a-f]+ method \()");
    const std::regex event(R"(^event (\w+) 0x[0-9a-f]+ \(([^)]*)\))");
    const std::regex parameter(R"(\w+ (\w+))");
    std::istringstream lines(strDescribe);
    std::string strLine;
    while (std::getline(lines, strLine)) {
        std::smatch match;
        if (std::regex_search(strLine, match, method)) {
            surface.methods.insert(match[1].str());
        } else if (std::regex_search(strLine, match, event)) {
            auto& names = surface.events[match[1].str()];
            const std::string strParameters = match[2].str();
            for (auto it =
                     std::sregex_iterator(strParameters.begin(), strParameters.end(), parameter);
                 it != std::sregex_iterator(); ++it) {
                names.push_back((*it)[1].str());
            }
        }
    }
    return surface;
}

// EVENTS = { Name: ['a', 'b'], Other: [], ... }
std::map<std::string, std::vector<std::string>> ScriptEvents(const std::string& strScript)
{
    std::map<std::string, std::vector<std::string>> events;
    const std::string strText = ConstantText(strScript, "EVENTS");
    const std::regex entry(R"((\w+): \[([^\]]*)\])");
    for (auto it = std::sregex_iterator(strText.begin(), strText.end(), entry);
         it != std::sregex_iterator(); ++it) {
        events[(*it)[1].str()] = QuotedStrings((*it)[2].str());
    }
    return events;
}

TEST(ExtensionInterfaceTest, PageScriptNamesTheControlAndItsSurfaceAsTheControlDescribesThem)
{
    const std::string strScript = ReadPageScript();
    ASSERT_FALSE(strScript.empty()) << "cannot read " PULLBAY_EXTENSION_DIR "/page.js";

    // The identity, in the page's lower-case form.
    const auto progId = QuotedStrings(ConstantText(strScript, "PROG_ID"));
    ASSERT_EQ(progId.size(), 1u);
    EXPECT_EQ(progId[0], AsciiLower(core::ToUtf8(api::kProgId)));
    const auto clsid = QuotedStrings(ConstantText(strScript, "CLSID"));
    ASSERT_EQ(clsid.size(), 1u);
    const std::string strGuid = AsciiLower(core::ToUtf8(api::CLSID_Pullbay.ToString()));
    EXPECT_EQ("{" + clsid[0] + "}", strGuid);

    // The surface, as the running control describes it.
    const ChildResult describe = RunHost({"describe"});
    ASSERT_EQ(describe.intExit, 0) << describe.strErr;
    const Surface described = DescribedSurface(describe.strOut);
    ASSERT_FALSE(described.methods.empty()) << describe.strOut;
    ASSERT_FALSE(described.events.empty()) << describe.strOut;

    const auto methods = QuotedStrings(ConstantText(strScript, "METHODS"));
    EXPECT_EQ(std::set<std::string>(methods.begin(), methods.end()), described.methods);
    EXPECT_EQ(methods.size(), described.methods.size()) << "a method named twice";
    EXPECT_EQ(ScriptEvents(strScript), described.events);
}

}  // namespace
}  // namespace pullbay::test
