#include "host/protocol/ClientPresenter.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

#include <algorithm>
#include <filesystem>

#include "core/HResult.h"
#include "core/TextUnits.h"
#include "host/protocol/JsonLineWriter.h"
#include "host/protocol/JsonText.h"
#include "host/session/FolderText.h"
#include "host/session/ProgressWatch.h"
#include "platform/shell/ItemIdList.h"
#include "ui/ConfirmationModel.h"
#include "ui/FileExistsModel.h"

namespace pullbay::host {

namespace {

using platform::shell::ItemIdBytes;
using platform::shell::ItemIdList;

const wchar_t* ActionName(ui::FileExistsAnswer action)
{
    switch (action) {
    case ui::FileExistsAnswer::Overwrite:
        return L"Overwrite";
    case ui::FileExistsAnswer::Skip:
        return L"Skip";
    case ui::FileExistsAnswer::Rename:
        return L"Rename";
    }
    return L"Overwrite";
}

std::optional<ui::FileExistsAnswer> ActionFromName(const QString& strName)
{
    for (const ui::FileExistsAnswer action :
         {ui::FileExistsAnswer::Overwrite, ui::FileExistsAnswer::Skip,
          ui::FileExistsAnswer::Rename}) {
        if (strName == QString::fromWCharArray(ActionName(action))) {
            return action;
        }
    }
    return std::nullopt;
}

std::wstring Wide(const QString& strText)
{
    return strText.toStdWString();
}

// Forwards the control's folder question to the presenter, which the browser
// must not keep alive.
class ClientFolderBrowser : public platform::shell::IFolderBrowser {
public:
    explicit ClientFolderBrowser(std::weak_ptr<ClientPresenter> pPresenter)
        : m_pPresenter(std::move(pPresenter))
    {
    }

    ItemIdBytes Browse(const std::wstring& strTitle, const ItemIdBytes& initialFolder) override
    {
        const auto pPresenter = m_pPresenter.lock();
        return pPresenter ? pPresenter->BrowseForFolder(strTitle, initialFolder) : ItemIdBytes();
    }

private:
    std::weak_ptr<ClientPresenter> m_pPresenter;
};

}  // namespace

struct ClientPresenter::Pending {
    std::string strId;
    // Takes an answer: an empty text when it ends the dialog, else the reason
    // it was refused.
    std::function<std::string(const QJsonObject&)> accept;
    // Ends the dialog as cancelled.
    std::function<void()> cancel;
    QEventLoop* pLoop = nullptr;
    bool bEnded = false;
};

ClientPresenter::ClientPresenter(Mode mode, std::wstring strAutoFolder, LineOutput output)
    : m_mode(mode),
      m_strAutoFolder(std::move(strAutoFolder)),
      m_write(output ? std::move(output) : LineOutput(&JsonLineWriter::Write))
{
}

std::string ClientPresenter::NextId()
{
    return "d" + std::to_string(++m_uintNextId);
}

void ClientPresenter::Run(const std::shared_ptr<Pending>& pPending, std::string strDialogLine,
                          const std::string& strAutoJson)
{
    if (m_mode == Mode::Auto) {
        strDialogLine.pop_back();  // the closing brace
        strDialogLine.append(",\"auto\":").append(strAutoJson).push_back('}');
        m_write(strDialogLine);
        return;
    }
    m_write(strDialogLine);
    if (m_bEndOfInput) {
        pPending->cancel();
        m_write(JsonText::Object()
                    .Text("dialogClosed", core::FromUtf8(pPending->strId))
                    .Text("reason", L"eof")
                    .Str());
        return;
    }
    QEventLoop loop;
    pPending->pLoop = &loop;
    m_pending.push_back(pPending);
    if (!pPending->bEnded) {
        loop.exec();
    }
    pPending->pLoop = nullptr;
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), pPending), m_pending.end());
}

void ClientPresenter::End(Pending& pending)
{
    pending.bEnded = true;
    if (pending.pLoop != nullptr) {
        pending.pLoop->quit();
    }
}

std::shared_ptr<ClientPresenter::Pending> ClientPresenter::Find(const std::string& strId) const
{
    for (const auto& pPending : m_pending) {
        if (pPending->strId == strId && !pPending->bEnded) {
            return pPending;
        }
    }
    if (m_pFileListProgress && m_pFileListProgress->strId == strId) {
        return m_pFileListProgress;
    }
    return nullptr;
}

void ClientPresenter::Answer(const QJsonObject& answer)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const QJsonValue id = answer.value("answer");
    const std::string strId = id.isString() ? id.toString().toStdString() : std::string();
    const std::shared_ptr<Pending> pPending = Find(strId);
    std::string strError;
    if (!pPending) {
        strError = "no open dialog has this dialogId";
    } else {
        strError = pPending->accept(answer);
    }
    if (!strError.empty()) {
        m_write(JsonText::Object()
                    .Raw("answer", id.isString() ? JsonText::Quote(Wide(id.toString())) : "null")
                    .Number("hr", static_cast<std::int32_t>(E_INVALIDARG))
                    .Text("error", core::FromUtf8(strError))
                    .Str());
    }
}

void ClientPresenter::EndOfInput()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_bEndOfInput = true;
    CancelOpen(L"eof");
}

void ClientPresenter::CancelDialogs()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    CancelOpen(L"cancelled");
}

void ClientPresenter::CancelOpen(const wchar_t* strReason)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    // Copied: ending a dialog may let another one open or end.
    const auto pending = m_pending;
    for (const auto& pPending : pending) {
        if (!pPending->bEnded) {
            pPending->cancel();
            m_write(JsonText::Object()
                        .Text("dialogClosed", core::FromUtf8(pPending->strId))
                        .Text("reason", strReason)
                        .Str());
        }
    }
    if (m_pFileListProgress) {
        m_pFileListProgress->cancel();
    }
}

// --- message box -------------------------------------------------------------

api::MessageBoxAnswer ClientPresenter::ShowMessageBox(const std::wstring& strText,
                                                      const std::wstring& strCaption,
                                                      api::MessageBoxButtons buttons)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const bool bYesNo = buttons == api::MessageBoxButtons::YesNo;
    // Cancelled: No, or OK when that is the only button; also auto's answer.
    api::MessageBoxAnswer result = bYesNo ? api::MessageBoxAnswer::No : api::MessageBoxAnswer::Ok;
    auto pPending = std::make_shared<Pending>();
    pPending->strId = NextId();
    Pending& pending = *pPending;
    pPending->accept = [&, bYesNo](const QJsonObject& answer) -> std::string {
        const QString strButton = answer.value("button").toString();
        if (!bYesNo && strButton == "OK") {
            result = api::MessageBoxAnswer::Ok;
        } else if (bYesNo && (strButton == "Yes" || strButton == "No")) {
            result = strButton == "Yes" ? api::MessageBoxAnswer::Yes : api::MessageBoxAnswer::No;
        } else {
            return bYesNo ? "button must be \"Yes\" or \"No\"" : "button must be \"OK\"";
        }
        End(pending);
        return {};
    };
    pPending->cancel = [&] { End(pending); };
    const std::string strLine = JsonText::Object()
                                    .Text("dialog", L"MessageBox")
                                    .Text("dialogId", core::FromUtf8(pPending->strId))
                                    .Text("text", strText)
                                    .Text("caption", strCaption)
                                    .Text("buttons", bYesNo ? L"YesNo" : L"OK")
                                    .Str();
    Run(pPending, strLine, JsonText::Object().Text("button", bYesNo ? L"No" : L"OK").Str());
    return result;
}

// --- folder browser ----------------------------------------------------------

std::shared_ptr<platform::shell::IFolderBrowser> ClientPresenter::FolderBrowser()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return std::make_shared<ClientFolderBrowser>(weak_from_this());
}

ItemIdBytes ClientPresenter::BrowseForFolder(const std::wstring& strTitle,
                                             const ItemIdBytes& initialFolder)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    ItemIdBytes chosen;
    auto pPending = std::make_shared<Pending>();
    pPending->strId = NextId();
    Pending& pending = *pPending;
    pPending->accept = [&](const QJsonObject& answer) -> std::string {
        const QJsonValue folder = answer.value("folder");
        if (folder.isNull()) {
            End(pending);
            return {};
        }
        const std::filesystem::path path(folder.toString().toStdString());
        std::error_code error;
        if (!folder.isString() || !path.is_absolute() ||
            !std::filesystem::is_directory(path, error)) {
            return "folder must be an absolute path of an existing directory, or null";
        }
        chosen = ItemIdList::FromPath(FolderText(path));
        End(pending);
        return {};
    };
    pPending->cancel = [&] { End(pending); };

    JsonText::Object line;
    line.Text("dialog", L"BrowseForFolder")
        .Text("dialogId", core::FromUtf8(pPending->strId))
        .Text("title", strTitle);
    if (const auto strPath = ItemIdList::ToPath(initialFolder)) {
        line.Text("initialFolder", *strPath);
    } else {
        line.Null("initialFolder");
        if (const auto strName = ItemIdList::VirtualFolderName(initialFolder)) {
            line.Text("initialVirtual", *strName);
        }
    }
    if (m_mode == Mode::Auto && !m_strAutoFolder.empty()) {
        chosen = ItemIdList::FromPath(m_strAutoFolder);
    }
    Run(pPending, line.Str(),
        JsonText::Object()
            .Raw("folder", m_strAutoFolder.empty() ? "null" : JsonText::Quote(m_strAutoFolder))
            .Str());
    return chosen;
}

// --- confirmation ------------------------------------------------------------

api::ConfirmationAnswer ClientPresenter::ConfirmDownload(const api::ConfirmationRequest& request)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const ui::ConfirmationSettings& confirmation = request.settings;
    const std::wstring& strServer = request.strServer;
    ui::ConfirmationModel model(confirmation, strServer, request.rows);
    auto pPending = std::make_shared<Pending>();
    pPending->strId = NextId();
    Pending& pending = *pPending;
    pPending->accept = [&](const QJsonObject& answer) -> std::string {
        if (!answer.value("ok").isBool()) {
            return "ok must be true or false";
        }
        if (!answer.value("ok").toBool()) {
            model.Cancel();
            End(pending);
            return {};
        }
        if (answer.contains("checked")) {
            const QJsonArray checked = answer.value("checked").toArray();
            if (!answer.value("checked").isArray() ||
                static_cast<std::size_t>(checked.size()) != model.RowCount() ||
                std::any_of(checked.begin(), checked.end(),
                            [](const QJsonValue& value) { return !value.isBool(); })) {
                return "checked must be an array of one boolean per file";
            }
            model.UncheckAll();
            bool bLimitReached = false;
            for (qsizetype i = 0; i < checked.size(); ++i) {
                if (checked[i].toBool() && model.ToggleRow(static_cast<std::size_t>(i)) ==
                                               ui::ConfirmationModel::ToggleOutcome::LimitReached) {
                    bLimitReached = true;
                }
            }
            if (bLimitReached) {
                // As the dialog does when a check box goes past the limit.
                ShowMessageBox(model.MaxFileCountExceededMessage(), confirmation.strCaption,
                               api::MessageBoxButtons::Ok);
            }
        }
        if (!model.Accept()) {
            return "OK is not available while no file is checked";
        }
        End(pending);
        return {};
    };
    pPending->cancel = [&] {
        model.Cancel();
        End(pending);
    };

    std::vector<std::string> columns;
    for (const ui::ConfirmationModel::Column& column : model.Columns()) {
        columns.push_back(JsonText::Quote(column.strTitle));
    }
    const ui::ConfirmationRows& rows = model.Rows();
    JsonText::Object line;
    line.Text("dialog", L"Confirmation")
        .Text("dialogId", core::FromUtf8(pPending->strId))
        .Text("server", strServer)
        .Text("text", model.Text())
        .Raw("columns", JsonText::Array(columns))
        .Array("items", rows.size(),
               [&](std::size_t i) {
                   return JsonText::Object()
                       .Text("url", rows.Url(i).Str())
                       .Text("fileName", rows.FileName(i).Str())
                       .Text("fileSize", rows.FileSizeText(i).Str())
                       .Text("mimeType", rows.MimeType(i).Str())
                       .Bool("checked", model.IsRowChecked(i))
                       .Str();
               })
        .Raw("limit", confirmation.bProtectedMode ? std::to_string(model.CheckLimit()) : "null");
    // Moved on, not copied: with a long list the line is the largest text
    // the program writes.
    std::string strLine = std::move(line).Str();
    if (m_mode == Mode::Auto) {
        model.Accept();
    }
    Run(pPending, std::move(strLine), JsonText::Object().Bool("ok", true).Str());
    if (model.GetResult() != ui::ConfirmationModel::Result::Ok) {
        return {};
    }
    return {true, model.CheckedFlags()};
}

// --- file exists -------------------------------------------------------------

api::FileExistsReply ClientPresenter::AskFileExists(const api::FileExistsQuestion& question)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const ui::FileExistsSettings& existsSettings = question.settings;
    const std::wstring& strQuestion = question.strQuestion;
    ui::FileExistsModel model(existsSettings, strQuestion);
    auto pPending = std::make_shared<Pending>();
    pPending->strId = NextId();
    Pending& pending = *pPending;
    pPending->accept = [&](const QJsonObject& answer) -> std::string {
        const std::optional<ui::FileExistsAnswer> chosen =
            ActionFromName(answer.value("action").toString());
        if (!chosen) {
            return "action must be \"Overwrite\", \"Skip\" or \"Rename\"";
        }
        if (answer.contains("applyToAll") && !answer.value("applyToAll").isBool()) {
            return "applyToAll must be true or false";
        }
        model.SetApplyToAllChecked(answer.value("applyToAll").toBool(false));
        model.Choose(*chosen);
        End(pending);
        return {};
    };
    pPending->cancel = [&] {
        model.Choose(ui::FileExistsAnswer::Skip);
        End(pending);
    };
    // The countdown: its run-out takes the default action for the rest of the run.
    QTimer countdown;
    countdown.setInterval(ui::FileExistsModel::kTickMilliseconds);
    QObject::connect(&countdown, &QTimer::timeout, [&] {
        model.Poll();
        if (model.IsFinished() && !pending.bEnded) {
            countdown.stop();
            m_write(JsonText::Object()
                        .Text("dialogClosed", core::FromUtf8(pending.strId))
                        .Text("reason", L"timeout")
                        .Str());
            End(pending);
        }
    });
    const std::string strLine = JsonText::Object()
                                    .Text("dialog", L"FileExists")
                                    .Text("dialogId", core::FromUtf8(pPending->strId))
                                    .Text("text", strQuestion)
                                    .Text("defaultAction", ActionName(existsSettings.defaultAction))
                                    .Number("timeOut", existsSettings.intTimeOut)
                                    .Str();
    if (m_mode == Mode::Auto) {
        model.Choose(existsSettings.defaultAction);
    } else if (model.HasCountdown()) {
        countdown.start();
    }
    Run(pPending, strLine,
        JsonText::Object()
            .Text("action", ActionName(existsSettings.defaultAction))
            .Bool("applyToAll", false)
            .Str());
    countdown.stop();
    if (!model.IsFinished()) {
        model.Choose(ui::FileExistsAnswer::Skip);
    }
    return {model.Action(), model.ApplyToAll()};
}

// --- progress, file list, completion -------------------------------------------

void ClientPresenter::ShowProgress(const std::shared_ptr<api::IProgressSource>& pSource)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    const std::wstring strId = core::FromUtf8(NextId());
    m_write(JsonText::Object().Text("dialog", L"Progress").Text("dialogId", strId).Str());
    ProgressWatch::Run(pSource, [&](const ui::ProgressModel& model) {
        m_write(JsonText::Object()
                    .Text("progress", strId)
                    .Text("url", model.GetUrl())
                    .Text("text", model.GetProgressText())
                    .Number("current", model.GetItemBarPosition())
                    .Number("total", model.GetTotalBarPosition())
                    .Str());
    });
    m_write(JsonText::Object().Text("dialogClosed", strId).Str());
}

void ClientPresenter::FileListProgressShown(const api::FileListWindowTexts& texts,
                                            std::function<void()> cancel)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    auto pPending = std::make_shared<Pending>();
    pPending->strId = NextId();
    pPending->cancel = std::move(cancel);
    pPending->accept = [pCancel = pPending->cancel](const QJsonObject& answer) -> std::string {
        if (answer.value("cancel").toBool(false) != true) {
            return "the only answer is \"cancel\":true";
        }
        pCancel();
        return {};
    };
    JsonText::Object line;
    line.Text("dialog", L"GetFileList")
        .Text("dialogId", core::FromUtf8(pPending->strId))
        .Text("text", texts.strText);
    if (m_mode == Mode::Auto) {
        line.Raw("auto", JsonText::Object().Bool("cancel", false).Str());
    }
    m_write(line.Str());
    m_pFileListProgress = pPending;
    if (m_bEndOfInput) {
        pPending->cancel();
    }
}

void ClientPresenter::FileListProgressClosed()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pFileListProgress) {
        m_write(JsonText::Object()
                    .Text("dialogClosed", core::FromUtf8(m_pFileListProgress->strId))
                    .Str());
        m_pFileListProgress.reset();
    }
}

void ClientPresenter::ShowDownloadComplete(const api::CompletionReport& report)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    std::vector<std::string> quoted;
    if (report.lines) {
        for (const std::wstring& strLine : *report.lines) {
            quoted.push_back(JsonText::Quote(strLine));
        }
    }
    auto pPending = std::make_shared<Pending>();
    pPending->strId = NextId();
    Pending& pending = *pPending;
    pPending->accept = [&](const QJsonObject& answer) -> std::string {
        if (answer.value("button").toString() != "OK") {
            return "button must be \"OK\"";
        }
        End(pending);
        return {};
    };
    pPending->cancel = [&] { End(pending); };
    const std::string strLine = JsonText::Object()
                                    .Text("dialog", L"DownloadComplete")
                                    .Text("dialogId", core::FromUtf8(pPending->strId))
                                    .Text("text", report.texts.strDialogText)
                                    .Raw("log", JsonText::Array(quoted))
                                    .Str();
    Run(pPending, strLine, JsonText::Object().Text("button", L"OK").Str());
}

void ClientPresenter::OpenFolder(const std::wstring& strPath)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_write(JsonText::Object().Text("notice", L"OpenFolder").Text("folder", strPath).Str());
}

}  // namespace pullbay::host
