// The host program end to end: the real binary runs as a child process with
// its output on pipes, against the loopback server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

class HostProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string strTemplate = std::string(std::getenv("TMPDIR")) + "/hostXXXXXX";
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        folder = strTemplate;
        server.Route("/a.txt", HttpResponse::Text(200, "first file\n"));
        server.Route("/b.bin",
                     HttpResponse::Text(200, PatternBytes(0, 70000), "application/octet-stream"));
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Add(const std::string& strMime, std::size_t uintSize, const std::string& strPath,
                    const std::string& strName) const
    {
        return strMime + "|" + std::to_string(uintSize) + "|" + server.BaseUrl() + strPath + "|" +
               strName;
    }

    std::filesystem::path folder;
    TestHttpServer server;
};

TEST_F(HostProgramTest, InformationCommandsExitZero)
{
    const ChildResult version = RunHost({"--version"});
    EXPECT_EQ(version.intExit, 0);
    EXPECT_EQ(version.strOut, "pullbay 7.0.2\n");
    const ChildResult help = RunHost({"--help"});
    EXPECT_EQ(help.intExit, 0);
    EXPECT_NE(help.strOut.find("pullbay run"), std::string::npos);

    // Registration through the module's entry points; describe registers
    // the module beside the host again when the class is missing.
    EXPECT_EQ(RunHost({"register"}).intExit, 0);
    EXPECT_EQ(RunHost({"unregister"}).intExit, 0);
    const ChildResult describe = RunHost({"describe"});
    EXPECT_EQ(describe.intExit, 0) << describe.strErr;
    EXPECT_NE(describe.strOut.find(
                  "DownloadFileAdd 0x132 method (BSTR mimeType, I4 fileSize, BSTR fileName, "
                  "BSTR url) -> I4"),
              std::string::npos)
        << describe.strOut;
    EXPECT_NE(describe.strOut.find("event InitComplete 0x4 ()"), std::string::npos);
    EXPECT_NE(describe.strOut.find("event DownloadComplete 0x1 (I4 result)"), std::string::npos);
}

TEST_F(HostProgramTest, UsageErrorsExit64WithAMessage)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string strMessage;
    };
    const std::string strUrl = server.BaseUrl() + "/a.txt";
    const std::vector<Case> cases = {
        {{"run", "--bogus"}, "unknown option: --bogus"},
        {{"frobnicate"}, "unknown command"},
        {{"run", "--param", "TimeOut"}, "NAME=VALUE"},
        {{"run", "--param", "=5"}, "NAME=VALUE"},
        {{"run", "--dest"}, "missing value for --dest"},
        {{"run", "--add", "text/plain|12|" + strUrl}, "--add"},
        {{"run", "--add", "text/plain|twelve|" + strUrl + "|a.txt"}, "--add"},
        {{"run", "--add", "text/plain|99999999999|" + strUrl + "|a.txt"}, "--add"},
        {{"run", "--add", "text/plain||" + strUrl + "|a.txt"}, "--add"},
        // The control refuses a put while loading: the message names the param.
        {{"run", "--headless", "--param", "TimeOut=5000", "--param", "Version=1"}, "Version"},
    };
    for (const Case& testCase : cases) {
        const ChildResult result = RunHost(testCase.arguments);
        EXPECT_EQ(result.intExit, 64) << testCase.arguments.back();
        EXPECT_NE(result.strErr.find(testCase.strMessage), std::string::npos)
            << testCase.arguments.back() << ": " << result.strErr;
        EXPECT_EQ(server.Requests().size(), 0u) << "nothing is fetched before a usage error";
    }
}

TEST_F(HostProgramTest, RunExitCodeTellsHowTheDownloadEnded)
{
    const std::filesystem::path dest = folder / "new" / "dest";  // created by the host
    const ChildResult good = RunHost({"run", "--headless", "--dest", dest.string() + "/", "--add",
                                      Add("text/plain", 11, "/a.txt", "a.txt"), "--add",
                                      Add("application/octet-stream", 70000, "/b.bin", "b.bin")});
    EXPECT_EQ(good.intExit, 0) << good.strErr;
    EXPECT_EQ(ReadFile(dest / "a.txt"), "first file\n");
    EXPECT_EQ(ReadFile(dest / "b.bin"), PatternBytes(0, 70000));
    EXPECT_NE(good.strOut.find("File " + (dest / "a.txt").string() + " has been downloaded from " +
                               server.BaseUrl() + "/a.txt"),
              std::string::npos)
        << good.strOut;
    EXPECT_NE(good.strErr.find("done b.bin (" + server.BaseUrl() + "/b.bin)"), std::string::npos);

    const ChildResult missing = RunHost({"run", "--headless", "--dest", folder.string(), "--add",
                                         Add("text/plain", 11, "/a.txt", "again.txt"), "--add",
                                         Add("text/plain", 5, "/gone.txt", "gone.txt")});
    EXPECT_EQ(missing.intExit, 1) << missing.strErr;
    EXPECT_NE(missing.strOut.find("Resource not found"), std::string::npos) << missing.strOut;
    EXPECT_NE(missing.strErr.find("failed gone.txt"), std::string::npos);
    EXPECT_EQ(ReadFile(folder / "again.txt"), "first file\n");

    // Without the completion dialog the log comes from the finished files,
    // still with the control's own templates.
    const ChildResult templated = RunHost(
        {"run", "--headless", "--dest", folder.string(), "--param",
         "DownloadCompleteDialogShowLogButtonText=", "--param", "LogFileSuccessText=Got [Url]",
         "--add", Add("text/plain", 11, "/a.txt", "third.txt")});
    EXPECT_EQ(templated.intExit, 0) << templated.strErr;
    EXPECT_EQ(templated.strOut, "Got " + server.BaseUrl() + "/a.txt\n");

    // Headless without a folder: the folder browser is cancelled.
    // A param the control skips is reported, not fatal.
    const ChildResult noFolder =
        RunHost({"run", "--headless", "--param", "TimeOut=soon", "--param", "NoSuchThing=1",
                 "--add", Add("text/plain", 11, "/a.txt", "a.txt")});
    EXPECT_EQ(noFolder.intExit, 2) << noFolder.strErr;
    EXPECT_NE(noFolder.strErr.find("param TimeOut ignored"), std::string::npos) << noFolder.strErr;
    EXPECT_NE(noFolder.strErr.find("param NoSuchThing ignored"), std::string::npos);
    EXPECT_EQ(server.RequestCount("/a.txt"), 3u);
}

TEST_F(HostProgramTest, EventsModeWritesOnlyJsonLinesOnStdout)
{
    const ChildResult result = RunHost({"run", "--headless", "--events", "--dest", folder.string(),
                                        "--add", Add("text/plain", 11, "/a.txt", "a.txt")});
    EXPECT_EQ(result.intExit, 0) << result.strErr;
    std::istringstream lines(result.strOut);
    std::vector<std::string> events;
    for (std::string strLine; std::getline(lines, strLine);) {
        ASSERT_TRUE(strLine.size() >= 2 && strLine.front() == '{' && strLine.back() == '}')
            << strLine;
        events.push_back(strLine);
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), R"({"event":"InitComplete","args":[]})");
    EXPECT_NE(result.strOut.find(R"({"event":"DownloadStep","args":[0]})"), std::string::npos);
    EXPECT_NE(result.strOut.find(R"({"event":"DownloadItemComplete","args":[0,"",")" +
                                 server.BaseUrl() + R"(/a.txt","a.txt","text/plain",11]})"),
              std::string::npos)
        << result.strOut;
    EXPECT_NE(result.strOut.find(R"({"event":"DownloadComplete","args":[0]})"), std::string::npos);
    EXPECT_EQ(events.back().rfind(R"({"log":["File )", 0), 0u) << events.back();
    // The plain log goes to stderr instead.
    EXPECT_NE(result.strErr.find("has been downloaded from"), std::string::npos);
}

TEST_F(HostProgramTest, PageObjectGivesTheParamsAndCommandLineParamsOverrideThem)
{
    const std::filesystem::path page = folder / "page.html";
    std::ofstream(page)
        << "<html><body><p>Files<object id=other classid=\"clsid:00000000-0000-0000-0000-000000000000\">"
           "<param name=TimeOut value=1></object>"
           "<object classid=\"CLSID:6E3B1A52-94C7-4D1E-8F20-3A5C7B9D1E01\" width=320 height=40>"
           "<param name=TimeOut value=\"5000\"><param name=ReconnectTimeOut value=\"1234\">"
           "<param name=DownloadCompleteAction value=Prompt></object></body></html>";
    HostSession host({"serve", "--headless", "--page", page.string(), "--param",
                      "reconnecttimeout=4321", "--page-url", "http://example.test/dir/"});
    host.WriteLine(R"({"id":1,"get":"TimeOut"})");
    host.WriteLine(R"({"id":2,"get":"ReconnectTimeOut"})");
    host.WriteLine(R"({"id":3,"get":"DownloadCompleteAction"})");
    // --page-url wins over the file's own address: relative URLs resolve against it.
    host.WriteLine(R"({"id":4,"call":"DownloadFileAdd","args":["text/plain",1,"x.txt","x.txt"]})");
    host.WriteLine(R"({"id":5,"get":"DownloadFileUrl","index":0})");
    EXPECT_EQ(host.ReadUntilContains(R"({"id":1,)"),
              std::optional<std::string>(R"({"id":1,"hr":0,"value":5000})"));
    EXPECT_EQ(host.ReadUntilContains(R"({"id":2,)"),
              std::optional<std::string>(R"({"id":2,"hr":0,"value":4321})"));
    EXPECT_EQ(host.ReadUntilContains(R"({"id":3,)"),
              std::optional<std::string>(R"({"id":3,"hr":0,"value":"1"})"));
    const std::optional<std::string> url = host.ReadUntilContains(R"({"id":5,)");
    ASSERT_TRUE(url);
    EXPECT_EQ(*url, R"({"id":5,"hr":0,"value":"http://example.test/dir/x.txt"})");
    EXPECT_EQ(host.Finish(), 0);

    // A page param that the control refuses stops the load and is named; a
    // page without the control or a missing page is a usage error too.
    const std::filesystem::path refused = folder / "refused.html";
    std::ofstream(refused)
        << "<object type=\"application/x-velmora-pullbay\"><param name=Version value=9></object>";
    const std::filesystem::path none = folder / "none.html";
    std::ofstream(none) << "<p>no control here</p>";
    for (const std::filesystem::path& bad : {refused, none, folder / "missing.html"}) {
        const ChildResult result = RunHost({"run", "--headless", "--page", bad.string()});
        EXPECT_EQ(result.intExit, 64) << bad;
        EXPECT_FALSE(result.strErr.empty());
    }
    EXPECT_NE(RunHost({"run", "--headless", "--page", refused.string()}).strErr.find("Version"),
              std::string::npos);
}

TEST_F(HostProgramTest, DemoDownloadsItsListHeadless)
{
    const std::filesystem::path dest = folder / "demo";
    const ChildResult demo = RunHost({"demo", "--headless", "--dest", dest.string()});
    // The list has a missing file and a wrong type on purpose: the run
    // completing is the demo's success.
    EXPECT_EQ(demo.intExit, 0) << demo.strErr;
    EXPECT_NE(demo.strOut.find("Resource not found"), std::string::npos) << demo.strOut;
    EXPECT_NE(demo.strOut.find("Wrong Content-Type"), std::string::npos);
    EXPECT_NE(demo.strOut.find("The downloaded files are in " + dest.string()), std::string::npos);
    std::size_t uintFiles = 0;
    bool bInSubfolder = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dest)) {
        if (entry.is_regular_file()) {
            ++uintFiles;
            bInSubfolder = bInSubfolder || entry.path().parent_path() != dest;
        }
    }
    EXPECT_GE(uintFiles, 8u);
    EXPECT_TRUE(bInSubfolder);
}

}  // namespace
}  // namespace pullbay::test
