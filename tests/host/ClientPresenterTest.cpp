// The serve host's dialogs in process: the client's answers come back
// through the event loop while the presenter waits, as they do from stdin.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "control/DialogSettings.h"
#include "core/TextUnits.h"
#include "host/protocol/ClientPresenter.h"
#include "model/FileList.h"
#include "model/PropertyHolder.h"
#include "platform/shell/ItemIdList.h"
#include "support/ProtectedPlatform.h"

namespace pullbay::host {
namespace {

using platform::shell::ItemIdList;

// A scripted client: every line the presenter writes is kept, and each
// dialog line is answered (on the next turn of the event loop) with the
// next answer of the script, given as the fields after "answer".
class ScriptedClient {
public:
    std::shared_ptr<ClientPresenter> Presenter(
        ClientPresenter::Mode mode = ClientPresenter::Mode::Client)
    {
        m_pPresenter =
            std::make_shared<ClientPresenter>(mode, L"", [this](std::string_view strLine) {
                const QJsonObject line =
                    QJsonDocument::fromJson(QByteArray(strLine.data(), strLine.size())).object();
                lines.push_back(line);
                if ((line.contains("dialog") || line.contains("answer")) && !script.empty()) {
                    const std::string strId = line.contains("dialog")
                                                  ? line.value("dialogId").toString().toStdString()
                                                  : line.value("answer").toString().toStdString();
                    std::string strFields = script.front();
                    script.erase(script.begin());
                    QTimer::singleShot(0, [this, strId, strFields] {
                        const std::string strAnswer =
                            R"({"answer":")" + strId + "\"," + strFields + "}";
                        m_pPresenter->Answer(
                            QJsonDocument::fromJson(QByteArray::fromStdString(strAnswer)).object());
                    });
                }
            });
        return m_pPresenter;
    }

    std::vector<std::string> script;
    std::vector<QJsonObject> lines;

private:
    std::shared_ptr<ClientPresenter> m_pPresenter;
};

model::FileList ListOf(std::size_t uintCount)
{
    model::FileList files;
    for (std::size_t i = 0; i < uintCount; ++i) {
        const std::wstring strName = L"f" + std::to_wstring(i) + L".txt";
        files.Add(
            model::FileItem::Create(L"text/plain", 1, strName, L"http://127.0.0.1/" + strName));
    }
    return files;
}

// The request the control makes of its settings and list.
api::ConfirmationRequest RequestFor(const model::FileList& files)
{
    return control::DialogSettings::ConfirmationRequest(model::PropertyHolder(), L"127.0.0.1",
                                                        files);
}

TEST(ClientPresenterTest, ConfirmationKeepsTheProtectedModeLimitAndRefusesOkWithNothingChecked)
{
    const std::filesystem::path writeable =
        std::filesystem::path(std::getenv("TMPDIR")) / "writeable";
    std::filesystem::create_directories(writeable);
    test::ProtectedPlatformScope platform(core::FromUtf8(writeable.string()));
    model::FileList files = ListOf(600);

    ScriptedClient client;
    const std::string strNone = R"("ok":true,"checked":[true])";
    std::string strNothing = R"("ok":true,"checked":[)";
    std::string strEverything = R"("ok":true,"checked":[)";
    for (int i = 0; i < 600; ++i) {
        strNothing += i > 0 ? ",false" : "false";
        strEverything += i > 0 ? ",true" : "true";
    }
    client.script = {strNone, strNothing + "]", strEverything + "]", R"("button":"OK")"};
    auto pPresenter = client.Presenter();
    const api::ConfirmationAnswer answer = pPresenter->ConfirmDownload(RequestFor(files));
    ASSERT_TRUE(answer.bOk);

    ASSERT_EQ(client.lines.size(), 4u);
    const QJsonObject dialog = client.lines[0];
    EXPECT_EQ(dialog.value("limit").toInt(), 500);
    EXPECT_EQ(dialog.value("items").toArray().size(), 600);
    EXPECT_TRUE(dialog.value("items").toArray()[499].toObject().value("checked").toBool());
    EXPECT_FALSE(dialog.value("items").toArray()[500].toObject().value("checked").toBool());
    // A malformed checked list and OK with nothing checked are refused; the
    // dialog stays open for the next answer.
    EXPECT_EQ(client.lines[1].value("hr").toInt(), -2147024809);
    EXPECT_EQ(client.lines[2].value("hr").toInt(), -2147024809);
    // Checking all 600 runs into the limit: its message box, then OK.
    EXPECT_EQ(client.lines[3].value("dialog").toString(), "MessageBox");
    EXPECT_TRUE(client.lines[3].value("text").toString().contains("500"));
    ASSERT_EQ(answer.checked.size(), 600u);
    EXPECT_EQ(std::count(answer.checked.begin(), answer.checked.end(), true), 500);
    EXPECT_TRUE(answer.checked[499]);
    EXPECT_FALSE(answer.checked[500]);
}

TEST(ClientPresenterTest, FolderAnswersAreCheckedAndEndOfInputCancelsEveryDialog)
{
    const std::filesystem::path folder = std::filesystem::path(std::getenv("TMPDIR")) / "chosen";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "plain.txt";
    std::ofstream(file) << "x";

    ScriptedClient client;
    client.script = {R"("folder":")" + file.string() + "\"",
                     R"("folder":")" + folder.string() + "/\""};
    auto pPresenter = client.Presenter();
    const auto chosen =
        pPresenter->FolderBrowser()->Browse(L"Pick", ItemIdList::FromVirtualFolder(L"BitBucket"));
    EXPECT_EQ(ItemIdList::ToPath(chosen),
              std::optional<std::wstring>(core::FromUtf8(folder.string())));
    ASSERT_GE(client.lines.size(), 2u);
    EXPECT_TRUE(client.lines[0].value("initialFolder").isNull());
    EXPECT_EQ(client.lines[0].value("initialVirtual").toString(), "BitBucket");
    EXPECT_EQ(client.lines[1].value("hr").toInt(), -2147024809) << "a file is not a folder";

    // After the end of input, each dialog ends at once as cancelled.
    pPresenter->EndOfInput();
    EXPECT_EQ(
        pPresenter->ShowMessageBox(L"Open?", L"Velmora Pullbay", api::MessageBoxButtons::YesNo),
        api::MessageBoxAnswer::No);
    EXPECT_EQ(pPresenter->ShowMessageBox(L"Done", L"Velmora Pullbay", api::MessageBoxButtons::Ok),
              api::MessageBoxAnswer::Ok);
    EXPECT_TRUE(pPresenter->FolderBrowser()->Browse(L"Pick", {}).empty());
    EXPECT_FALSE(pPresenter->ConfirmDownload(RequestFor(ListOf(2))).bOk);
    api::FileExistsQuestion question;
    question.settings.defaultAction = ui::FileExistsAnswer::Overwrite;
    question.strQuestion = L"exists";
    const api::FileExistsReply reply = pPresenter->AskFileExists(question);
    EXPECT_EQ(reply.action, ui::FileExistsAnswer::Skip);
    EXPECT_FALSE(reply.bApplyToAll);
    EXPECT_EQ(client.lines.back().value("reason").toString(), "eof");
}

}  // namespace
}  // namespace pullbay::host
