#include "host/protocol/BridgePort.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <vector>

#include "bridge/OriginPermissions.h"
#include "core/TextUnits.h"
#include "host/protocol/ClientPresenter.h"
#include "host/protocol/EventLineSink.h"
#include "host/protocol/JsonText.h"
#include "host/protocol/ProtocolSession.h"
#include "host/session/ControlSession.h"

namespace pullbay::host {

namespace {

using bridge::OriginGrant;
using bridge::OriginPermissions;

constexpr const wchar_t* kCaption = L"Velmora Pullbay";
// The element's extent when the page gives none (a browser's default for
// an object without one).
constexpr int kDefaultWidth = 300;
constexpr int kDefaultHeight = 150;
constexpr int kMaxExtent = 16384;

// A control's line with its number in front: {"control":N,...}.
std::string Tagged(int intControl, std::string_view strLine)
{
    std::string strTagged = "{\"control\":" + std::to_string(intControl);
    if (strLine.size() > 2) {
        strTagged += ',';
        strTagged.append(strLine.substr(1));
    } else {
        strTagged += '}';
    }
    return strTagged;
}

int Extent(const QJsonValue& value, int intDefault)
{
    const double dblValue = value.toDouble(-1);
    return dblValue >= 1 && dblValue <= kMaxExtent ? static_cast<int>(dblValue) : intDefault;
}

}  // namespace

struct BridgePort::Control {
    int intId = 0;
    ControlSession session;
    std::shared_ptr<ClientPresenter> pClient;
    std::shared_ptr<api::IDialogPresenter> pDefault;
    std::unique_ptr<ProtocolSession> pProtocol;
    bool bInitComplete = false;
    // Until the site is allowed, the control's lines wait here.
    bool bReleased = false;
    std::vector<std::string> held;
    bool bFinished = false;
};

BridgePort::BridgePort(bool bDisplay, Output output, std::function<void()> onFinished)
    : m_bDisplay(bDisplay), m_output(std::move(output)), m_onFinished(std::move(onFinished))
{
}

BridgePort::~BridgePort() = default;

std::wstring BridgePort::ConsentQuestion(const std::string& strOrigin)
{
    return L"The web site " + core::FromUtf8(strOrigin) +
           L" wants to use Pullbay.\n\nMay this site download files to this computer? You "
           L"will still confirm every download and choose its folder.";
}

void BridgePort::WriteError(std::optional<int> intControl, const std::string& strError)
{
    const std::string strLine = JsonText::Object().Text("error", core::FromUtf8(strError)).Str();
    m_output(intControl ? Tagged(*intControl, strLine) : strLine);
}

void BridgePort::HandleMessage(const std::string& strMessage)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_bAsking) {
        // Handled once the user has answered, in their order.
        m_held.emplace_back(strMessage);
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(strMessage), &error);
    if (!document.isObject()) {
        WriteError(std::nullopt, error.error != QJsonParseError::NoError
                                     ? "not JSON: " + error.errorString().toStdString()
                                     : "a message must be one JSON object");
        return;
    }
    QJsonObject message = document.object();
    const QJsonValue control = message.value("control");
    const std::optional<int> intControl =
        control.isDouble() && control.toDouble() == control.toInt() && control.toInt() > 0
            ? std::optional<int>(control.toInt())
            : std::nullopt;
    // The origin is the extension's, from its port; it never changes for a port.
    const std::string strOrigin = message.value("origin").toString().toStdString();
    if (!m_strOrigin) {
        m_strOrigin = strOrigin;
    }
    if (strOrigin.empty() || strOrigin != *m_strOrigin) {
        WriteError(intControl, "the message does not come from this port's page");
        return;
    }
    if (!intControl) {
        WriteError(std::nullopt, "a message names its control by a positive number");
        return;
    }
    if (message.contains("open")) {
        Open(*intControl, message);
        return;
    }
    const auto found = m_controls.find(*intControl);
    if (found == m_controls.end() || found->second->bFinished) {
        WriteError(intControl, "no open control has this number");
        return;
    }
    if (message.contains("close")) {
        Close(*intControl);
        return;
    }
    message.remove("control");
    message.remove("origin");
    message.remove("page");
    found->second->pProtocol->Enqueue(message, strMessage);
}

BridgePort::Access BridgePort::Decide(const std::function<bool()>& ask, std::string& strWhy)
{
    if (m_access == Access::Denied) {
        strWhy = m_strDenied;
    }
    if (m_access != Access::Unknown) {
        return m_access;
    }
    const std::optional<std::string> strNormal = OriginPermissions::Normalize(*m_strOrigin);
    const std::optional<OriginGrant> grant =
        strNormal ? OriginPermissions::Get(*strNormal) : std::nullopt;
    if (!strNormal) {
        m_strDenied = "the control serves http and https pages only, not " + *m_strOrigin;
    } else if (grant == OriginGrant::AllowedWithPageDialogs) {
        m_access = Access::PageDialogs;
    } else if (grant == OriginGrant::Denied) {
        m_strDenied = "the user did not allow " + *strNormal + " to download files";
    } else if (!m_bDisplay) {
        m_strDenied = grant ? "there is no display for the control's dialogs (an origin "
                              "allowed with `pullbay bridge install --page-dialogs` answers them)"
                            : *strNormal + " is not allowed to use the control without a "
                                           "display (`pullbay bridge install --allow-origin`)";
    } else if (grant) {
        m_access = Access::Dialogs;
    } else if (ask) {
        const bool bYes = ask();
        OriginPermissions::Set(*strNormal, bYes ? OriginGrant::Allowed : OriginGrant::Denied);
        if (bYes) {
            m_access = Access::Dialogs;
        } else {
            m_strDenied = "the user did not allow " + *strNormal + " to download files";
        }
    } else {
        return Access::Unknown;  // to be asked once a control can ask
    }
    if (m_access == Access::Unknown) {
        m_access = Access::Denied;
        strWhy = m_strDenied;
    }
    return m_access;
}

void BridgePort::Open(int intControl, const QJsonObject& message)
{
    if (m_controls.count(intControl) != 0) {
        WriteError(intControl, "this control number is already open");
        return;
    }
    std::string strWhy;
    Access access = Decide({}, strWhy);
    if (access == Access::Denied) {
        m_output(Tagged(
            intControl,
            JsonText::Object().Bool("opened", false).Text("error", core::FromUtf8(strWhy)).Str()));
        return;
    }
    const QJsonObject open = message.value("open").toObject();
    auto pControl = std::make_unique<Control>();
    Control& state = *pControl;
    state.intId = intControl;
    ControlSession::Setup setup;
    if (message.value("page").isString()) {
        setup.strPageUrl = message.value("page").toString().toStdWString();
    }
    setup.strCookie = open.value("cookie").toString().toStdWString();
    // The events go to a web page: no path of this machine in them.
    setup.bLocalPaths = false;
    for (const QJsonValue& param : open.value("params").toArray()) {
        const QJsonArray pair = param.toArray();
        if (pair.size() == 2 && pair[0].isString() && pair[1].isString()) {
            setup.params.emplace_back(pair[0].toString().toStdWString(),
                                      pair[1].toString().toStdWString());
        }
    }
    setup.intWidth = Extent(open.value("width"), kDefaultWidth);
    setup.intHeight = Extent(open.value("height"), kDefaultHeight);
    const auto output = [this, pState = &state](std::string_view strLine) {
        std::string strTagged = Tagged(pState->intId, strLine);
        if (pState->bReleased) {
            m_output(strTagged);
        } else {
            pState->held.push_back(std::move(strTagged));
        }
    };
    if (access == Access::PageDialogs) {
        state.pClient =
            std::make_shared<ClientPresenter>(ClientPresenter::Mode::Client, L"", output);
        setup.pPresenter = state.pClient;
    } else {
        // The control's own dialogs, as windows over the browser.
        setup.takeDefaultPresenter = [&state](std::shared_ptr<api::IDialogPresenter> pDefault) {
            state.pDefault = std::move(pDefault);
        };
    }
    setup.pSink = std::make_shared<EventLineSink>(
        [pState = &state] {
            pState->bInitComplete = true;
            if (pState->pProtocol && pState->bReleased) {
                pState->pProtocol->SetReady();
            }
        },
        output);
    m_controls.emplace(intControl, std::move(pControl));
    if (state.session.Open(setup) != 0) {
        m_controls.erase(intControl);
        m_output(
            Tagged(intControl, JsonText::Object()
                                   .Bool("opened", false)
                                   .Text("error", L"the control could not be created (the bridge's "
                                                  L"standard error says why)")
                                   .Str()));
        return;
    }
    if (!setup.pPresenter && state.pDefault) {
        state.session.Control()
            .As<api::IPullbayControl>(api::IID_IPullbayControl)
            ->SetPresenter(state.pDefault);
    }
    state.pProtocol =
        std::make_unique<ProtocolSession>(state.session.Control(), state.pClient, output,
                                          [this, intControl] { ControlFinished(intControl); });
    if (access == Access::Unknown) {
        m_bAsking = true;
        access = Decide(
            [&] {
                const auto pAsk = state.pDefault;
                return pAsk && pAsk->ShowMessageBox(ConsentQuestion(*m_strOrigin), kCaption,
                                                    api::MessageBoxButtons::YesNo) ==
                                   api::MessageBoxAnswer::Yes;
            },
            strWhy);
        m_bAsking = false;
        if (access == Access::Denied) {
            m_controls.erase(intControl);
            m_output(Tagged(intControl, JsonText::Object()
                                            .Bool("opened", false)
                                            .Text("error", core::FromUtf8(strWhy))
                                            .Str()));
            HandleHeld();
            return;
        }
    }
    m_output(Tagged(intControl, JsonText::Object().Bool("opened", true).Str()));
    state.bReleased = true;
    for (const std::string& strLine : state.held) {
        m_output(strLine);
    }
    state.held.clear();
    if (state.bInitComplete) {
        state.pProtocol->SetReady();
    }
    HandleHeld();
}

void BridgePort::HandleHeld()
{
    std::vector<std::optional<std::string>> held = std::move(m_held);
    m_held.clear();
    for (const std::optional<std::string>& strMessage : held) {
        if (strMessage) {
            HandleMessage(*strMessage);
        } else {
            HandleEnd();
        }
    }
}

void BridgePort::Close(int intControl)
{
    m_controls.at(intControl)->pProtocol->EnqueueEnd();
}

void BridgePort::ControlFinished(int intControl)
{
    const auto found = m_controls.find(intControl);
    if (found == m_controls.end() || found->second->bFinished) {
        return;
    }
    found->second->bFinished = true;
    m_output(Tagged(intControl, JsonText::Object().Bool("closed", true).Str()));
    // Not from inside the session's own call.
    QTimer::singleShot(0, [this, intControl] {
        m_controls.erase(intControl);
        FinishIfDone();
    });
}

void BridgePort::HandleEnd()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_bAsking) {
        m_held.emplace_back(std::nullopt);  // after the open in question
        return;
    }
    if (m_bEnded) {
        return;
    }
    m_bEnded = true;
    std::vector<int> open;
    for (const auto& [intControl, pControl] : m_controls) {
        if (!pControl->bFinished) {
            open.push_back(intControl);
        }
    }
    for (const int intControl : open) {
        const auto found = m_controls.find(intControl);
        if (found != m_controls.end() && found->second->pProtocol) {
            found->second->pProtocol->EnqueueEnd();
        }
    }
    FinishIfDone();
}

void BridgePort::FinishIfDone()
{
    if (!m_bEnded || m_bFinished) {
        return;
    }
    for (const auto& [intControl, pControl] : m_controls) {
        if (!pControl->bFinished) {
            return;
        }
    }
    m_bFinished = true;
    m_onFinished();
}

}  // namespace pullbay::host
