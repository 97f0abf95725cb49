// "pullbay serve" end to end: a test client drives the real binary over its
// stdin and stdout, against the loopback server.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "support/PatternBytes.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {
namespace {

constexpr int kInvalidArg = -2147024809;     // E_INVALIDARG
constexpr int kFail = -2147467259;           // E_FAIL
constexpr int kUnknownName = -2147352570;    // DISP_E_UNKNOWNNAME
constexpr int kTypeMismatch = -2147352571;   // DISP_E_TYPEMISMATCH
constexpr int kOverflow = -2147352566;       // DISP_E_OVERFLOW
constexpr int kBadParamCount = -2147352562;  // DISP_E_BADPARAMCOUNT

QJsonObject Parse(const std::optional<std::string>& line)
{
    EXPECT_TRUE(line.has_value()) << "the host wrote no such line";
    if (!line) {
        return {};
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*line));
    EXPECT_TRUE(document.isObject()) << *line;
    return document.object();
}

std::string Str(const QJsonValue& value)
{
    return value.toString().toStdString();
}

class ServeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string strTemplate = std::string(std::getenv("TMPDIR")) + "/serveXXXXXX";
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        folder = strTemplate;
        server.Route("/a.txt", HttpResponse::Text(200, "first file\n"));
        server.Route("/b.bin",
                     HttpResponse::Text(200, PatternBytes(0, 70000), "application/octet-stream"));
        HttpResponse slow =
            HttpResponse::Text(200, PatternBytes(1, 200000), "application/octet-stream");
        slow.chunkSize = 1000;
        slow.delayBetweenChunks = std::chrono::milliseconds(100);  // 20 s unless skipped
        server.Route("/slow.bin", slow);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Url(const std::string& strPath) const { return server.BaseUrl() + strPath; }

    std::string AddCall(int intId, const std::string& strMime, int intSize,
                        const std::string& strPath, const std::string& strName) const
    {
        return R"({"id":)" + std::to_string(intId) + R"(,"call":"DownloadFileAdd","args":[")" +
               strMime + "\"," + std::to_string(intSize) + ",\"" + strName + "\",\"" +
               Url(strPath) + "\"]}";
    }

    // The reply to a numeric id.
    static QJsonObject Reply(HostSession& host, int intId)
    {
        const std::string strPrefix = R"({"id":)" + std::to_string(intId) + ",";
        return Parse(host.ReadUntil(
            [&](const std::string& strLine) { return strLine.rfind(strPrefix, 0) == 0; }));
    }

    static QJsonObject Dialog(HostSession& host, const std::string& strKind)
    {
        return Parse(host.ReadUntilContains(R"({"dialog":")" + strKind + "\""));
    }

    static void Answer(HostSession& host, const QJsonObject& dialog, const std::string& strFields)
    {
        host.WriteLine(R"({"answer":")" + Str(dialog.value("dialogId")) + "\"," + strFields + "}");
    }

    static bool Contains(const HostSession& host, const std::string& strLine)
    {
        for (const std::string& strSeen : host.Transcript()) {
            if (strSeen == strLine) {
                return true;
            }
        }
        return false;
    }

    std::filesystem::path folder;
    TestHttpServer server;
};

TEST_F(ServeTest, PropertiesListMembersAndRefusals)
{
    HostSession host({"serve", "--headless"});
    // Written before InitComplete: queued, not lost.
    host.WriteLine(R"({"id":1,"get":"TimeOut"})");
    EXPECT_EQ(host.ReadLine(), std::optional<std::string>(R"({"event":"InitComplete","args":[]})"));
    EXPECT_EQ(host.ReadLine(), std::optional<std::string>(R"({"id":1,"hr":0,"value":0})"));

    host.WriteLine(R"({"id":"two","put":"TimeOut","value":5000})");
    EXPECT_EQ(host.ReadLine(), std::optional<std::string>(R"({"id":"two","hr":0})"));
    host.WriteLine(R"({"id":3,"get":"timeout"})");
    EXPECT_EQ(host.ReadLine(), std::optional<std::string>(R"({"id":3,"hr":0,"value":5000})"));

    struct Refusal {
        std::string strRequest;
        int intHr;
    };
    const std::vector<Refusal> refusals = {
        {R"({"id":4,"put":"TimeOut","value":3000000000})", kOverflow},
        {R"({"id":4,"put":"TimeOut","value":"soon"})", kTypeMismatch},
        {R"({"id":4,"put":"TimeOut","value":[1]})", kTypeMismatch},
        {R"({"id":4,"call":"NoSuchMember"})", kUnknownName},
        {R"({"id":4,"call":"DownloadFileAdd","args":["text/plain",1]})", kBadParamCount},
        {R"({"id":4,"put":"TimeOut"})", kInvalidArg},
        {R"({"id":4,"call":"Download","args":"none"})", kInvalidArg},
        {R"({"id":4,"get":"TimeOut","put":"TimeOut","value":1})", kInvalidArg},
    };
    for (const Refusal& refusal : refusals) {
        host.WriteLine(refusal.strRequest);
        const QJsonObject reply = Parse(host.ReadLine());
        EXPECT_EQ(reply.value("id").toInt(), 4) << refusal.strRequest;
        EXPECT_EQ(reply.value("hr").toInt(), refusal.intHr) << refusal.strRequest;
    }
    // Ids come back as written: past 2^53, negative, fractional, a string
    // that looks like a number, and a refused request's.
    for (const std::string strId :
         {"9007199254740993", "-12", "2.50", "1e3", R"("9007199254740993")"}) {
        host.WriteLine(R"({"id":)" + strId + R"(,"get":"TimeOut"})");
        EXPECT_EQ(host.ReadLine(),
                  std::optional<std::string>(R"({"id":)" + strId + R"(,"hr":0,"value":5000})"));
        host.WriteLine(R"({"id": )" + strId + R"( ,"call":"NoSuchMember"})");
        EXPECT_EQ(host.ReadLine(),
                  std::optional<std::string>(R"({"id":)" + strId + R"(,"hr":-2147352570})"));
    }
    // The colour can only be set while the control loads: the client gets
    // the control's own rich error text.
    host.WriteLine(R"({"id":5,"put":"BackgroundColor","value":"#FF0000"})");
    const QJsonObject colour = Parse(host.ReadLine());
    EXPECT_EQ(colour.value("hr").toInt(), kFail);
    EXPECT_FALSE(colour.value("error").toString().isEmpty());

    // Malformed lines are answered and the host goes on.
    for (const char* pLine : {"not json", "[1,2]", R"({"id":6})"}) {
        host.WriteLine(pLine);
        const QJsonObject reply = Parse(host.ReadLine());
        EXPECT_EQ(reply.value("hr").toInt(), kInvalidArg) << pLine;
        EXPECT_FALSE(reply.value("error").toString().isEmpty()) << pLine;
    }

    host.WriteLine(AddCall(7, "image/jpeg", 12345, "/a.jpg", "a.jpg"));
    EXPECT_EQ(host.ReadLine(),
              std::optional<std::string>(R"({"event":"DownloadFileCountChange","args":[]})"));
    EXPECT_EQ(host.ReadLine(), std::optional<std::string>(R"({"id":7,"hr":0,"value":0})"));
    // A duplicate is not added and returns no index.
    host.WriteLine(AddCall(8, "image/jpeg", 12345, "/a.jpg", "a.jpg"));
    const QJsonObject duplicate = Reply(host, 8);
    EXPECT_FALSE(duplicate.contains("value"));
    host.WriteLine(AddCall(9, "image/jpeg", -1, "/b.jpg", "b.jpg"));
    EXPECT_EQ(host.ReadLine(),
              std::optional<std::string>(
                  R"({"event":"Error","args":[102,"FileSize must not be negative",0,"","",-1]})"));
    Reply(host, 9);

    host.WriteLine(R"({"id":10,"get":"DownloadFileUrl","index":0})");
    EXPECT_EQ(Str(Reply(host, 10).value("value")), Url("/a.jpg"));
    host.WriteLine(R"({"id":11,"put":"DownloadFileName","index":0,"value":"b.txt"})");
    EXPECT_EQ(Reply(host, 11).value("hr").toInt(), 0);
    host.WriteLine(R"({"id":12,"get":"DownloadFileName","index":0})");
    EXPECT_EQ(Str(Reply(host, 12).value("value")), "b.txt");

    EXPECT_EQ(host.Finish(), 0);
}

TEST_F(ServeTest, WholeRunWithEveryDialogAnsweredByTheClient)
{
    const std::filesystem::path dest = folder / "dest";
    std::filesystem::create_directories(dest);
    std::ofstream(dest / "a.txt") << "old";
    HostSession host({"serve", "--headless", "--param", "DownloadCompleteAction=Prompt"});
    host.WriteLine(AddCall(1, "text/plain", 11, "/a.txt", "a.txt"));
    host.WriteLine(AddCall(2, "application/octet-stream", 70000, "/b.bin", "b.bin"));
    host.WriteLine(R"({"id":3,"call":"Download"})");

    const QJsonObject confirmation = Dialog(host, "Confirmation");
    // The server is the file list's host: none for files added by script.
    EXPECT_EQ(Str(confirmation.value("server")), "");
    EXPECT_EQ(confirmation.value("columns").toArray().size(), 4);
    const QJsonArray items = confirmation.value("items").toArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(Str(items[1].toObject().value("fileName")), "b.bin");
    EXPECT_TRUE(items[1].toObject().value("checked").toBool());
    EXPECT_TRUE(confirmation.value("limit").isNull());
    // While the dialog is open, script still runs; a second Download is busy.
    host.WriteLine(R"({"id":4,"call":"Download"})");
    EXPECT_EQ(Reply(host, 4).value("hr").toInt(), 1);
    Answer(host, confirmation, R"("ok":true,"checked":[true,true])");

    const QJsonObject browse = Dialog(host, "BrowseForFolder");
    Answer(host, browse, R"("folder":"relative/path")");
    const QJsonObject refused = Parse(host.ReadUntilContains(R"("hr":)"));
    EXPECT_EQ(refused.value("answer"), browse.value("dialogId"));
    EXPECT_EQ(refused.value("hr").toInt(), kInvalidArg);
    Answer(host, browse, R"("folder":")" + dest.string() + "\"");

    const QJsonObject exists = Dialog(host, "FileExists");
    EXPECT_NE(Str(exists.value("text")).find("a.txt"), std::string::npos);
    EXPECT_EQ(Str(exists.value("defaultAction")), "Overwrite");
    EXPECT_EQ(exists.value("timeOut").toInt(), -1);
    Answer(host, exists, R"("action":"Rename","applyToAll":false)");

    const QJsonObject complete = Dialog(host, "DownloadComplete");
    const QJsonArray log = complete.value("log").toArray();
    ASSERT_EQ(log.size(), 2);
    EXPECT_NE(Str(log[0]).find("Copy of a.txt"), std::string::npos) << Str(log[0]);
    Answer(host, complete, R"("button":"OK")");

    const QJsonObject prompt = Dialog(host, "MessageBox");
    EXPECT_EQ(Str(prompt.value("buttons")), "YesNo");
    Answer(host, prompt, R"("button":"Yes")");
    const QJsonObject notice = Parse(host.ReadUntilContains(R"({"notice":"OpenFolder")"));
    EXPECT_EQ(Str(notice.value("folder")), dest.string());
    EXPECT_EQ(Reply(host, 3).value("hr").toInt(), 0);
    EXPECT_TRUE(Contains(host, R"({"event":"DownloadComplete","args":[0]})"));
    EXPECT_EQ(host.Finish(), 0);

    bool bProgressOpened = false;
    bool bProgressClosed = false;
    for (const std::string& strLine : host.Transcript()) {
        bProgressOpened = bProgressOpened || strLine.find(R"({"dialog":"Progress")") == 0;
        bProgressClosed =
            bProgressClosed || (bProgressOpened && strLine.find(R"({"dialogClosed":)") == 0);
    }
    EXPECT_TRUE(bProgressOpened && bProgressClosed);
    EXPECT_EQ(ReadFile(dest / "a.txt"), "old");
    EXPECT_EQ(ReadFile(dest / "Copy of a.txt"), "first file\n");
    EXPECT_EQ(ReadFile(dest / "b.bin"), PatternBytes(0, 70000));
}

TEST_F(ServeTest, RunsEndEarlyWhenTheClientCancels)
{
    struct Case {
        std::string strDialog;
        std::string strAnswer;
        int intCompletion;
    };
    const std::vector<Case> cases = {
        {"Confirmation", R"("ok":false)", 4},
        {"BrowseForFolder", R"("folder":null)", 6},
    };
    for (const Case& testCase : cases) {
        HostSession host({"serve", "--headless"});
        host.WriteLine(AddCall(1, "text/plain", 11, "/a.txt", "a.txt"));
        host.WriteLine(R"({"id":2,"call":"Download"})");
        if (testCase.strDialog != "Confirmation") {
            Answer(host, Dialog(host, "Confirmation"), R"("ok":true)");
        }
        Answer(host, Dialog(host, testCase.strDialog), testCase.strAnswer);
        EXPECT_EQ(Reply(host, 2).value("hr").toInt(), 0);
        EXPECT_TRUE(Contains(host, R"({"event":"DownloadComplete","args":[)" +
                                       std::to_string(testCase.intCompletion) + "]}"))
            << testCase.strDialog;
        EXPECT_EQ(host.Finish(), 0);
    }
    EXPECT_EQ(server.RequestCount("/a.txt"), 0u);
}

TEST_F(ServeTest, SkipAllAndEndOfInputStopARunningDownload)
{
    for (const bool bEndOfInput : {false, true}) {
        const std::filesystem::path dest = folder / (bEndOfInput ? "eof" : "skip");
        std::filesystem::create_directories(dest);
        HostSession host({"serve", "--headless", "--dest", dest.string()});
        host.WriteLine(AddCall(1, "application/octet-stream", 200000, "/slow.bin", "slow.bin"));
        host.WriteLine(AddCall(2, "text/plain", 11, "/a.txt", "a.txt"));
        host.WriteLine(R"({"id":3,"call":"Download"})");
        Answer(host, Dialog(host, "Confirmation"), R"("ok":true)");
        Answer(host, Dialog(host, "BrowseForFolder"), R"("folder":")" + dest.string() + "\"");
        ASSERT_TRUE(host.ReadUntilContains(R"({"progress":)"));
        if (bEndOfInput) {
            // The pending and later dialogs end as cancelled; the run skips
            // the rest and the host exits once it has ended.
            EXPECT_EQ(host.Finish(), 0);
            EXPECT_TRUE(Contains(host, R"({"id":3,"hr":0})"));
        } else {
            host.WriteLine(R"({"id":4,"call":"SkipAll"})");
            EXPECT_EQ(Reply(host, 4).value("hr").toInt(), 0);
            Answer(host, Dialog(host, "DownloadComplete"), R"("button":"OK")");
            EXPECT_EQ(Reply(host, 3).value("hr").toInt(), 0);
            EXPECT_EQ(host.Finish(), 0);
        }
        const std::string strSkippedSlow =
            R"({"event":"DownloadItemComplete","args":[3,"",")" + Url("/slow.bin");
        bool bSlowSkipped = false;
        for (const std::string& strLine : host.Transcript()) {
            bSlowSkipped = bSlowSkipped || strLine.rfind(strSkippedSlow, 0) == 0;
        }
        EXPECT_TRUE(bSlowSkipped) << bEndOfInput;
        EXPECT_TRUE(Contains(host, R"({"event":"DownloadComplete","args":[0]})"));
        EXPECT_FALSE(std::filesystem::exists(dest / "slow.bin"));
        EXPECT_FALSE(std::filesystem::exists(dest / "a.txt"));
    }
    EXPECT_EQ(server.RequestCount("/a.txt"), 0u);
}

TEST_F(ServeTest, FileExistsCountdownAndAutoAnswers)
{
    const std::filesystem::path dest = folder / "dest";
    std::filesystem::create_directories(dest);
    std::ofstream(dest / "a.txt") << "old";
    {
        // Nobody answers: the countdown takes the default action.
        HostSession host({"serve", "--headless", "--param", "FileExistsDialogTimeOut=1000",
                          "--param", "FileExistsDialogDefaultAction=Overwrite"});
        host.WriteLine(AddCall(1, "text/plain", 11, "/a.txt", "a.txt"));
        host.WriteLine(R"({"id":2,"call":"Download"})");
        Answer(host, Dialog(host, "Confirmation"), R"("ok":true)");
        Answer(host, Dialog(host, "BrowseForFolder"), R"("folder":")" + dest.string() + "\"");
        const QJsonObject exists = Dialog(host, "FileExists");
        EXPECT_EQ(exists.value("timeOut").toInt(), 1000);
        const QJsonObject closed = Parse(host.ReadUntilContains(
            R"({"dialogClosed":)" + std::string("\"") + Str(exists.value("dialogId"))));
        EXPECT_EQ(Str(closed.value("reason")), "timeout");
        Answer(host, Dialog(host, "DownloadComplete"), R"("button":"OK")");
        EXPECT_EQ(Reply(host, 2).value("hr").toInt(), 0);
        EXPECT_EQ(host.Finish(), 0);
        EXPECT_EQ(ReadFile(dest / "a.txt"), "first file\n");
    }
    {
        // Auto: every dialog line still goes out, with the answer chosen.
        HostSession host({"serve", "--headless", "--dialogs", "auto", "--dest", dest.string(),
                          "--param", "FileExistsDialogDefaultAction=Rename"});
        host.WriteLine(AddCall(1, "text/plain", 11, "/a.txt", "a.txt"));
        host.WriteLine(R"({"id":2,"call":"Download"})");
        EXPECT_EQ(Reply(host, 2).value("hr").toInt(), 0);
        EXPECT_EQ(host.Finish(), 0);
        std::vector<std::string> autoDialogs;
        for (const std::string& strLine : host.Transcript()) {
            const QJsonObject line = Parse(strLine);
            if (line.contains("auto")) {
                autoDialogs.push_back(Str(line.value("dialog")));
            }
        }
        EXPECT_EQ(autoDialogs, (std::vector<std::string>{"Confirmation", "BrowseForFolder",
                                                         "FileExists", "DownloadComplete"}));
        EXPECT_EQ(ReadFile(dest / "Copy of a.txt"), "first file\n");
    }
}

TEST_F(ServeTest, FileListProgressWindowCanBeCancelledByTheClient)
{
    HttpResponse stalled;
    stalled.neverRespond = true;
    server.Route("/list.txt", stalled);
    HostSession host({"serve", "--headless", "--param", "ShowFileListProgressDialog=true",
                      "--param", "FileList=" + Url("/list.txt")});
    host.WriteLine(R"({"id":1,"call":"Download"})");
    const QJsonObject progress = Dialog(host, "GetFileList");
    EXPECT_EQ(Str(progress.value("text")), "Getting file list...");
    Answer(host, progress, R"("cancel":false)");
    EXPECT_EQ(Parse(host.ReadUntilContains(R"("hr":)")).value("hr").toInt(), kInvalidArg);
    Answer(host, progress, R"("cancel":true)");
    EXPECT_EQ(Reply(host, 1).value("hr").toInt(), 0);
    EXPECT_TRUE(Contains(host, R"({"dialogClosed":)" + std::string("\"") +
                                   Str(progress.value("dialogId")) + "\"}"));
    EXPECT_TRUE(Contains(host, R"({"event":"DownloadComplete","args":[2]})"));
    EXPECT_EQ(host.Finish(), 0);
}

}  // namespace
}  // namespace pullbay::test
