// Where the registry store lives and what it promises on disk: private
// folders, and atomic writes that neither a failure nor another writer can
// tear.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/RegistryKey.h"
#include "platform/registry/RegistryStore.h"

namespace pullbay::platform {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kSettingsKey = L"Software\\Velmora\\Pullbay\\Standard 7";

std::vector<std::uint8_t> Pattern(std::size_t uintSize, std::uint8_t uintSeed)
{
    std::vector<std::uint8_t> bytes(uintSize);
    for (std::size_t i = 0; i < uintSize; ++i) {
        bytes[i] = static_cast<std::uint8_t>(uintSeed + i * 7);
    }
    return bytes;
}

// Runs the body in a child process and returns its exit status.
template <typename Body>
int RunInChild(Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    int intStatus = 0;
    EXPECT_EQ(::waitpid(pid, &intStatus, 0), pid);
    return WIFEXITED(intStatus) ? WEXITSTATUS(intStatus) : -1;
}

// Each test starts with an empty store in the private folder that the test
// main names in XDG_CONFIG_HOME.
class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* strConfig = std::getenv("XDG_CONFIG_HOME");
        ASSERT_NE(strConfig, nullptr);
        m_configFolder = strConfig;
        ASSERT_EQ(GetRegistryStoreFolder(m_store), S_OK);
        fs::remove_all(m_configFolder);
        fs::create_directories(m_configFolder);
    }

    void TearDown() override { ::setenv("XDG_CONFIG_HOME", m_configFolder.c_str(), 1); }

    // Files of the store's own (temporary files, half-made keys) that a
    // finished operation must not leave behind.
    std::vector<fs::path> LeftoverFiles() const
    {
        std::vector<fs::path> leftovers;
        for (const auto& entry : fs::recursive_directory_iterator(m_store)) {
            const std::string strName = entry.path().filename();
            if (strName.front() == '.' && strName != ".key") {
                leftovers.push_back(entry.path());
            }
        }
        return leftovers;
    }

    fs::path m_configFolder;
    fs::path m_store;
};

TEST_F(RegistryStoreTest, TheStoreFollowsTheEnvironmentAtEveryCall)
{
    const std::string strHome = std::getenv("HOME");
    const std::pair<const char*, fs::path> kRows[] = {
        {"/srv/cfg", "/srv/cfg/pullbay/registry"},
        {nullptr, strHome + "/.config/pullbay/registry"},
        {"", strHome + "/.config/pullbay/registry"},
        {"relative/cfg", strHome + "/.config/pullbay/registry"},
    };
    for (const auto& [strConfig, expected] : kRows) {
        if (strConfig != nullptr) {
            ::setenv("XDG_CONFIG_HOME", strConfig, 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        fs::path folder;
        EXPECT_EQ(GetRegistryStoreFolder(folder), S_OK);
        EXPECT_EQ(folder, expected);
    }
}

TEST_F(RegistryStoreTest, FoldersAndValuesArePrivateToTheUser)
{
    const mode_t previousMask = ::umask(0);
    RegistryKey key;
    const HRESULT hr = key.Create(RegistryRoot::CurrentUser, kSettingsKey);
    ::umask(previousMask);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(key.SetValue(L"LastVisitedFolder", REG_BINARY, Pattern(10, 1)), S_OK);
    std::size_t uintFolders = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_configFolder)) {
        struct stat status {};
        ASSERT_EQ(::lstat(entry.path().c_str(), &status), 0);
        uintFolders += S_ISDIR(status.st_mode) ? 1 : 0;
        EXPECT_EQ(status.st_mode & 07777, S_ISDIR(status.st_mode) ? 0700u : 0600u) << entry.path();
    }
    // pullbay, registry, the root and the four levels of the key.
    EXPECT_EQ(uintFolders, 7u);
}

TEST_F(RegistryStoreTest, AFailedWriteLeavesThePreviousValueAndNoTemporaryFile)
{
    RegistryKey key;
    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, kSettingsKey), S_OK);
    const std::vector<std::uint8_t> previous = Pattern(100, 1);
    ASSERT_EQ(key.SetValue(L"LastVisitedFolder", REG_BINARY, previous), S_OK);

    // The child may not write files above 1 KiB: the new value fails half-way
    // through, as on a full disk.
    const int intStatus = RunInChild([&key] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 2;
        }
        return Failed(key.SetValue(L"LastVisitedFolder", REG_BINARY, Pattern(8192, 2))) ? 0 : 1;
    });
    EXPECT_EQ(intStatus, 0);

    std::uint32_t uintType = 0;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(key.QueryValue(L"LastVisitedFolder", uintType, data), S_OK);
    EXPECT_EQ(data, previous);
    EXPECT_EQ(LeftoverFiles(), std::vector<fs::path>{});
}

TEST_F(RegistryStoreTest, AnotherProcessReadsWhatOneWrote)
{
    ASSERT_EQ(RunInChild([] {
                  RegistryKey key;
                  return Succeeded(key.Create(RegistryRoot::CurrentUser, kSettingsKey)) &&
                                 Succeeded(key.SetStringValue(L"Writer", L"child"))
                             ? 0
                             : 1;
              }),
              0);
    RegistryKey key;
    ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, kSettingsKey), S_OK);
    std::wstring strText;
    EXPECT_EQ(key.QueryStringValue(L"writer", strText), S_OK);
    EXPECT_EQ(strText, L"child");
}

TEST_F(RegistryStoreTest, ConcurrentWritersNeverTearAValueAndTheLastOneWins)
{
    constexpr int kWriters = 4;
    constexpr std::size_t kValueBytes = 16384;
    RegistryKey reader;
    ASSERT_EQ(reader.Create(RegistryRoot::CurrentUser, kSettingsKey), S_OK);
    ASSERT_EQ(reader.SetValue(L"Shared", REG_BINARY, Pattern(kValueBytes, 0)), S_OK);
    std::atomic<int> intRunning{kWriters};
    std::atomic<int> intFailed{0};
    std::vector<std::thread> threads;
    for (int intWriter = 1; intWriter <= kWriters; ++intWriter) {
        threads.emplace_back([&, intWriter] {
            // Each writer creates the key deeper down itself: creation races too.
            RegistryKey key;
            intFailed +=
                Failed(key.Create(RegistryRoot::CurrentUser, L"Software\\Velmora\\Race")) ? 1 : 0;
            intFailed += Failed(key.Create(RegistryRoot::CurrentUser, kSettingsKey)) ? 1 : 0;
            for (int i = 0; i < 15; ++i) {
                const auto value = Pattern(kValueBytes, static_cast<std::uint8_t>(intWriter));
                intFailed += Failed(key.SetValue(L"Shared", REG_BINARY, value)) ? 1 : 0;
            }
            --intRunning;
        });
    }
    int intTorn = 0;
    std::vector<std::uint8_t> data;
    do {
        std::uint32_t uintType = 0;
        if (Failed(reader.QueryValue(L"Shared", uintType, data)) || data.empty()) {
            ++intFailed;
            continue;
        }
        intTorn += data == Pattern(kValueBytes, data.front()) ? 0 : 1;
    } while (intRunning > 0);
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(intTorn, 0);
    EXPECT_EQ(intFailed, 0);
    std::uint32_t uintType = 0;
    ASSERT_EQ(reader.QueryValue(L"Shared", uintType, data), S_OK);
    EXPECT_GE(data.front(), 1);
    EXPECT_EQ(data, Pattern(kValueBytes, data.front()));
    RegistryKey parent;
    ASSERT_EQ(parent.Open(RegistryRoot::CurrentUser, L"Software\\Velmora"), S_OK);
    std::vector<std::wstring> names;
    EXPECT_EQ(parent.EnumSubKeys(names), S_OK);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Pullbay", L"Race"}));
    EXPECT_EQ(LeftoverFiles(), std::vector<fs::path>{});
}

}  // namespace
}  // namespace pullbay::platform
