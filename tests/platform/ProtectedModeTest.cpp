// Loading the Protected Mode functions (with the test libraries standing in
// for the browser's), their wrappers, the writeable folder and its fallback,
// and the platform installed for the process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/IPlatform.h"
#include "platform/ProtectedModeApi.h"
#include "platform/SystemPlatform.h"

namespace pullbay::platform {
namespace {

namespace fs = std::filesystem;

const fs::path kCompleteLibrary = PULLBAY_FAKE_PROTECTED_MODE_LIBRARY;
const fs::path kPartialLibrary = PULLBAY_FAKE_PROTECTED_MODE_PARTIAL_LIBRARY;

// A folder of the test's own under $TMPDIR; the library copies go there, so
// every test loads its own instance of the test library.
class LibraryFolder {
public:
    LibraryFolder()
    {
        const char* strBase = std::getenv("TMPDIR");
        std::string strPattern =
            std::string(strBase != nullptr && *strBase != '\0' ? strBase : "/tmp") + "/pm-XXXXXX";
        if (::mkdtemp(strPattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = strPattern;
    }
    ~LibraryFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    LibraryFolder(const LibraryFolder&) = delete;
    LibraryFolder& operator=(const LibraryFolder&) = delete;

    fs::path LibraryPath() const { return m_path / "ieframe.so"; }

    // Puts a copy of source at LibraryPath(), replacing what is there by a
    // rename, as an installer would.
    void Install(const fs::path& source) const
    {
        const fs::path temporary = m_path / "incoming.so";
        fs::copy_file(source, temporary, fs::copy_options::overwrite_existing);
        fs::rename(temporary, LibraryPath());
    }

private:
    fs::path m_path;
};

bool IsLoaded(const fs::path& library)
{
    void* hLibrary = ::dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (hLibrary == nullptr) {
        return false;
    }
    ::dlclose(hLibrary);
    return true;
}

// The scripting functions of a test library that is loaded already.
class FakeLibraryScript {
public:
    explicit FakeLibraryScript(const fs::path& library)
        : m_hLibrary(::dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD))
    {
        if (m_hLibrary == nullptr) {
            throw std::runtime_error("test library is not loaded");
        }
        m_pSetProtectedMode = reinterpret_cast<void (*)(std::int32_t, int)>(
            ::dlsym(m_hLibrary, "PbFakeSetProtectedMode"));
        m_pSetFolderAnswer = reinterpret_cast<void (*)(std::int32_t, int)>(
            ::dlsym(m_hLibrary, "PbFakeSetFolderAnswer"));
    }
    ~FakeLibraryScript() { ::dlclose(m_hLibrary); }
    FakeLibraryScript(const FakeLibraryScript&) = delete;
    FakeLibraryScript& operator=(const FakeLibraryScript&) = delete;

    void SetProtectedMode(HRESULT hr, bool bProtected)
    {
        m_pSetProtectedMode(hr, bProtected ? 1 : 0);
    }
    void SetFolderAnswer(HRESULT hr, bool bWithText) { m_pSetFolderAnswer(hr, bWithText ? 1 : 0); }

private:
    void* m_hLibrary;
    void (*m_pSetProtectedMode)(std::int32_t, int) = nullptr;
    void (*m_pSetFolderAnswer)(std::int32_t, int) = nullptr;
};

std::wstring FakeFolderOf(const com::Guid& folderId)
{
    return L"/fake/low/" + folderId.ToString();
}

TEST(ProtectedModeApiTest, MissingLibraryIsTriedAgainOnEveryNeed)
{
    LibraryFolder folder;
    ProtectedModeApi api(folder.LibraryPath().string());
    std::wstring strPath = L"stale";

    EXPECT_EQ(api.Load(), E_FAIL);
    EXPECT_FALSE(api.IsProtectedModeProcess());
    EXPECT_EQ(api.GetWriteableFolderPath(kFolderIdInternetCache, strPath), E_FAIL);
    EXPECT_TRUE(strPath.empty());

    folder.Install(kCompleteLibrary);
    EXPECT_EQ(api.GetWriteableFolderPath(kFolderIdInternetCache, strPath), S_OK);
    EXPECT_EQ(strPath, FakeFolderOf(kFolderIdInternetCache));
    EXPECT_TRUE(api.IsProtectedModeProcess());
    EXPECT_EQ(api.Load(), S_OK);
}

TEST(ProtectedModeApiTest, LibraryLackingAFunctionIsReleasedAndNeverTriedAgain)
{
    LibraryFolder folder;
    folder.Install(kPartialLibrary);
    ProtectedModeApi api(folder.LibraryPath().string());

    EXPECT_FALSE(api.IsProtectedModeProcess());
    EXPECT_FALSE(IsLoaded(folder.LibraryPath()));

    // A complete library in its place changes nothing for this object...
    folder.Install(kCompleteLibrary);
    EXPECT_EQ(api.Load(), E_FAIL);
    EXPECT_FALSE(api.IsProtectedModeProcess());
    std::wstring strPath;
    EXPECT_EQ(api.GetWriteableFolderPath(kFolderIdInternetCache, strPath), E_FAIL);
    EXPECT_FALSE(IsLoaded(folder.LibraryPath()));

    // ...although the file itself now loads.
    ProtectedModeApi fresh(folder.LibraryPath().string());
    EXPECT_EQ(fresh.Load(), S_OK);
    EXPECT_TRUE(fresh.IsProtectedModeProcess());
}

TEST(ProtectedModeApiTest, LoadedLibraryIsReleasedWithTheObject)
{
    LibraryFolder folder;
    folder.Install(kCompleteLibrary);
    {
        ProtectedModeApi api(folder.LibraryPath().string());
        ASSERT_EQ(api.Load(), S_OK);
        EXPECT_TRUE(IsLoaded(folder.LibraryPath()));
    }
    EXPECT_FALSE(IsLoaded(folder.LibraryPath()));
}

TEST(ProtectedModeApiTest, IsProtectedModeFollowsTheLibrarysAnswer)
{
    struct Row {
        HRESULT hr;
        bool bProtected;
        bool bExpected;
    };
    const Row rows[] = {
        {S_OK, true, true},    {S_OK, false, false},           {S_FALSE, true, true},
        {E_FAIL, true, false}, {E_ACCESSDENIED, false, false},
    };
    LibraryFolder folder;
    folder.Install(kCompleteLibrary);
    ProtectedModeApi api(folder.LibraryPath().string());
    ASSERT_EQ(api.Load(), S_OK);
    FakeLibraryScript script(folder.LibraryPath());
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.hr << ' ' << row.bProtected);
        script.SetProtectedMode(row.hr, row.bProtected);
        EXPECT_EQ(api.IsProtectedModeProcess(), row.bExpected);
    }
}

TEST(ProtectedModeApiTest, WriteableFolderPathCopiesTheTextOrPassesTheFailureOn)
{
    LibraryFolder folder;
    folder.Install(kCompleteLibrary);
    ProtectedModeApi api(folder.LibraryPath().string());
    ASSERT_EQ(api.Load(), S_OK);
    FakeLibraryScript script(folder.LibraryPath());

    // The text shows the identifier as the library received it.
    std::wstring strPath;
    EXPECT_EQ(api.GetWriteableFolderPath(kFolderIdLocalAppDataLow, strPath), S_OK);
    EXPECT_EQ(strPath, L"/fake/low/{A520A1A4-1780-4FF6-BD18-167343C5AF16}");

    strPath = L"stale";
    EXPECT_EQ(api.GetWriteableFolderPath(com::kNullGuid, strPath), E_INVALIDARG);
    EXPECT_TRUE(strPath.empty());

    // A text handed out with a failure is released, not used (the leak
    // checker would see it otherwise).
    script.SetFolderAnswer(E_ACCESSDENIED, true);
    strPath = L"stale";
    EXPECT_EQ(api.GetWriteableFolderPath(kFolderIdInternetCache, strPath), E_ACCESSDENIED);
    EXPECT_TRUE(strPath.empty());

    // A success without a text is no folder.
    script.SetFolderAnswer(S_OK, false);
    EXPECT_EQ(api.GetWriteableFolderPath(kFolderIdInternetCache, strPath), E_FAIL);
    EXPECT_TRUE(strPath.empty());
}

TEST(ProtectedModeApiTest, RealPlatformOverTheLibraryStaysOutsideProtectedMode)
{
    // Even when the browser says it runs in Protected Mode, class 0 keeps the
    // handling off.
    LibraryFolder folder;
    folder.Install(kCompleteLibrary);
    SystemPlatform platform(folder.LibraryPath().string());
    EXPECT_TRUE(platform.IsProtectedModeProcess());
    EXPECT_EQ(platform.PlatformClass(), 0);
    EXPECT_FALSE(UsesProtectedMode(platform));

    std::wstring strFolder;
    EXPECT_EQ(GetWriteableFolder(platform, strFolder), S_OK);
    EXPECT_EQ(strFolder, FakeFolderOf(kFolderIdInternetCache));
}

// A platform that answers from a script and remembers what it was asked.
class ScriptedPlatform : public IPlatform {
public:
    ScriptedPlatform(int intClass, bool bProtected) : m_intClass(intClass), m_bProtected(bProtected)
    {
    }

    int PlatformClass() const override { return m_intClass; }
    bool IsProtectedModeProcess() override
    {
        ++m_intProtectedModeQueries;
        return m_bProtected;
    }
    HRESULT GetWriteableFolderPath(const com::Guid& folderId, std::wstring& strPath) override
    {
        m_askedFolders.push_back(folderId);
        const auto found = m_folders.find(folderId);
        if (found == m_folders.end()) {
            return E_FAIL;
        }
        if (Succeeded(found->second.first)) {
            strPath = found->second.second;
        }
        return found->second.first;
    }

    void SetFolder(const com::Guid& folderId, HRESULT hr, std::wstring strPath = {})
    {
        m_folders[folderId] = {hr, std::move(strPath)};
    }
    int ProtectedModeQueries() const { return m_intProtectedModeQueries; }
    const std::vector<com::Guid>& AskedFolders() const { return m_askedFolders; }

private:
    int m_intClass;
    bool m_bProtected;
    int m_intProtectedModeQueries = 0;
    std::map<com::Guid, std::pair<HRESULT, std::wstring>> m_folders;
    std::vector<com::Guid> m_askedFolders;
};

TEST(PlatformTest, ProtectedModeAppliesFromClassFiveOnly)
{
    struct Row {
        int intClass;
        bool bProtected;
        bool bExpected;
    };
    const Row rows[] = {
        {0, true, false}, {1, true, false},  {4, true, false},  {5, true, true},
        {6, true, true},  {5, false, false}, {6, false, false}, {0, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "class " << row.intClass << ' ' << row.bProtected);
        ScriptedPlatform platform(row.intClass, row.bProtected);
        EXPECT_EQ(UsesProtectedMode(platform), row.bExpected);
        // Below class 5 the browser is not even asked.
        EXPECT_EQ(platform.ProtectedModeQueries(), row.intClass >= 5 ? 1 : 0);
    }
}

TEST(PlatformTest, WriteableFolderFallsBackToLocalAppDataLow)
{
    const HRESULT hrNotFound = static_cast<HRESULT>(0x80070002u);
    struct Row {
        const char* strName;
        HRESULT hrCache;
        HRESULT hrLow;
        HRESULT hrExpected;
        const wchar_t* strExpected;
        std::size_t uintQuestions;
    };
    const Row rows[] = {
        {"cache", S_OK, S_OK, S_OK, L"/low/cache", 1},
        {"low", E_FAIL, S_OK, S_OK, L"/low/appdata", 2},
        {"neither", hrNotFound, E_ACCESSDENIED, E_ACCESSDENIED, L"", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.strName);
        ScriptedPlatform platform(6, true);
        platform.SetFolder(kFolderIdInternetCache, row.hrCache, L"/low/cache");
        platform.SetFolder(kFolderIdLocalAppDataLow, row.hrLow, L"/low/appdata");
        std::wstring strFolder = L"stale";
        EXPECT_EQ(GetWriteableFolder(platform, strFolder), row.hrExpected);
        EXPECT_EQ(strFolder, row.strExpected);
        ASSERT_EQ(platform.AskedFolders().size(), row.uintQuestions);
        EXPECT_EQ(platform.AskedFolders()[0], kFolderIdInternetCache);
        if (row.uintQuestions > 1) {
            EXPECT_EQ(platform.AskedFolders()[1], kFolderIdLocalAppDataLow);
        }
    }
}

TEST(PlatformTest, InstalledPlatformServesEveryThreadUntilReplaced)
{
    const std::shared_ptr<IPlatform> pReal = CurrentPlatform();
    auto pScripted = std::make_shared<ScriptedPlatform>(6, true);

    EXPECT_EQ(SetPlatformForTesting(pScripted), pReal);
    std::shared_ptr<IPlatform> pSeenByWorker;
    std::thread([&pSeenByWorker] { pSeenByWorker = CurrentPlatform(); }).join();
    EXPECT_EQ(pSeenByWorker, pScripted);
    EXPECT_TRUE(UsesProtectedMode(*CurrentPlatform()));

    // Null puts the real platform back and hands the test platform over.
    EXPECT_EQ(SetPlatformForTesting(nullptr), pScripted);
    EXPECT_EQ(CurrentPlatform(), pReal);
    EXPECT_EQ(SetPlatformForTesting(nullptr), pReal);
}

}  // namespace
}  // namespace pullbay::platform
