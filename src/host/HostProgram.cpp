#include "host/HostProgram.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "control/IPullbayControl.h"
#include "control/PolicyPresenter.h"
#include "control/Pullbay.h"
#include "core/TextUnits.h"
#include "host/CommandLine.h"
#include "host/ControlLoader.h"
#include "host/HostClientSite.h"
#include "host/JsonText.h"
#include "host/NamingPropertyBag.h"
#include "host/RunEventSink.h"

namespace pullbay::host {

namespace {

constexpr const char* kVersionText = "pullbay 7.0.2";

struct EventDescription {
    control::EventId id;
    const char* pArguments;
};

constexpr EventDescription kEvents[] = {
    {control::EventId::DownloadComplete, "(I4 result)"},
    {control::EventId::DownloadItemComplete,
     "(I4 result, BSTR page, BSTR url, BSTR fileName, BSTR mimeType, I4 fileSize)"},
    {control::EventId::DownloadStep, "(I4 step)"},
    {control::EventId::InitComplete, "()"},
    {control::EventId::Progress, "(UI4 percentTotal, UI4 percentCurrent, I4 index)"},
    {control::EventId::Error,
     "(I4 code, BSTR description, I4 httpCode, BSTR page, BSTR url, I4 index)"},
    {control::EventId::DownloadFileCountChange, "()"},
};

const char* TypeName(com::VarType type)
{
    switch (type) {
    case com::VarType::I4:
        return "I4";
    case com::VarType::UI4:
        return "UI4";
    case com::VarType::R8:
        return "R8";
    case com::VarType::BStr:
        return "BSTR";
    case com::VarType::Bool:
        return "BOOL";
    case com::VarType::Empty:
        break;
    }
    return "VARIANT";
}

const char* KindName(com::MemberKind kind)
{
    switch (kind) {
    case com::MemberKind::Method:
        return "method";
    case com::MemberKind::PropertyGet:
        return "propget";
    case com::MemberKind::PropertyPut:
        return "propput";
    }
    return "?";
}

std::string HexId(com::DISPID dispid)
{
    char buffer[16] = {};
    const auto [pEnd, error] =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint32_t>(dispid), 16);
    (void)error;
    return "0x" + std::string(buffer, pEnd);
}

bool NoDisplay()
{
    const char* pDisplay = std::getenv("DISPLAY");
    const char* pWayland = std::getenv("WAYLAND_DISPLAY");
    return (pDisplay == nullptr || *pDisplay == '\0') && (pWayland == nullptr || *pWayland == '\0');
}

// The Qt application; Qt sees only the program name, never the host's options.
class Application {
public:
    Application(const std::string& strProgram, bool bHeadless)
        : m_strProgram(strProgram), m_argv{m_strProgram.data(), nullptr}
    {
        if (bHeadless) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        m_pApp = std::make_unique<QApplication>(m_argc, m_argv);
    }

private:
    std::string m_strProgram;
    int m_argc = 1;
    char* m_argv[2];
    std::unique_ptr<QApplication> m_pApp;
};

int Describe(const std::string& strProgram)
{
    Application app(strProgram, NoDisplay());
    com::ComPtr<com::IDispatch> pControl;
    std::string strError;
    if (Failed(ControlLoader::CreateControl(pControl, strError))) {
        std::cerr << "pullbay: " << strError << std::endl;
        return 1;
    }
    for (const com::MemberInfo& member : pControl->GetTypeInfo()) {
        std::cout << core::ToUtf8(member.strName) << ' ' << HexId(member.dispid) << ' '
                  << KindName(member.kind) << " (";
        for (std::size_t i = 0; i < member.parameters.size(); ++i) {
            std::cout << (i > 0 ? ", " : "") << TypeName(member.parameters[i].type) << ' '
                      << core::ToUtf8(member.parameters[i].strName);
        }
        std::cout << ") -> "
                  << (member.result == com::VarType::Empty ? "void" : TypeName(member.result)) << '\n';
    }
    for (const EventDescription& event : kEvents) {
        std::cout << "event " << core::ToUtf8(RunEventSink::EventName(static_cast<com::DISPID>(event.id)))
                  << ' ' << HexId(static_cast<com::DISPID>(event.id)) << ' ' << event.pArguments << '\n';
    }
    std::cout.flush();
    return 0;
}

int Run(const std::string& strProgram, const HostOptions& options)
{
    const bool bHeadless = options.bHeadless || NoDisplay();
    std::wstring strDestination;
    if (options.strDest) {
        // The folder browser answers only an existing folder; a --dest that
        // does not exist yet is created rather than failing every file.
        std::error_code error;
        const std::filesystem::path dest = std::filesystem::absolute(*options.strDest, error);
        if (!error) {
            std::filesystem::create_directories(dest, error);
        }
        if (error || !std::filesystem::is_directory(dest)) {
            std::cerr << "pullbay: --dest is not a usable folder: " << *options.strDest << std::endl;
            return HostProgram::kExitUsage;
        }
        std::filesystem::path normal = dest.lexically_normal();
        if (!normal.has_filename() && normal.has_parent_path() && normal != normal.root_path()) {
            normal = normal.parent_path();  // "out/" names the folder "out"
        }
        strDestination = core::FromUtf8(normal.string());
    }
    Application app(strProgram, bHeadless);

    com::ComPtr<com::IDispatch> pControl;
    std::string strError;
    if (Failed(ControlLoader::CreateControl(pControl, strError))) {
        std::cerr << "pullbay: " << strError << std::endl;
        return 2;
    }
    auto pHost = pControl.As<control::IPullbayControl>(control::IID_IPullbayControl);
    auto pPersist = pControl.As<com::IPersistPropertyBag>(com::IID_IPersistPropertyBag);
    auto pPoints = pControl.As<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer);
    if (!pHost || !pPersist || !pPoints) {
        std::cerr << "pullbay: the control lacks a host interface" << std::endl;
        return 2;
    }

    pHost->SetClientSite(std::make_shared<HostClientSite>(options.strPageUrl, options.strCookie));
    auto pPresenter = std::make_shared<control::PolicyPresenter>();
    pPresenter->SetFolder(strDestination);
    if (options.bEvents) {
        // stdout carries JSON only.
        pPresenter->SetNotice([](const std::wstring& strFolder) {
            std::cout << "{\"notice\":\"OpenFolder\",\"folder\":" << JsonText::Quote(strFolder) << '}'
                      << std::endl;
        });
    }
    pHost->SetPresenter(pPresenter);

    NamingPropertyBag bag;
    for (const auto& [strName, strValue] : options.params) {
        bag.Write(strName, com::Variant::FromString(com::NullableString(strValue)));
    }
    const HRESULT hrLoad = pPersist->Load(&bag);
    if (Failed(hrLoad)) {
        const std::string strName = core::ToUtf8(bag.LastReadName());
        std::cerr << "pullbay: the control refused --param " << (strName.empty() ? "(unknown)" : strName)
                  << " (" << HexId(hrLoad) << ')' << std::endl;
        return HostProgram::kExitUsage;
    }
    // The control skips names it does not know and values it cannot convert;
    // say so rather than let a mistyped param pass unnoticed.
    for (const std::wstring& strName : bag.UnreadNames()) {
        std::cerr << "pullbay: --param " << core::ToUtf8(strName)
                  << " ignored: no such property or the value does not convert" << std::endl;
    }

    auto pSink = std::make_shared<RunEventSink>(options.bEvents, strDestination);
    std::uint32_t uintCookie = 0;
    pPoints->Advise(control::Pullbay::kIidEvents, pSink, uintCookie);

    QWidget window;
    window.resize(400, 300);
    pHost->CreateControlWindow(&window);
    if (!bHeadless) {
        window.show();
    }

    com::DISPID dispidAdd = 0;
    com::DISPID dispidDownload = 0;
    pControl->GetIDsOfNames(L"DownloadFileAdd", dispidAdd);
    pControl->GetIDsOfNames(L"Download", dispidDownload);
    for (const AddedFile& file : options.files) {
        com::Variant index;
        const HRESULT hr = pControl->Invoke(
            dispidAdd, com::kDispatchMethod,
            {com::Variant::FromString(com::NullableString(file.strMimeType)), com::Variant::FromI4(file.intFileSize),
             com::Variant::FromString(com::NullableString(file.strFileName)),
             com::Variant::FromString(com::NullableString(file.strUrl))},
            &index);
        if (Failed(hr) || index.IsEmpty()) {
            std::cerr << "pullbay: not added: " << core::ToUtf8(file.strUrl) << " (" << HexId(hr) << ')'
                      << std::endl;
        }
    }

    bool bStarted = true;
    QTimer::singleShot(0, [&]() {
        const HRESULT hr = pControl->Invoke(dispidDownload, com::kDispatchMethod, {}, nullptr);
        if (Failed(hr) && !pSink->Completion()) {
            std::cerr << "pullbay: Download failed (" << HexId(hr) << ')' << std::endl;
            bStarted = false;
            QCoreApplication::quit();
        }
    });
    QCoreApplication::exec();

    pHost->DestroyControlWindow();
    pPoints->Unadvise(control::Pullbay::kIidEvents, uintCookie);

    const std::vector<std::wstring> lines = pSink->LogLines();
    std::ostream& logOut = options.bEvents ? std::cerr : std::cout;
    for (const std::wstring& strLine : lines) {
        logOut << core::ToUtf8(strLine) << '\n';
    }
    logOut.flush();
    if (options.bEvents) {
        std::string strLog = "{\"log\":[";
        for (std::size_t i = 0; i < lines.size(); ++i) {
            strLog += (i > 0 ? "," : "") + JsonText::Quote(lines[i]);
        }
        std::cout << strLog << "]}" << std::endl;
    }
    return bStarted ? pSink->ExitCode() : 2;
}

int CallEntryPoint(const char* pName)
{
    std::string strError;
    if (Failed(ControlLoader::CallModuleEntryPoint(pName, strError))) {
        std::cerr << "pullbay: " << strError << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace

int HostProgram::Main(const std::string& strProgram, const std::vector<std::string>& arguments)
{
    const ParseResult parsed = ParseCommandLine(arguments);
    if (!parsed.Ok()) {
        std::cerr << "pullbay: " << parsed.strError << "\n\n" << UsageText();
        return kExitUsage;
    }
    switch (parsed.options.command) {
    case Command::Help:
        std::cout << UsageText();
        return 0;
    case Command::Version:
        std::cout << kVersionText << std::endl;
        return 0;
    case Command::Register:
        return CallEntryPoint("DllRegisterServer");
    case Command::Unregister:
        return CallEntryPoint("DllUnregisterServer");
    case Command::Describe:
        return Describe(strProgram);
    case Command::Run:
        return Run(strProgram, parsed.options);
    }
    return kExitUsage;
}

}  // namespace pullbay::host
