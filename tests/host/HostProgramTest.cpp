// The host program end to end: the real binary runs as a child process with
// its output on pipes, against the loopback server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
        server.Route("/b.bin", HttpResponse::Text(200, PatternBytes(0, 70000), "application/octet-stream"));
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Add(const std::string& strMime, std::size_t uintSize, const std::string& strPath,
                    const std::string& strName) const
    {
        return strMime + "|" + std::to_string(uintSize) + "|" + server.BaseUrl() + strPath + "|" + strName;
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
    EXPECT_NE(describe.strOut.find("DownloadFileAdd 0x132 method (BSTR mimeType, I4 fileSize, BSTR fileName, "
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

    // Headless without a folder: the folder browser is cancelled.
    // A param the control skips is reported, not fatal.
    const ChildResult noFolder = RunHost({"run", "--headless", "--param", "TimeOut=soon", "--param",
                                          "NoSuchThing=1", "--add", Add("text/plain", 11, "/a.txt", "a.txt")});
    EXPECT_EQ(noFolder.intExit, 2) << noFolder.strErr;
    EXPECT_NE(noFolder.strErr.find("--param TimeOut ignored"), std::string::npos) << noFolder.strErr;
    EXPECT_NE(noFolder.strErr.find("--param NoSuchThing ignored"), std::string::npos);
    EXPECT_EQ(server.RequestCount("/a.txt"), 2u);
}

TEST_F(HostProgramTest, EventsModeWritesOnlyJsonLinesOnStdout)
{
    const ChildResult result = RunHost({"run", "--headless", "--events", "--dest", folder.string(), "--add",
                                        Add("text/plain", 11, "/a.txt", "a.txt")});
    EXPECT_EQ(result.intExit, 0) << result.strErr;
    std::istringstream lines(result.strOut);
    std::vector<std::string> events;
    for (std::string strLine; std::getline(lines, strLine);) {
        ASSERT_TRUE(strLine.size() >= 2 && strLine.front() == '{' && strLine.back() == '}') << strLine;
        events.push_back(strLine);
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), R"({"event":"InitComplete","args":[]})");
    EXPECT_NE(result.strOut.find(R"({"event":"DownloadStep","args":[0]})"), std::string::npos);
    EXPECT_NE(result.strOut.find(R"({"event":"DownloadItemComplete","args":[0,"",")" + server.BaseUrl() +
                                 R"(/a.txt","a.txt","text/plain",11]})"),
              std::string::npos)
        << result.strOut;
    EXPECT_NE(result.strOut.find(R"({"event":"DownloadComplete","args":[0]})"), std::string::npos);
    EXPECT_EQ(events.back().rfind(R"({"log":["File )", 0), 0u) << events.back();
    // The plain log goes to stderr instead.
    EXPECT_NE(result.strErr.find("has been downloaded from"), std::string::npos);
}

}  // namespace
}  // namespace pullbay::test
