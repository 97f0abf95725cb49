// The module as a host meets it: registered into the class registry, loaded
// through it by ProgID, used through its interfaces, unloaded when idle and
// unregistered without a trace.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "control/PolicyPresenter.h"
#include "control/Pullbay.h"
#include "control/SettingsKey.h"
#include "core/TextUnits.h"
#include "platform/com/ComActivation.h"
#include "platform/com/ComInterfaces.h"
#include "platform/registry/RegistryKey.h"
#include "pullbay/Events.h"
#include "pullbay/IPullbayControl.h"
#include "support/PatternBytes.h"
#include "support/RecordingEventSink.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"
#include "support/Watchdog.h"

namespace pullbay::test {
namespace {

using com::ComPtr;
using com::Variant;
using control::Pullbay;

using EntryPoint = HRESULT (*)();

// Every key and value under the class root, as "path=type:bytes" lines.
void Snapshot(platform::RegistryKey& key, const std::wstring& strPath,
              std::map<std::wstring, std::wstring>& out)
{
    std::vector<std::wstring> values;
    key.EnumValues(values);
    for (const auto& name : values) {
        std::uint32_t uintType = 0;
        std::vector<std::uint8_t> data;
        key.QueryValue(name, uintType, data);
        out[strPath + L"=" + name] =
            std::to_wstring(uintType) + L":" + std::to_wstring(data.size());
    }
    std::vector<std::wstring> subKeys;
    key.EnumSubKeys(subKeys);
    for (const auto& name : subKeys) {
        platform::RegistryKey child;
        ASSERT_EQ(child.Open(key, name), S_OK);
        out[strPath + L"\\" + name] = L"key";
        Snapshot(child, strPath + L"\\" + name, out);
    }
}

std::map<std::wstring, std::wstring> ClassRootSnapshot()
{
    std::map<std::wstring, std::wstring> out;
    platform::RegistryKey root;
    if (root.Open(platform::RegistryRoot::ClassesRoot, L"") == S_OK) {
        Snapshot(root, L"", out);
    }
    return out;
}

// Calls one entry point of the module, loading it for the call only.
HRESULT CallEntryPoint(const char* strName)
{
    void* hModule = ::dlopen(PULLBAY_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (hModule == nullptr) {
        ADD_FAILURE() << ::dlerror();
        return E_FAIL;
    }
    auto pEntry = reinterpret_cast<EntryPoint>(::dlsym(hModule, strName));
    const HRESULT hr = pEntry != nullptr ? pEntry() : E_FAIL;
    ::dlclose(hModule);
    return hr;
}

// The module's DllCanUnloadNow while it is loaded (S_OK also when it is not).
HRESULT CanUnloadNow()
{
    void* hModule = ::dlopen(PULLBAY_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (hModule == nullptr) {
        return S_OK;
    }
    auto pEntry = reinterpret_cast<EntryPoint>(::dlsym(hModule, "DllCanUnloadNow"));
    const HRESULT hr = pEntry();
    ::dlclose(hModule);
    return hr;
}

bool IsModuleLoaded()
{
    void* hModule = ::dlopen(PULLBAY_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (hModule != nullptr) {
        ::dlclose(hModule);
    }
    return hModule != nullptr;
}

std::wstring ClassValue(const std::wstring& strSubKey, const std::wstring& strName = L"")
{
    platform::RegistryKey key;
    std::wstring strValue;
    if (key.Open(platform::RegistryRoot::ClassesRoot, strSubKey) != S_OK ||
        key.QueryStringValue(strName, strValue) != S_OK) {
        return L"<missing>";
    }
    return strValue;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A class root that already holds another class and a type library.
        platform::RegistryKey other;
        ASSERT_EQ(other.Create(platform::RegistryRoot::ClassesRoot,
                               L"CLSID\\{00000000-1111-2222-3333-444444444444}"),
                  S_OK);
        ASSERT_EQ(other.SetStringValue(L"", L"someone else"), S_OK);
        platform::RegistryKey typeLibs;
        ASSERT_EQ(typeLibs.Create(platform::RegistryRoot::ClassesRoot, L"TypeLib"), S_OK);
        before = ClassRootSnapshot();
        ASSERT_EQ(CallEntryPoint("DllRegisterServer"), S_OK);
    }
    void TearDown() override
    {
        EXPECT_EQ(CallEntryPoint("DllUnregisterServer"), S_OK);
        EXPECT_EQ(ClassRootSnapshot(), before)
            << "unregistration removes exactly what registration wrote";
    }

    ComPtr<com::IDispatch> Create()
    {
        com::Guid clsid;
        EXPECT_EQ(com::CLSIDFromProgID(L"Velmora.Pullbay.701", clsid), S_OK);
        ComPtr<com::IDispatch> pControl;
        EXPECT_EQ(com::CoCreateInstance(clsid, Pullbay::kIidIPullbay, pControl.PutVoid()), S_OK);
        return pControl;
    }

    std::map<std::wstring, std::wstring> before;
};

TEST_F(ModuleTest, RegistrationWritesTheClassKeys)
{
    const std::wstring strClass = L"CLSID\\" + Pullbay::kClsid.ToString();
    EXPECT_EQ(ClassValue(L"Velmora.Pullbay.701\\CLSID"), Pullbay::kClsid.ToString());
    EXPECT_EQ(ClassValue(L"Velmora.Pullbay.701\\CurVer"), L"Velmora.Pullbay.701.1");
    EXPECT_EQ(ClassValue(L"Velmora.Pullbay.701.1"), L"Velmora Pullbay Control");
    for (const std::wstring& strKey :
         {std::wstring(L"Velmora.Pullbay.701.1\\Insertable"), strClass + L"\\Control",
          strClass + L"\\Programmable", strClass + L"\\Insertable"}) {
        platform::RegistryKey key;
        EXPECT_EQ(key.Open(platform::RegistryRoot::ClassesRoot, strKey), S_OK) << strKey;
    }
    EXPECT_EQ(
        ClassValue(strClass + L"\\InprocServer32"),
        std::wstring(PULLBAY_MODULE_PATH, PULLBAY_MODULE_PATH + sizeof PULLBAY_MODULE_PATH - 1));
    EXPECT_EQ(ClassValue(strClass + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ClassValue(strClass, L"AppID"), L"");
    EXPECT_EQ(ClassValue(strClass + L"\\ProgID"), L"Velmora.Pullbay.701.1");
    EXPECT_EQ(ClassValue(strClass + L"\\VersionIndependentProgID"), L"Velmora.Pullbay.701");
    EXPECT_EQ(ClassValue(strClass + L"\\MiscStatus"), L"0");
    EXPECT_EQ(ClassValue(strClass + L"\\MiscStatus\\1"), L"131457");
    EXPECT_EQ(ClassValue(strClass + L"\\TypeLib"), Pullbay::kLibId.ToString());
    EXPECT_EQ(ClassValue(strClass + L"\\Version"), L"1.0");
    EXPECT_EQ(ClassValue(L"TypeLib\\" + Pullbay::kLibId.ToString() + L"\\1.0"),
              L"Velmora Pullbay Control");
    // Names compare without regard to case, as a page's lower-case classid.
    com::Guid clsid;
    ASSERT_EQ(com::CLSIDFromProgID(L"velmora.PULLBAY.701", clsid), S_OK);
    EXPECT_EQ(clsid, Pullbay::kClsid);
}

TEST_F(ModuleTest, HostCreatesTheControlByProgIdAndTheModuleUnloadsWhenIdle)
{
    {
        ComPtr<com::IDispatch> pControl = Create();
        ASSERT_TRUE(pControl);
        EXPECT_EQ(CanUnloadNow(), S_FALSE);
        com::DISPID dispid = 0;
        ASSERT_EQ(pControl->GetIDsOfNames(L"version", dispid), S_OK);
        Variant version;
        ASSERT_EQ(pControl->Invoke(dispid, com::kDispatchPropertyGet, {}, &version), S_OK);
        EXPECT_EQ(version.String().Value(), L"7, 0, 2, 0");
        // Only the four entry points leave the module.
        void* hModule = ::dlopen(PULLBAY_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(hModule, nullptr);
        EXPECT_EQ(::dlsym(hModule, "_ZN7pullbay4core16ExceptionManager10InitializeEv"), nullptr);
        for (const char* name :
             {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
            EXPECT_NE(::dlsym(hModule, name), nullptr) << name;
        }
        ::dlclose(hModule);
    }
    EXPECT_EQ(CanUnloadNow(), S_OK);
    com::CoFreeUnusedLibraries();
    EXPECT_FALSE(IsModuleLoaded());
}

TEST_F(ModuleTest, ObjectSafetyAndSite)
{
    ComPtr<com::IDispatch> pControl = Create();
    auto pSafety = pControl.As<com::IObjectSafety>(com::IID_IObjectSafety);
    ASSERT_TRUE(pSafety);
    std::uint32_t uintSupported = 9;
    std::uint32_t uintEnabled = 9;
    EXPECT_EQ(pSafety->GetInterfaceSafetyOptions(com::IID_IDispatch, nullptr, &uintEnabled),
              E_POINTER);
    ASSERT_EQ(
        pSafety->GetInterfaceSafetyOptions(Pullbay::kIidIPullbay, &uintSupported, &uintEnabled),
        S_OK);
    EXPECT_EQ(uintSupported, 3u);
    EXPECT_EQ(uintEnabled, 0u);
    EXPECT_EQ(pSafety->SetInterfaceSafetyOptions(Pullbay::kIidIPullbay, 3, 3), S_OK);
    EXPECT_EQ(pSafety->SetInterfaceSafetyOptions(com::IID_IPersistPropertyBag, 3, 3), S_OK);
    EXPECT_EQ(pSafety->SetInterfaceSafetyOptions(com::IID_IDispatch, 7, 3), E_FAIL);
    const com::Guid unknown = com::Guid::FromParts(1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11});
    EXPECT_EQ(pSafety->SetInterfaceSafetyOptions(unknown, 3, 3), E_NOINTERFACE);
    EXPECT_EQ(pSafety->GetInterfaceSafetyOptions(unknown, &uintSupported, &uintEnabled),
              E_NOINTERFACE);
    EXPECT_EQ(uintSupported, 0u);
    EXPECT_EQ(uintEnabled, 0u);
    // One set of options for the whole object; clearing one bit keeps the other.
    ASSERT_EQ(pSafety->SetInterfaceSafetyOptions(com::IID_IDispatch, 1, 0), S_OK);
    ASSERT_EQ(pSafety->GetInterfaceSafetyOptions(com::IID_IPersistStreamInit, &uintSupported,
                                                 &uintEnabled),
              S_OK);
    EXPECT_EQ(uintEnabled, 2u);

    auto pWithSite = pControl.As<com::IObjectWithSite>(com::IID_IObjectWithSite);
    ASSERT_TRUE(pWithSite);
    void* pNoSite = nullptr;
    EXPECT_EQ(pWithSite->GetSite(com::IID_IUnknown, &pNoSite), E_FAIL);
    ASSERT_EQ(pWithSite->SetSite(pControl.Get()), S_OK);  // any object serves as a site here
    ComPtr<com::IUnknown> pSite;
    ASSERT_EQ(pWithSite->GetSite(com::IID_IUnknown, pSite.PutVoid()), S_OK);
    EXPECT_TRUE(pSite);
    ASSERT_EQ(pWithSite->SetSite(nullptr), S_OK);  // breaks the cycle
}

TEST_F(ModuleTest, PropertiesEventsAndWindowThroughTheInterfaces)
{
    ComPtr<com::IDispatch> pControl = Create();
    auto pBagPersist = pControl.As<com::IPersistPropertyBag>(com::IID_IPersistPropertyBag);
    ASSERT_TRUE(pBagPersist);
    com::MemoryPropertyBag bag;
    ASSERT_EQ(
        bag.Write(L"ButtonDownloadText", Variant::FromString(com::NullableString(L"Get all"))),
        S_OK);
    ASSERT_EQ(pBagPersist->Load(&bag), S_OK);
    com::DISPID dispid = 0;
    ASSERT_EQ(pControl->GetIDsOfNames(L"ButtonDownloadText", dispid), S_OK);
    Variant text;
    ASSERT_EQ(pControl->Invoke(dispid, com::kDispatchPropertyGet, {}, &text), S_OK);
    EXPECT_EQ(text.String().Value(), L"Get all");

    auto pSink = std::make_shared<RecordingEventSink>();
    auto pEvents = pControl.As<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer);
    std::uint32_t uintCookie = 0;
    ASSERT_EQ(pEvents->Advise(Pullbay::kIidEvents, pSink, uintCookie), S_OK);
    EXPECT_EQ(pEvents->Advise(com::IID_IDispatch, pSink, uintCookie), com::CONNECT_E_NOCONNECTION);

    auto pHostSide = pControl.As<api::IPullbayControl>(api::IID_IPullbayControl);
    ASSERT_TRUE(pHostSide);
    QWidget window;
    ASSERT_EQ(pHostSide->CreateControlWindow(&window), S_OK);
    EXPECT_EQ(pSink->Count(api::EventId::InitComplete), 1);
    ASSERT_EQ(pHostSide->DestroyControlWindow(), S_OK);
}

TEST_F(ModuleTest, AHostRunsAWholeDownloadThroughTheInterfaces)
{
    TestHttpServer server;
    server.Route("/hello.txt", HttpResponse::Text(200, "hello"));
    const std::filesystem::path destination =
        std::filesystem::path(std::getenv("TMPDIR")) / "module-run";
    std::filesystem::create_directories(destination);

    ComPtr<com::IDispatch> pControl = Create();
    auto pHostSide = pControl.As<api::IPullbayControl>(api::IID_IPullbayControl);
    auto pPresenter = std::make_shared<control::PolicyPresenter>();
    pPresenter->SetFolder(destination.wstring());
    ASSERT_EQ(pHostSide->SetPresenter(pPresenter), S_OK);
    QWidget window;
    ASSERT_EQ(pHostSide->CreateControlWindow(&window), S_OK);
    auto pSink = std::make_shared<RecordingEventSink>();
    std::uint32_t uintCookie = 0;
    ASSERT_EQ(pControl.As<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer)
                  ->Advise(Pullbay::kIidEvents, pSink, uintCookie),
              S_OK);

    com::DISPID dispidAdd = 0;
    ASSERT_EQ(pControl->GetIDsOfNames(L"DownloadFileAdd", dispidAdd), S_OK);
    const std::string strUrl = server.BaseUrl() + "/hello.txt";
    Variant index;
    ASSERT_EQ(
        pControl->Invoke(
            dispidAdd, com::kDispatchMethod,
            {Variant::FromString(com::NullableString(L"text/plain")), Variant::FromI4(5),
             Variant::FromString(com::NullableString(L"hello.txt")),
             Variant::FromString(com::NullableString(std::wstring(strUrl.begin(), strUrl.end())))},
            &index),
        S_OK);
    com::DISPID dispidDownload = 0;
    ASSERT_EQ(pControl->GetIDsOfNames(L"Download", dispidDownload), S_OK);
    ASSERT_EQ(pControl->Invoke(dispidDownload, com::kDispatchMethod, {}, nullptr), S_OK);

    EXPECT_EQ(pSink->Completions(), (std::vector<std::int32_t>{api::CompletionSuccess}));
    std::ifstream stored(destination / "hello.txt");
    std::string strContent;
    std::getline(stored, strContent);
    EXPECT_EQ(strContent, "hello");
    ASSERT_EQ(pHostSide->DestroyControlWindow(), S_OK);
}

// The module's own windows, driven as a user would: the dialogs live inside
// the module, so the driver knows them only by what they show (their
// buttons), as a person does.
QPushButton* FindButton(QWidget* pDialog, const QString& strText)
{
    for (QPushButton* pButton : pDialog->findChildren<QPushButton*>()) {
        if (pButton->text() == strText && pButton->isVisible()) {
            return pButton;
        }
    }
    return nullptr;
}

TEST_F(ModuleTest, AWholeRunThroughTheModuleWithItsOwnDialogs)
{
    TestHttpServer server;
    server.Route("/a.txt", HttpResponse::Text(200, "new"));
    HttpResponse big;
    big.body = PatternBytes(0, 256 * 1024, 5);
    big.chunkSize = 16384;
    big.delayBetweenChunks = std::chrono::milliseconds(10);
    server.Route("/big.bin", big);
    const std::filesystem::path destination =
        std::filesystem::path(std::getenv("TMPDIR")) / "module-dialogs";
    std::filesystem::remove_all(destination);
    std::filesystem::create_directories(destination);
    std::ofstream(destination / "a.txt") << "old";

    ComPtr<com::IDispatch> pControl = Create();
    auto pHostSide = pControl.As<api::IPullbayControl>(api::IID_IPullbayControl);
    QWidget window;
    ASSERT_EQ(pHostSide->CreateControlWindow(&window), S_OK);
    std::shared_ptr<api::IDialogPresenter> pWindowed;
    ASSERT_EQ(pHostSide->GetWindowedPresenter(&pWindowed), S_OK);
    ASSERT_TRUE(pWindowed);
    ASSERT_EQ(pHostSide->SetPresenter(pWindowed), S_OK);

    auto invoke = [&](const wchar_t* strName, std::vector<Variant> args) {
        com::DISPID dispid = 0;
        EXPECT_EQ(pControl->GetIDsOfNames(strName, dispid), S_OK);
        const bool bProperty = args.size() == 1 && std::wstring(strName) != L"Download";
        return pControl->Invoke(dispid,
                                bProperty ? com::kDispatchPropertyPut : com::kDispatchMethod,
                                std::move(args), nullptr);
    };
    ASSERT_EQ(invoke(L"FileExistsDialogTimeOut", {Variant::FromI4(-1)}), S_OK);
    ASSERT_EQ(
        invoke(L"DownloadCompleteAction", {Variant::FromString(com::NullableString(L"Prompt"))}),
        S_OK);
    ASSERT_EQ(invoke(L"ShowProgressDialog", {Variant::FromBool(true)}), S_OK);
    for (const auto& [strName, intSize] :
         {std::pair<std::wstring, std::int32_t>{L"big.bin", 256 * 1024}, {L"a.txt", 3}}) {
        const std::string strUrl = server.BaseUrl() + "/" + core::ToUtf8(strName);
        ASSERT_EQ(invoke(L"DownloadFileAdd", {Variant::FromString(com::NullableString(L"*/*")),
                                              Variant::FromI4(intSize),
                                              Variant::FromString(com::NullableString(strName)),
                                              Variant::FromString(com::NullableString(
                                                  std::wstring(strUrl.begin(), strUrl.end())))}),
                  S_OK);
    }

    // Each dialog as it comes: the confirmation is accepted, the folder is
    // typed into the folder dialog, the clash is answered Rename, the log
    // is closed and the offer to open the folder declined.
    std::vector<std::string> seen;
    auto note = [&](const char* pKind) {
        if (seen.empty() || seen.back() != pKind) {
            seen.push_back(pKind);
        }
    };
    QTimer driver;
    driver.setInterval(5);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (pModal == nullptr) {
            return;
        }
        if (auto* pFolder = qobject_cast<QFileDialog*>(pModal)) {
            note("folder");
            pFolder->setDirectory(QString::fromStdWString(destination.wstring()));
            pFolder->selectFile(QString::fromStdWString(destination.wstring()));
            static_cast<QDialog*>(pFolder)->accept();
        } else if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
            note("prompt");
            pBox->button(QMessageBox::No)->click();
        } else if (QPushButton* pRename = FindButton(pModal, QStringLiteral("Rename"))) {
            note("exists");
            pRename->click();
        } else if (FindButton(pModal, QStringLiteral("Check All")) != nullptr) {
            note("confirmation");
            FindButton(pModal, QStringLiteral("OK"))->click();
        } else if (FindButton(pModal, QStringLiteral("Skip All")) != nullptr) {
            note("progress");
        } else if (QPushButton* pOk = FindButton(pModal, QStringLiteral("OK"))) {
            note("log");
            pOk->click();
        }
    });
    driver.start();
    {
        Watchdog watchdog("a whole run through the module with its dialogs",
                          std::chrono::seconds(30));
        ASSERT_EQ(invoke(L"Download", {}), S_OK);
    }
    driver.stop();

    std::set<std::string> kinds(seen.begin(), seen.end());
    EXPECT_TRUE(kinds.count("folder")) << "the folder was asked in its dialog";
    EXPECT_TRUE(kinds.count("progress"));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "exists"), 1);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "prompt");
    EXPECT_EQ(ReadFile(destination / "a.txt"), "old") << "Rename keeps the existing file";
    EXPECT_TRUE(ReadFile(destination / "big.bin") == big.body);
    std::vector<std::wstring> log;
    ASSERT_EQ(pHostSide->GetDownloadLog(&log), S_OK);
    EXPECT_EQ(log.size(), 2u);
    ASSERT_EQ(pHostSide->DestroyControlWindow(), S_OK);
}

// The host lets go of every reference from inside the confirmation dialog;
// the dialog then waits, as a modal one does, until the run cancels it.
struct ReleasingPresenter : control::PolicyPresenter {
    std::function<void()> release;
    HRESULT hrUnloadWhileRunning = E_FAIL;
    bool bCancelled = false;
    bool bAsked = false;
    QEventLoop* pLoop = nullptr;
    api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest&) override
    {
        bAsked = true;
        release();
        hrUnloadWhileRunning = CanUnloadNow();
        QEventLoop loop;
        pLoop = &loop;
        if (!bCancelled) {
            loop.exec();
        }
        pLoop = nullptr;
        return {true, {true}};
    }
    void CancelDialogs() override
    {
        bCancelled = true;
        if (pLoop != nullptr) {
            pLoop->quit();
        }
    }
};

class ReleasingDuringARunTest : public ModuleTest, public ::testing::WithParamInterface<bool> {};

// Started by the scripting call or by a click of the in-page button, the run
// keeps the control alive until it has returned.
TEST_P(ReleasingDuringARunTest, EndsTheRunAndFreesTheControlAfterIt)
{
    const bool bByButton = GetParam();
    TestHttpServer server;
    server.Route("/a.txt", HttpResponse::Text(200, "a"));
    ComPtr<com::IDispatch> pControl = Create();
    auto pHostSide = pControl.As<api::IPullbayControl>(api::IID_IPullbayControl);
    auto pPresenter = std::make_shared<ReleasingPresenter>();
    pPresenter->SetFolder(std::filesystem::path(std::getenv("TMPDIR")).wstring());
    ASSERT_EQ(pHostSide->SetPresenter(pPresenter), S_OK);
    QWidget window;
    window.resize(100, 30);
    ASSERT_EQ(pHostSide->CreateControlWindow(&window), S_OK);
    com::DISPID dispidAdd = 0;
    ASSERT_EQ(pControl->GetIDsOfNames(L"DownloadFileAdd", dispidAdd), S_OK);
    const std::string strUrl = server.BaseUrl() + "/a.txt";
    ASSERT_EQ(
        pControl->Invoke(
            dispidAdd, com::kDispatchMethod,
            {Variant::FromString(com::NullableString(L"text/plain")), Variant::FromI4(1),
             Variant::FromString(com::NullableString(L"released.txt")),
             Variant::FromString(com::NullableString(std::wstring(strUrl.begin(), strUrl.end())))},
            nullptr),
        S_OK);
    com::DISPID dispidDownload = 0;
    ASSERT_EQ(pControl->GetIDsOfNames(L"Download", dispidDownload), S_OK);
    pPresenter->release = [&] {
        pHostSide.Reset();
        pControl.Reset();
    };

    if (bByButton) {
        auto* pButton = window.findChild<QPushButton*>(QStringLiteral("button150"));
        ASSERT_NE(pButton, nullptr);
        pButton->click();
        // The click's run starts from the event loop and has returned once
        // the control is gone.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while ((!pPresenter->bAsked || CanUnloadNow() != S_OK) &&
               std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    } else {
        com::IDispatch* pRaw = pControl.Get();
        EXPECT_EQ(pRaw->Invoke(dispidDownload, com::kDispatchMethod, {}, nullptr), S_OK);
    }

    EXPECT_TRUE(pPresenter->bAsked);
    EXPECT_EQ(pPresenter->hrUnloadWhileRunning, S_FALSE)
        << "the control lives while its run is on the stack";
    EXPECT_TRUE(pPresenter->bCancelled) << "the run ended at once";
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(std::getenv("TMPDIR")) / "released.txt"));
    EXPECT_EQ(CanUnloadNow(), S_OK) << "the control went once the run had returned";
}

INSTANTIATE_TEST_SUITE_P(StartedBy, ReleasingDuringARunTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("TheButton")
                                                : std::string("TheScriptingCall");
                         });

TEST(SettingsKeyTest, DependsOnThePlatformClass)
{
    EXPECT_EQ(control::SettingsKeyFor(0), L"Software\\Velmora\\Pullbay\\Standard 7");
    EXPECT_EQ(control::SettingsKeyFor(4), L"Software\\Velmora\\Pullbay\\Standard 7");
    EXPECT_EQ(control::SettingsKeyFor(6), L"Software\\AppDataLow\\Velmora\\Pullbay\\Standard 7");
}

}  // namespace
}  // namespace pullbay::test
