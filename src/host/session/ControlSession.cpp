#include "host/session/ControlSession.h"

#include <QCoreApplication>
#include <QTimer>

#include <iostream>

#include "core/TextUnits.h"
#include "host/session/ControlLoader.h"
#include "host/session/HexText.h"
#include "host/session/HostClientSite.h"
#include "host/session/NamingPropertyBag.h"
#include "host/session/PageWindow.h"
#include "host/session/TerminalText.h"
#include "pullbay/Identity.h"

namespace pullbay::host {
namespace {

// How often a page waiting for its run looks whether the run is over.
constexpr int kRunOverPollMs = 50;

}  // namespace

ControlSession::~ControlSession()
{
    CloseWindow();
    if (m_bAdvised) {
        m_pPoints->Unadvise(api::DIID_PullbayEvents, m_uintCookie);
    }
    // The control's window before the page that holds it.
    m_pWindow.reset();
    m_pPage.reset();
}

int ControlSession::Open(const Setup& setup)
{
    std::string strError;
    if (Failed(ControlLoader::CreateControl(m_pControl, strError))) {
        std::cerr << "pullbay: " << TerminalText::Of(strError) << std::endl;
        return 2;
    }
    m_pHost = m_pControl.As<api::IPullbayControl>(api::IID_IPullbayControl);
    auto pPersist = m_pControl.As<com::IPersistPropertyBag>(com::IID_IPersistPropertyBag);
    m_pPoints = m_pControl.As<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer);
    if (!m_pHost || !pPersist || !m_pPoints) {
        // A module of another build registered under the same class.
        std::cerr
            << "pullbay: the registered control module does not offer this program's host interface "
               "(another build of it? `pullbay register` registers the one beside this program)"
            << std::endl;
        return 2;
    }
    m_pHost->SetClientSite(
        std::make_shared<HostClientSite>(setup.strPageUrl, setup.strCookie, setup.bLocalPaths));
    if (setup.takeDefaultPresenter) {
        std::shared_ptr<api::IDialogPresenter> pDefault;
        m_pHost->GetDefaultPresenter(&pDefault);
        setup.takeDefaultPresenter(std::move(pDefault));
    }
    m_pHost->SetPresenter(setup.pPresenter);

    NamingPropertyBag bag;
    for (const auto& [strName, strValue] : setup.params) {
        bag.Write(strName, com::Variant::FromString(com::NullableString(strValue)));
    }
    const HRESULT hrLoad = pPersist->Load(&bag);
    if (Failed(hrLoad)) {
        const std::string strName = TerminalText::Of(bag.LastReadName());
        std::cerr << "pullbay: the control refused the param "
                  << (strName.empty() ? "(unknown)" : strName) << " (" << HexText(hrLoad) << ')'
                  << std::endl;
        return 64;
    }
    // The control skips names it does not know and values it cannot convert;
    // say so rather than let a mistyped param pass unnoticed.
    for (const std::wstring& strName : bag.UnreadNames()) {
        std::cerr << "pullbay: param " << TerminalText::Of(strName)
                  << " ignored: no such property or the value does not convert" << std::endl;
    }

    if (setup.pSink) {
        m_bAdvised =
            Succeeded(m_pPoints->Advise(api::DIID_PullbayEvents, setup.pSink, m_uintCookie));
    }
    if (setup.bPageWindow) {
        m_pPage = std::make_unique<PageWindow>(QString::fromStdWString(setup.strTitle),
                                               setup.intWidth, setup.intHeight, [this] {
                                                   m_bPageClosed = true;
                                                   CloseWindow();
                                               });
        m_pWindow = std::make_unique<QWidget>(m_pPage->ControlArea());
    } else {
        m_pWindow = std::make_unique<QWidget>();
    }
    m_pWindow->resize(setup.intWidth, setup.intHeight);
    m_pHost->CreateControlWindow(m_pWindow.get());
    if (setup.bShowWindow) {
        m_pWindow->show();
        if (m_pPage) {
            m_pPage->show();
            // The page opens with the focus on the control, hence its button.
            m_pWindow->setFocus();
        }
    }
    return 0;
}

void ControlSession::CloseWindow()
{
    if (m_pHost && !m_bWindowClosed) {
        m_bWindowClosed = true;
        m_pHost->DestroyControlWindow();
    }
}

bool ControlSession::WaitForClickedRun(const std::function<bool()>& runSeen)
{
    QTimer poll;
    poll.setInterval(kRunOverPollMs);
    // Enabled reads false while a run goes on: a run seen with the control
    // enabled again is a run that has returned.
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (m_bPageClosed || (m_bCancelled && !CancelRun()) ||
            (runSeen() && GetBool(L"Enabled").value_or(true))) {
            QCoreApplication::quit();
        }
    });
    poll.start();
    QCoreApplication::exec();
    return runSeen();
}

bool ControlSession::CancelRun()
{
    m_bCancelled = true;
    return m_pHost && m_pHost->CancelRun() == S_OK;
}

std::wstring ControlSession::TemporaryFolder()
{
    std::wstring strFolder;
    if (!m_pHost || Failed(m_pHost->GetTemporaryFolder(&strFolder))) {
        strFolder.clear();
    }
    return strFolder;
}

std::optional<bool> ControlSession::GetBool(std::wstring_view strName)
{
    com::DISPID dispid = 0;
    com::Variant value;
    if (Failed(m_pControl->GetIDsOfNames(strName, dispid)) ||
        Failed(m_pControl->Invoke(dispid, com::kDispatchPropertyGet, {}, &value)) ||
        value.Type() != com::VarType::Bool) {
        return std::nullopt;
    }
    return value.Bool();
}

std::optional<std::wstring> ControlSession::GetText(std::wstring_view strName)
{
    com::DISPID dispid = 0;
    com::Variant value;
    if (Failed(m_pControl->GetIDsOfNames(strName, dispid)) ||
        Failed(m_pControl->Invoke(dispid, com::kDispatchPropertyGet, {}, &value)) ||
        value.Type() != com::VarType::BStr) {
        return std::nullopt;
    }
    return value.String().Value();
}

HRESULT ControlSession::Call(std::wstring_view strName, std::vector<com::Variant> args,
                             com::Variant* pResult)
{
    com::DISPID dispid = 0;
    const HRESULT hr = m_pControl->GetIDsOfNames(strName, dispid);
    if (Failed(hr)) {
        return hr;
    }
    return m_pControl->Invoke(dispid, com::kDispatchMethod, std::move(args), pResult);
}

std::vector<std::wstring> ControlSession::DownloadLog()
{
    std::vector<std::wstring> lines;
    if (m_pHost) {
        m_pHost->GetDownloadLog(&lines);
    }
    return lines;
}

}  // namespace pullbay::host
