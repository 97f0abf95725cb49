#include "host/cli/HostProgram.h"

#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "core/Exception.h"
#include "core/TextUnits.h"
#include "core/Version.h"
#include "host/cli/BridgeCommand.h"
#include "host/cli/CommandLine.h"
#include "host/cli/RunEventSink.h"
#include "host/cli/RunPresenter.h"
#include "host/cli/RuntimeFolder.h"
#include "host/cli/SignalWatch.h"
#include "host/demo/BrowserDemo.h"
#include "host/demo/DemoServer.h"
#include "host/page/HostPageSetup.h"
#include "host/protocol/ClientPresenter.h"
#include "host/protocol/EventLineSink.h"
#include "host/protocol/JsonLineWriter.h"
#include "host/protocol/JsonText.h"
#include "host/protocol/ServeSession.h"
#include "host/session/ControlLoader.h"
#include "host/session/ControlSession.h"
#include "host/session/FolderText.h"
#include "host/session/HexText.h"
#include "host/session/TerminalText.h"
#include "pullbay/Display.h"
#include "pullbay/Events.h"
#include "pullbay/Identity.h"

namespace pullbay::host {

namespace {

// Where a headless demo puts its files unless --dest says otherwise.
constexpr const char* kDemoFolder = "./pullbay-demo-downloads";
// What run and demo give the control unless a param names the property:
// - TimeOut: the control's own default (0) waits for a stalled server for
//   ever, and a command must end;
// - ParallelDownloads: a command fetches several files of a server at once;
// - RetryAfterLimit: a server that asks for a short pause gets it, where the
//   control's own default (0) fails the file.
constexpr std::pair<const wchar_t*, const wchar_t*> kRunDefaults[] = {
    {L"TimeOut", L"60000"},
    {L"ParallelDownloads", L"6"},
    {L"RetryAfterLimit", L"60"},
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
    // Before Qt starts, which reads the environment once.
    RuntimeFolder m_runtimeFolder;
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
        std::cerr << "pullbay: " << TerminalText::Of(strError) << std::endl;
        return 1;
    }
    for (const com::MemberInfo& member : pControl->GetTypeInfo()) {
        std::cout << core::ToUtf8(member.strName) << ' ' << HexText(member.dispid) << ' '
                  << KindName(member.kind) << " (";
        for (std::size_t i = 0; i < member.parameters.size(); ++i) {
            std::cout << (i > 0 ? ", " : "") << TypeName(member.parameters[i].type) << ' '
                      << core::ToUtf8(member.parameters[i].strName);
        }
        std::cout << ") -> "
                  << (member.result == com::VarType::Empty ? "void" : TypeName(member.result))
                  << '\n';
    }
    for (const api::EventDescription& event : api::kEvents) {
        std::cout << "event " << core::ToUtf8(event.strName) << ' '
                  << HexText(static_cast<com::DISPID>(event.id)) << " (";
        for (std::size_t i = 0; i < event.parameters.size(); ++i) {
            std::cout << (i > 0 ? ", " : "") << TypeName(event.parameters[i].type) << ' '
                      << core::ToUtf8(event.parameters[i].strName);
        }
        std::cout << ")\n";
    }
    std::cout.flush();
    return 0;
}

// The --dest folder as an absolute, normal path, created when missing; the
// folder browser answers only an existing folder, so a --dest that does not
// exist yet is created rather than failing every file. False when unusable.
bool PrepareDestination(const std::optional<std::string>& strDest, std::wstring& strFolder)
{
    strFolder.clear();
    if (!strDest) {
        return true;
    }
    std::error_code error;
    const std::filesystem::path dest = std::filesystem::absolute(*strDest, error);
    if (!error) {
        std::filesystem::create_directories(dest, error);
    }
    if (error || !std::filesystem::is_directory(dest)) {
        std::cerr << "pullbay: --dest is not a usable folder: " << TerminalText::Of(*strDest)
                  << std::endl;
        return false;
    }
    strFolder = FolderText(dest);
    return true;
}

// What run and serve settle before Qt starts.
struct HostStart {
    bool bHeadless = false;
    std::wstring strDestination;
    ControlSession::Setup setup;
};

// The control's setup from the host options: the page's object (when --page
// names one) and the --params over it. 0, or the exit code of a failure.
int PrepareSetup(const HostOptions& options, ControlSession::Setup& setup)
{
    setup.strPageUrl = options.strPageUrl;
    setup.strCookie = options.strCookie;
    if (options.strPage) {
        const int intExit = HostPageSetup::Apply(*options.strPage, options.strCookie, setup);
        if (intExit != 0) {
            return intExit;
        }
        if (options.strPageUrl) {
            setup.strPageUrl = options.strPageUrl;  // an explicit address wins
        }
    }
    setup.params.insert(setup.params.end(), options.params.begin(), options.params.end());
    return 0;
}

// The run's defaults in front of the params, each unless one of them (from
// the page or the command line, any case, any value: 0 too) names it.
void AddRunDefaults(std::vector<std::pair<std::wstring, std::wstring>>& params)
{
    std::vector<std::pair<std::wstring, std::wstring>> defaults;
    for (const auto& entry : kRunDefaults) {
        const wchar_t* const strName = entry.first;
        const bool bNamed = std::any_of(params.begin(), params.end(), [strName](const auto& param) {
            return core::EqualsIgnoreAsciiCase(param.first, strName);
        });
        if (!bNamed) {
            defaults.emplace_back(strName, entry.second);
        }
    }
    params.insert(params.begin(), defaults.begin(), defaults.end());
}

// Headless or not, the --dest folder and the setup; 0 or the exit code.
int PrepareStart(const HostOptions& options, HostStart& start)
{
    start.bHeadless = options.bHeadless || NoDisplay();
    if (!PrepareDestination(options.strDest, start.strDestination)) {
        return HostProgram::kExitUsage;
    }
    return PrepareSetup(options, start.setup);
}

// Adds the --add files to the control's list; a file the control refuses is
// reported with the control's reason, left out and counted as a file not
// downloaded.
// The sink learns the confirmed list and the chosen folder from the
// presenter; each holds the other weakly, so neither keeps the other alive.
void TieSinkToPresenter(const std::shared_ptr<RunEventSink>& pSink,
                        const std::shared_ptr<RunPresenter>& pPresenter)
{
    pPresenter->SetConfirmed(
        [pWeakSink = std::weak_ptr<RunEventSink>(pSink)](const api::ConfirmationRequest& request,
                                                         const api::ConfirmationAnswer& answer) {
            if (const auto pSinkNow = pWeakSink.lock()) {
                pSinkNow->ListConfirmed(request.rows, answer.checked);
            }
        });
    pSink->SetFolder([pWeakPresenter = std::weak_ptr<RunPresenter>(pPresenter)] {
        const auto pPresenterNow = pWeakPresenter.lock();
        return pPresenterNow ? pPresenterNow->ChosenFolder() : std::wstring();
    });
}

void AddFiles(ControlSession& session, const std::vector<AddedFile>& files, RunEventSink& sink)
{
    for (const AddedFile& file : files) {
        sink.TakeRefusal();
        com::Variant index;
        const HRESULT hr =
            session.Call(L"DownloadFileAdd",
                         {com::Variant::FromString(com::NullableString(file.strMimeType)),
                          com::Variant::FromI4(file.intFileSize),
                          com::Variant::FromString(com::NullableString(file.strFileName)),
                          com::Variant::FromString(com::NullableString(file.strUrl))},
                         &index);
        if (Failed(hr) || index.IsEmpty()) {
            // A duplicate is left out without an Error event.
            const std::optional<std::wstring> reason = sink.TakeRefusal();
            std::string strReason = "the same URL and name is already listed";
            if (Failed(hr)) {
                strReason = "the call failed (" + HexText(hr) + ")";
            } else if (reason && *reason == file.strUrl) {
                // The control names a URL it refuses by the URL alone.
                strReason = "not an http or https URL (absolute, or relative to --page-url)";
            } else if (reason) {
                strReason = TerminalText::Of(*reason);
            }
            std::cerr << "pullbay: not added: " << TerminalText::Of(file.strUrl) << ": "
                      << strReason << std::endl;
            sink.CountRefusedFile();
        }
    }
}

// Calls Download once from the event loop and returns when the run has
// ended (dialogs included); false when the call failed before any outcome,
// or a signal came before it.
bool DownloadOnce(ControlSession& session, const RunEventSink& sink)
{
    bool bStarted = true;
    QTimer::singleShot(0, [&]() {
        if (session.Cancelled()) {
            bStarted = false;
            QCoreApplication::quit();
            return;
        }
        const HRESULT hr = session.Call(L"Download", {});
        if (Failed(hr) && !sink.Completion()) {
            std::cerr << "pullbay: Download failed (" << HexText(hr) << ')' << std::endl;
            bStarted = false;
        }
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return bStarted;
}

// Downloads once: at once, or, with a page window on a display, when the
// person clicks the control's button. False when no run took place.
bool RunOnce(ControlSession& session, const RunEventSink& sink, bool bWaitForClick)
{
    if (!bWaitForClick) {
        return DownloadOnce(session, sink);
    }
    return session.WaitForClickedRun([&sink] { return sink.Completion().has_value(); });
}

// GUI thread: what a first signal does to run and demo. The run ends
// through its usual end, and the command then exits with the signal's code.
void CancelOnSignal(ControlSession& session)
{
    session.CancelRun();
}

int Run(const std::string& strProgram, const HostOptions& options)
{
    HostStart start;
    if (const int intExit = PrepareStart(options, start); intExit != 0) {
        return intExit;
    }
    const bool bHeadless = start.bHeadless;
    const std::wstring& strDestination = start.strDestination;
    ControlSession::Setup& setup = start.setup;
    AddRunDefaults(setup.params);
    Application app(strProgram, bHeadless);

    const bool bTerminal = ::isatty(STDERR_FILENO) == 1;
    auto pSink = std::make_shared<RunEventSink>(options.bEvents, bTerminal);
    auto pPresenter =
        std::make_shared<RunPresenter>(api::DisplayPresent(), bTerminal, strDestination);
    if (options.bEvents) {
        // stdout carries JSON only.
        pPresenter->SetNotice([](const std::wstring& strFolder) {
            JsonLineWriter::Write(
                JsonText::Object().Text("notice", L"OpenFolder").Text("folder", strFolder).Str());
        });
    }
    TieSinkToPresenter(pSink, pPresenter);
    setup.pPresenter = pPresenter;
    setup.takeDefaultPresenter = [pPresenter](std::shared_ptr<api::IDialogPresenter> pDefault) {
        pPresenter->SetDefault(std::move(pDefault));
    };
    setup.pSink = pSink;
    setup.bShowWindow = api::DisplayPresent();
    // Standing in for a page, the host shows it on a display.
    setup.bPageWindow = options.strPage && setup.bShowWindow;
    ControlSession session;
    if (const int intExit = session.Open(setup); intExit != 0) {
        return intExit;
    }
    AddFiles(session, options.files, *pSink);
    const SignalWatch watch(session.TemporaryFolder(),
                            [&session](int) { CancelOnSignal(session); });
    const bool bStarted = RunOnce(session, *pSink, setup.bPageWindow && !options.bDownloadAtOnce);
    const int intSignal = watch.Received();

    const std::vector<std::wstring> lines = session.DownloadLog();
    std::ostream& logOut = options.bEvents ? std::cerr : std::cout;
    for (const std::wstring& strLine : lines) {
        logOut << TerminalText::Of(strLine) << '\n';
    }
    logOut.flush();
    if (options.bEvents) {
        std::vector<std::string> quoted;
        for (const std::wstring& strLine : lines) {
            quoted.push_back(JsonText::Quote(strLine));
        }
        JsonLineWriter::Write(JsonText::Object().Raw("log", JsonText::Array(quoted)).Str());
    }
    if (!bStarted) {
        if (intSignal != 0) {
            std::cerr << "pullbay: stopped by a signal before the download began" << std::endl;
            return SignalWatch::ExitCode(intSignal);
        }
        if (setup.bPageWindow && !pSink->Completion()) {
            std::cerr << "pullbay: the page was closed without a download" << std::endl;
        }
        return 2;
    }
    // A FileList param the control did not take (a file:// URL, user info)
    // is named as such.
    std::wstring strListGiven;
    for (const auto& [strName, strValue] : setup.params) {
        if (core::EqualsIgnoreAsciiCase(strName, L"FileList")) {
            strListGiven = strValue;
        }
    }
    const bool bListNamed = !session.GetText(L"FileList").value_or(L"").empty();
    RunEventSink::RefusedList refused = RunEventSink::RefusedList::None;
    if (!strListGiven.empty() && !bListNamed) {
        refused =
            core::EqualsIgnoreAsciiCase(std::wstring_view(strListGiven).substr(0, 5), L"file:")
                ? RunEventSink::RefusedList::LocalFile
                : RunEventSink::RefusedList::NotAccepted;
    }
    const std::string strEnd = pSink->EndReason(!strDestination.empty(), bListNamed, refused);
    std::cerr << (strEnd.empty() ? pSink->Summary(pPresenter->ChosenFolder()) : strEnd)
              << std::endl;
    // A signal during the end (after the run) still decides the code.
    const int intLateSignal = watch.Received();
    return intLateSignal != 0 ? SignalWatch::ExitCode(intLateSignal) : pSink->ExitCode();
}

int Serve(const std::string& strProgram, const HostOptions& options)
{
    HostStart start;
    if (const int intExit = PrepareStart(options, start); intExit != 0) {
        return intExit;
    }
    const bool bHeadless = start.bHeadless;
    const std::wstring& strDestination = start.strDestination;
    ControlSession::Setup& setup = start.setup;
    Application app(strProgram, bHeadless);

    // The client answers the dialogs of a headless host unless --dialogs says
    // otherwise; with a display the dialogs that have windows show them.
    std::shared_ptr<ClientPresenter> pClient;
    if (options.dialogs == DialogMode::Client ||
        (options.dialogs == DialogMode::Default && !api::DisplayPresent())) {
        pClient = std::make_shared<ClientPresenter>(ClientPresenter::Mode::Client, strDestination);
        setup.pPresenter = pClient;
    } else if (options.dialogs == DialogMode::Auto) {
        pClient = std::make_shared<ClientPresenter>(ClientPresenter::Mode::Auto, strDestination);
        setup.pPresenter = pClient;
    } else {
        auto pPresenter = std::make_shared<RunPresenter>(true, false, strDestination);
        setup.pPresenter = pPresenter;
        setup.takeDefaultPresenter = [pPresenter](std::shared_ptr<api::IDialogPresenter> pDefault) {
            pPresenter->SetDefault(std::move(pDefault));
        };
    }
    std::unique_ptr<ServeSession> pServe;
    bool bInitComplete = false;
    setup.pSink = std::make_shared<EventLineSink>([&] {
        bInitComplete = true;
        if (pServe) {
            pServe->SetReady();
        }
    });
    setup.bShowWindow = api::DisplayPresent();
    ControlSession session;
    if (const int intExit = session.Open(setup); intExit != 0) {
        return intExit;
    }
    pServe = std::make_unique<ServeSession>(session.Control(), pClient);
    if (bInitComplete) {
        pServe->SetReady();
    }
    // A signal ends the session as the end of input does: the running
    // download skips the rest, its remaining events and its reply are sent,
    // then the program exits with the signal's code.
    const SignalWatch watch(session.TemporaryFolder(), [&](int intSignal) {
        session.CancelRun();
        pServe->Interrupt(SignalWatch::ExitCode(intSignal));
    });
    pServe->Start();
    return pServe->Exec();
}

// The demo: a loopback server with a generated file list, and one run of the
// control against it. The list holds a missing file and a wrong type on
// purpose, so a run that completed is a success here whatever those did.
int Demo(const std::string& strProgram, const HostOptions& options)
{
    if (options.bBrowser) {
        return BrowserDemo::Run();
    }
    const bool bHeadless = options.bHeadless || NoDisplay();
    std::optional<std::string> strDest = options.strDest;
    if (!strDest && bHeadless) {
        strDest = kDemoFolder;
    }
    std::wstring strDestination;
    if (!PrepareDestination(strDest, strDestination)) {
        return HostProgram::kExitUsage;
    }
    // Before the demo server's threads.
    SignalWatch::Block();
    DemoServer server;
    try {
        server.Start();
    } catch (const core::Exception& failure) {
        std::cerr << "pullbay: the demo server cannot start: "
                  << TerminalText::Of(failure.GetMessage()) << std::endl;
        return 2;
    }
    std::cerr << "pullbay: demo file list at " << server.ListUrl() << std::endl;
    Application app(strProgram, bHeadless);

    const bool bTerminal = ::isatty(STDERR_FILENO) == 1;
    auto pSink = std::make_shared<RunEventSink>(false, bTerminal);
    auto pPresenter =
        std::make_shared<RunPresenter>(api::DisplayPresent(), bTerminal, strDestination);
    ControlSession::Setup setup;
    setup.strPageUrl = core::FromUtf8(server.BaseUrl() + "/");
    setup.params = {{L"FileList", core::FromUtf8(server.ListUrl())}};
    AddRunDefaults(setup.params);
    TieSinkToPresenter(pSink, pPresenter);
    setup.pPresenter = pPresenter;
    setup.takeDefaultPresenter = [pPresenter](std::shared_ptr<api::IDialogPresenter> pDefault) {
        pPresenter->SetDefault(std::move(pDefault));
    };
    setup.pSink = pSink;
    setup.bShowWindow = api::DisplayPresent();
    setup.strTitle = L"Pullbay demo";
    // The size a page gives a download button.
    setup.intWidth = 240;
    setup.intHeight = 48;
    setup.bPageWindow = setup.bShowWindow;
    ControlSession session;
    if (const int intExit = session.Open(setup); intExit != 0) {
        return intExit;
    }
    const SignalWatch watch(session.TemporaryFolder(),
                            [&session](int) { CancelOnSignal(session); });
    if (!RunOnce(session, *pSink, setup.bPageWindow && !options.bDownloadAtOnce)) {
        if (watch.Received() != 0) {
            std::cout << "The demo was stopped by a signal before its download." << std::endl;
            return SignalWatch::ExitCode(watch.Received());
        }
        std::cout << "The demo page was closed without a download." << std::endl;
        return 2;
    }
    for (const std::wstring& strLine : session.DownloadLog()) {
        std::cout << TerminalText::Of(strLine) << '\n';
    }
    if (const int intSignal = watch.Received(); intSignal != 0) {
        std::cout.flush();
        std::cerr << pSink->Summary(pPresenter->ChosenFolder()) << std::endl;
        return SignalWatch::ExitCode(intSignal);
    }
    const std::optional<std::int32_t> completion = pSink->Completion();
    if (completion && *completion == api::CompletionSuccess) {
        const std::wstring strFolder = pPresenter->ChosenFolder();
        std::cout << "\nThe downloaded files are in "
                  << (strFolder.empty() ? std::string("the chosen folder")
                                        : TerminalText::Of(strFolder))
                  << std::endl;
        return 0;
    }
    std::cout << "\nThe demo run ended early (DownloadComplete " << (completion ? *completion : -1)
              << ")." << std::endl;
    std::cerr << pSink->EndReason(!strDestination.empty(), true) << std::endl;
    return 2;
}

int CallEntryPoint(const char* pName)
{
    std::string strError;
    if (Failed(ControlLoader::CallModuleEntryPoint(pName, strError))) {
        std::cerr << "pullbay: " << TerminalText::Of(strError) << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace

int HostProgram::Main(const std::string& strProgram, const std::vector<std::string>& arguments)
{
    if (BridgeCommand::Handles(arguments)) {
        return BridgeCommand::Main(strProgram, arguments);
    }
    const ParseResult parsed = ParseCommandLine(arguments);
    if (!parsed.Ok()) {
        std::cerr << "pullbay: " << TerminalText::Of(parsed.strError) << "\n\n" << UsageText();
        return kExitUsage;
    }
    switch (parsed.options.command) {
    case Command::Help:
        std::cout << UsageText();
        return 0;
    case Command::Version:
        std::cout << "pullbay " << core::kVersionText << std::endl;
        return 0;
    case Command::Register:
        return CallEntryPoint("DllRegisterServer");
    case Command::Unregister:
        return CallEntryPoint("DllUnregisterServer");
    case Command::Describe:
        return Describe(strProgram);
    case Command::Run:
        // Before any thread exists (Qt's, the control's): SignalWatch.
        SignalWatch::Block();
        return Run(strProgram, parsed.options);
    case Command::Serve:
        SignalWatch::Block();
        return Serve(strProgram, parsed.options);
    case Command::Demo:
        return Demo(strProgram, parsed.options);
    }
    return kExitUsage;
}

}  // namespace pullbay::host
