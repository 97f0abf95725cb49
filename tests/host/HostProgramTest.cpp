// The host program end to end: the real binary runs as a child process with
// its output on pipes, against the loopback server.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

// The bytes a terminal acts on: C0 controls but the line feed, DEL, and C1
// controls in their UTF-8 form (C2 80 to C2 9F). Empty when there is none.
std::string ControlBytes(const std::string& strText)
{
    std::string strFound;
    for (std::size_t i = 0; i < strText.size(); ++i) {
        const auto uchByte = static_cast<unsigned char>(strText[i]);
        const bool bC1 = uchByte == 0xC2 && i + 1 < strText.size() &&
                         static_cast<unsigned char>(strText[i + 1]) >= 0x80 &&
                         static_cast<unsigned char>(strText[i + 1]) <= 0x9F;
        if ((uchByte < 0x20 && uchByte != '\n') || uchByte == 0x7F || bC1) {
            strFound += "at " + std::to_string(i) + ": ..." +
                        strText.substr(i >= 20 ? i - 20 : 0, 40) + "...\n";
        }
    }
    return strFound;
}

// Text read from a terminal without what the terminal and the program's own
// line redraws add: CR LF for each line feed, and CR + "erase line".
std::string WithoutTerminalControls(std::string strText)
{
    for (const std::string strOwn : {"\r\x1b[K", "\r\n"}) {
        for (std::size_t uintAt = strText.find(strOwn); uintAt != std::string::npos;
             uintAt = strText.find(strOwn, uintAt)) {
            strText.replace(uintAt, strOwn.size(), strOwn == "\r\n" ? "\n" : "");
        }
    }
    return strText;
}

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
    EXPECT_NE(help.strOut.find("no-data time-out of 60 s (TimeOut=60000)"), std::string::npos)
        << help.strOut;

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

TEST_F(HostProgramTest, ControlCharactersFromTheServerAreShownEscapedAndStoredAsUnderscores)
{
    // Escape sequences (a window title, colours, clearing the screen), BEL,
    // CR and the C1 CSI in a stored name, a URL and a rejected line.
    server.Route(
        "/hostile/list.txt",
        HttpResponse::Text(200, "text/plain|11|/a.txt|e\x1b]0;owned\x07vil\r\xc2\x9bx.txt\n"
                                "bad\x1b[2Jline\n"
                                "text/plain|5|" +
                                    server.BaseUrl() + "/gone\x1b[1m.txt|gone.txt\n"));
    const std::vector<std::string> arguments = {
        "run",           "--headless", "--dest",
        folder.string(), "--param",    "FileList=" + server.BaseUrl() + "/hostile/list.txt"};
    const std::string strStored = "e_]0;owned_vil__x.txt";
    const std::string strShownUrl = server.BaseUrl() + "/gone\\x1b[1m.txt";

    const ChildResult piped = RunHost(arguments);
    EXPECT_EQ(piped.intExit, 1) << piped.strErr;
    EXPECT_EQ(ControlBytes(piped.strOut), "");
    EXPECT_EQ(ControlBytes(piped.strErr), "");
    EXPECT_EQ(ReadFile(folder / strStored), "first file\n");
    EXPECT_NE(piped.strOut.find("File " + (folder / strStored).string() + " has been downloaded"),
              std::string::npos)
        << piped.strOut;
    EXPECT_NE(piped.strOut.find("from " + strShownUrl + ": Resource not found"), std::string::npos)
        << piped.strOut;
    EXPECT_NE(piped.strErr.find("done " + strStored), std::string::npos) << piped.strErr;
    EXPECT_NE(piped.strErr.find("failed gone.txt (" + strShownUrl + ")"), std::string::npos);
    EXPECT_NE(piped.strErr.find("bad\\x1b[2Jline"), std::string::npos);

    // On a terminal the bar and the file lines redraw with their own CR and
    // erase; nothing else controls it.
    std::filesystem::remove(folder / strStored);
    ChildOptions terminal;
    terminal.bStderrOnTerminal = true;
    const ChildResult shown = RunHost(arguments, {}, terminal);
    EXPECT_EQ(shown.intExit, 1) << shown.strErr;
    EXPECT_EQ(ControlBytes(WithoutTerminalControls(shown.strErr)), "");
    EXPECT_NE(shown.strErr.find("bad\\x1b[2Jline"), std::string::npos) << shown.strErr;

    // The JSON events keep the texts as they came, escaped the JSON way.
    std::filesystem::remove(folder / strStored);
    std::vector<std::string> withEvents = arguments;
    withEvents.push_back("--events");
    const ChildResult events = RunHost(withEvents);
    EXPECT_NE(events.strOut.find(R"({"event":"Error","args":[100,"bad\u001b[2Jline",0,"","",0]})"),
              std::string::npos)
        << events.strOut;
    EXPECT_NE(events.strOut.find("\"" + strStored + "\""), std::string::npos);
}

TEST_F(HostProgramTest, RunSaysWhyItEndedEarly)
{
    std::string strUtf16 = "\xFF\xFE";
    for (const char chAscii : std::string("text/plain|11|a.txt|a.txt\n")) {
        strUtf16 += chAscii;
        strUtf16 += '\0';
    }
    server.Route("/utf16.txt", HttpResponse::Text(200, strUtf16));
    server.Route("/garbage.txt", HttpResponse::Text(200, "<html>\n<p>not a list</p>\n"));
    server.Route("/empty.txt", HttpResponse::Text(200, ""));
    HttpResponse stall;
    stall.neverRespond = true;
    server.Route("/stall.txt", stall);

    struct Case {
        std::string strList;  // empty: no FileList
        std::vector<std::string> extra;
        std::string strReason;
    };
    const std::string strBase = server.BaseUrl();
    const std::vector<Case> cases = {
        {"/none.txt",
         {},
         "pullbay: the file list could not be fetched from " + strBase +
             "/none.txt: The server answered the request with HTTP status 404 (Not Found)."},
        {"/stall.txt",
         {"--param", "TimeOut=300", "--param", "ReconnectAttemptsCount=0"},
         "pullbay: the file list could not be fetched from " + strBase +
             "/stall.txt: The operation timed out."},
        {"/utf16.txt",
         {},
         "every line of the file list was rejected (2 lines); the list looks like UTF-16 text"},
        {"/garbage.txt", {}, "every line of the file list was rejected (2 lines)\n"},
        {"/empty.txt", {}, "pullbay: no file to download: the file list is empty\n"},
        {"", {}, "no file to download: add files with --add or name a list with --param"},
        {"",
         {"--param", "FileList=file:///etc/hostname"},
         "pullbay: no file to download: the FileList param is not an http or https URL "
         "(local files are not read as lists)\n"},
        {"",
         {"--param", "FileList=http://files.example.com@127.0.0.1/list.txt"},
         "pullbay: no file to download: the FileList param is not a URL the control accepts "
         "(http or https, without user info)\n"},
        {"",
         {"--add", Add("text/plain", 11, "/a.txt", "a.txt"), "--dest", ""},
         "pullbay: no destination folder was chosen (--dest DIR gives one)\n"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.strList + " " + testCase.strReason);
        std::vector<std::string> arguments = {"run", "--headless"};
        if (!testCase.strList.empty()) {
            arguments.insert(arguments.end(),
                             {"--param", "FileList=" + strBase + testCase.strList});
        }
        arguments.insert(arguments.end(), testCase.extra.begin(), testCase.extra.end());
        if (arguments.back().empty()) {
            arguments.resize(arguments.size() - 2);  // no --dest
        } else {
            arguments.insert(arguments.end(), {"--dest", folder.string()});
        }
        const ChildResult result = RunHost(arguments);
        EXPECT_EQ(result.intExit, 2) << result.strErr;
        EXPECT_NE(result.strErr.find(testCase.strReason), std::string::npos) << result.strErr;
    }
}

TEST_F(HostProgramTest, RunNamesTheReasonOfEachFailureAndCountsRejectedEntriesAsNotDownloaded)
{
    server.Route("/busy.bin", HttpResponse::Text(503, "try later"));
    const std::string strLongName(300, 'n');
    server.Route("/list.txt", HttpResponse::Text(200, "text/plain|11|a.txt|a.txt\n"
                                                      "text/plain|11 a.txt a.txt\n"
                                                      "text/plain|11|a.txt|a.txt\n"
                                                      "*/*|9|busy.bin|busy.bin\n"
                                                      "text/plain|11|a.txt|" +
                                                          strLongName + "\n"));
    const ChildResult result =
        RunHost({"run", "--headless", "--events", "--dest", folder.string(), "--param",
                 "FileList=" + server.BaseUrl() + "/list.txt", "--add",
                 Add("text/plain", 2147483647, "/a.txt", "huge.txt"), "--add",
                 "text/plain|-1|" + server.BaseUrl() + "/a.txt|negative.txt"});
    // Every file of the list that arrived did, but entries were rejected.
    EXPECT_EQ(result.intExit, 1) << result.strErr;
    EXPECT_EQ(ReadFile(folder / "a.txt"), "first file\n");
    const std::string& strErr = result.strErr;
    EXPECT_NE(strErr.find("pullbay: not added: " + server.BaseUrl() +
                          "/a.txt: FileSize must not be negative"),
              std::string::npos)
        << strErr;
    EXPECT_NE(strErr.find("pullbay: file list line rejected: not of the form MIME|SIZE|URL|NAME: "
                          "text/plain|11 a.txt a.txt\n"),
              std::string::npos);
    EXPECT_NE(strErr.find("pullbay: file list line rejected: Item already exists\n"),
              std::string::npos);

    // The reason is in the Error event's description and in the file's line.
    const std::string strBusy = "0: The server answered the request with HTTP status 503 "
                                "(Service Unavailable) without saying how long to wait.";
    EXPECT_NE(result.strOut.find(R"({"event":"Error","args":[200,")" + strBusy + R"(",503,)"),
              std::string::npos)
        << result.strOut;
    EXPECT_NE(strErr.find("failed busy.bin (" + server.BaseUrl() + "/busy.bin): " + strBusy),
              std::string::npos);
    const std::string strTooLong =
        "Unable to write '" + (folder / strLongName).string() + "': File name too long";
    EXPECT_NE(result.strOut.find(R"({"event":"Error","args":[302,")" + strTooLong + R"(",0,)"),
              std::string::npos)
        << result.strOut;
    EXPECT_NE(
        strErr.find("failed " + strLongName + " (" + server.BaseUrl() + "/a.txt): " + strTooLong),
        std::string::npos);
    EXPECT_NE(strErr.find("failed huge.txt (" + server.BaseUrl() +
                          "/a.txt): the size is not the declared 2147483647 bytes"),
              std::string::npos);

    // The closing line sums it up and says where the files are.
    EXPECT_NE(strErr.find("pullbay: 1 file downloaded, 3 failed, 0 skipped, 3 entries rejected; "
                          "the files are in " +
                          folder.string() + "\n"),
              std::string::npos)
        << strErr;
}

// run's RetryAfterLimit of 60 s: a short pause is waited for, a long one
// fails the file saying so; a param of 0 fails any 503 at once.
TEST_F(HostProgramTest, RunWaitsTheShortPausesThatServersAskForUnlessAParamSaysOtherwise)
{
    auto BusyOnce = [](const std::string& strRetryAfter) {
        auto pCount = std::make_shared<std::atomic<int>>(0);
        return [pCount, strRetryAfter](const HttpRequest&) {
            if ((*pCount)++ > 0) {
                return HttpResponse::Text(200, "first file\n");
            }
            HttpResponse busy = HttpResponse::Text(503, "try later");
            busy.headers = {{"Retry-After", strRetryAfter}};
            return busy;
        };
    };
    server.Route("/soon.txt", BusyOnce("1"));
    server.Route("/later.txt", BusyOnce("120"));
    const ChildResult result = RunHost({"run", "--headless", "--dest", folder.string(), "--add",
                                        Add("text/plain", 11, "/soon.txt", "soon.txt"), "--add",
                                        Add("text/plain", 11, "/later.txt", "later.txt")});
    EXPECT_EQ(result.intExit, 1) << result.strErr;
    EXPECT_EQ(ReadFile(folder / "soon.txt"), "first file\n");
    EXPECT_NE(result.strErr.find("failed later.txt (" + server.BaseUrl() +
                                 "/later.txt): 0: The server answered the request with HTTP "
                                 "status 503 (Service Unavailable) and asked to wait 120 "
                                 "seconds, more than the limit of 60 seconds."),
              std::string::npos)
        << result.strErr;

    server.Route("/soon.txt", BusyOnce("1"));
    const ChildResult refused =
        RunHost({"run", "--headless", "--dest", folder.string(), "--param", "retryafterlimit=0",
                 "--add", Add("text/plain", 11, "/soon.txt", "soon.txt")});
    EXPECT_EQ(refused.intExit, 1) << refused.strErr;
    EXPECT_NE(refused.strErr.find("/soon.txt): 0: The server answered the request with HTTP "
                                  "status 503 (Service Unavailable).\n"),
              std::string::npos)
        << refused.strErr;
}

TEST_F(HostProgramTest, AFullDiskIsNamedWithTheFileBeingWritten)
{
    const std::filesystem::path small = folder / "small";
    std::filesystem::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    server.Route("/big.bin",
                 HttpResponse::Text(200, PatternBytes(1, 2000000), "application/octet-stream"));
    ChildOptions options;
    options.environment = {{"TMPDIR", small.string()}};
    const ChildResult result =
        RunHost({"run", "--headless", "--events", "--dest", (folder / "dest").string(), "--add",
                 Add("application/octet-stream", 70000, "/b.bin", "b.bin"), "--add",
                 Add("*/*", 2000000, "/big.bin", "big.bin")},
                {}, options);
    ::umount2(small.c_str(), MNT_DETACH);
    EXPECT_EQ(result.intExit, 1) << result.strErr;
    const std::string strFull = "301: The file could not be written: the disk is full or cannot "
                                "be written to. (Disk is full, writing " +
                                small.string() + "/Pullbay_Temp/i";
    EXPECT_NE(result.strOut.find(R"({"event":"Error","args":[200,")" + strFull), std::string::npos)
        << result.strOut;
    EXPECT_NE(result.strErr.find("failed big.bin (" + server.BaseUrl() + "/big.bin): " + strFull),
              std::string::npos)
        << result.strErr;
}

TEST_F(HostProgramTest, AStalledServerEndsTheRunAfterTheDefaultTimeOut)
{
    HttpResponse stall;
    stall.neverRespond = true;
    server.Route("/stall.txt", stall);
    const auto start = std::chrono::steady_clock::now();
    // Names no TimeOut: the run's 60 s apply, where the control alone waits for ever.
    const ChildResult result = RunHost({"run", "--headless", "--dest", folder.string(), "--param",
                                        "FileList=" + server.BaseUrl() + "/stall.txt", "--param",
                                        "ReconnectAttemptsCount=0"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.intExit, 2) << result.strErr;
    EXPECT_NE(result.strErr.find("/stall.txt: The operation timed out."), std::string::npos)
        << result.strErr;
    EXPECT_GE(elapsed, std::chrono::seconds(59));
    EXPECT_LT(elapsed, std::chrono::seconds(80));
}

TEST_F(HostProgramTest, ATimeOutNamedByThePageOrAParamReplacesTheRunDefault)
{
    HttpResponse stall;
    stall.neverRespond = true;
    server.Route("/stall.txt", stall);
    const std::filesystem::path page = folder / "page.html";
    std::ofstream(page) << "<object type=\"application/x-velmora-pullbay\">"
                           "<param name=timeout value=400><param name=FileList value=\"" +
                               server.BaseUrl() +
                               "/stall.txt\"><param name=ReconnectAttemptsCount value=0></object>";
    const std::vector<std::vector<std::string>> runs = {
        {"run", "--headless", "--page", page.string()},
        {"run", "--headless", "--param", "TIMEOUT=400", "--param",
         "FileList=" + server.BaseUrl() + "/stall.txt", "--param", "ReconnectAttemptsCount=0"},
    };
    for (const std::vector<std::string>& arguments : runs) {
        const auto start = std::chrono::steady_clock::now();
        const ChildResult result = RunHost(arguments);
        EXPECT_EQ(result.intExit, 2) << result.strErr;
        EXPECT_NE(result.strErr.find("The operation timed out."), std::string::npos)
            << result.strErr;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
}

TEST_F(HostProgramTest, AHeadlessStartSaysNothingAboutQtsRuntimeFolder)
{
    const std::filesystem::path tmp = folder / "tmp";
    std::filesystem::create_directories(tmp);
    ChildOptions options;
    options.environment = {{"XDG_RUNTIME_DIR", std::nullopt}, {"TMPDIR", tmp.string()}};
    for (int intRun = 0; intRun < 2; ++intRun) {  // the second finds the folder made
        const ChildResult result =
            RunHost({"run", "--headless", "--dest", folder.string(), "--add",
                     Add("text/plain", 11, "/a.txt", "a" + std::to_string(intRun) + ".txt")},
                    {}, options);
        EXPECT_EQ(result.intExit, 0) << result.strErr;
        EXPECT_EQ(result.strErr.find("XDG_RUNTIME_DIR"), std::string::npos) << result.strErr;
        EXPECT_EQ(result.strErr.find("QStandardPaths"), std::string::npos) << result.strErr;
    }
    struct stat info {};
    const std::filesystem::path runtime = tmp / ("pullbay-runtime-" + std::to_string(::geteuid()));
    ASSERT_EQ(::lstat(runtime.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

}  // namespace
}  // namespace pullbay::test
