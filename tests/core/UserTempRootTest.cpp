// The user's temporary directory: $TMPDIR when set, otherwise a per-user
// root under the cache folder that is made on demand with private modes,
// never the shared /tmp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/UserTempRoot.h"
#include "support/EnvironmentScope.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using core::UserTempRoot;

mode_t PermissionBits(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

class UserTempRootTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::path(std::getenv("TMPDIR")) /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
};

TEST_F(UserTempRootTest, TmpdirWhenSetOtherwiseThePerUserCacheRootNeverTmp)
{
    struct Row {
        std::optional<std::string> strTmpdir;
        std::optional<std::string> strCache;
        std::optional<std::string> strHome;
        std::string strExpected;
        bool bPerUser;
        std::size_t uintExistingBytes;
    };
    const Row table[] = {
        {"/var/x", "/c", "/h", "/var/x", false, 6},
        {"/var/x//", std::nullopt, "/h", "/var/x", false, 6},
        {"/", std::nullopt, "/h", "/", false, 1},
        // Unset or empty TMPDIR: XDG_CACHE_HOME when absolute...
        {std::nullopt, "/c/cache", "/h", "/c/cache/pullbay", true, 2},
        {"", "/c/cache/", "/h", "/c/cache/pullbay", true, 2},
        // ... otherwise ~/.cache.
        {std::nullopt, std::nullopt, "/home/u", "/home/u/.cache/pullbay", true, 7},
        {std::nullopt, "", "/home/u/", "/home/u/.cache/pullbay", true, 7},
        {std::nullopt, "relative/cache", "/home/u", "/home/u/.cache/pullbay", true, 7},
        {std::nullopt, std::nullopt, "/", "/.cache/pullbay", true, 1},
    };
    for (const Row& row : table) {
        SCOPED_TRACE((row.strTmpdir ? "TMPDIR=" + *row.strTmpdir : "TMPDIR unset") + ", " +
                     (row.strCache ? "XDG_CACHE_HOME=" + *row.strCache : "XDG_CACHE_HOME unset") +
                     ", HOME=" + row.strHome.value_or("(unset)"));
        EnvironmentScope environment;
        environment.Set("TMPDIR", row.strTmpdir);
        environment.Set("XDG_CACHE_HOME", row.strCache);
        environment.Set("HOME", row.strHome);
        const UserTempRoot::Location location = UserTempRoot::Find();
        EXPECT_EQ(location.strPath, row.strExpected);
        EXPECT_EQ(location.bPerUser, row.bPerUser);
        EXPECT_EQ(location.uintExistingBytes, row.uintExistingBytes);
        EXPECT_EQ(UserTempRoot::Path(), row.strExpected);
    }
}

// ~/.cache may not exist yet: the root is made with its parents, each
// private, and only below the home folder.
TEST_F(UserTempRootTest, PerUserRootIsCreatedWithPrivateParents)
{
    const fs::path home = folder / "home";
    fs::create_directories(home);
    EnvironmentScope environment;
    environment.Unset("TMPDIR");
    environment.Unset("XDG_CACHE_HOME");
    environment.Set("HOME", home.string());

    std::string strPath;
    ASSERT_EQ(UserTempRoot::Create(strPath), 0);
    EXPECT_EQ(strPath, (home / ".cache" / "pullbay").string());
    EXPECT_EQ(PermissionBits(home / ".cache"), 0700u);
    EXPECT_EQ(PermissionBits(home / ".cache" / "pullbay"), 0700u);
    // Again: nothing changes, nothing fails.
    ASSERT_EQ(UserTempRoot::Create(strPath), 0);

    // An existing cache folder keeps its mode.
    const fs::path other = folder / "other";
    fs::create_directories(other / ".cache");
    fs::permissions(other / ".cache", fs::perms(0755), fs::perm_options::replace);
    environment.Set("HOME", other.string());
    ASSERT_EQ(UserTempRoot::Create(strPath), 0);
    EXPECT_EQ(PermissionBits(other / ".cache"), 0755u);
    EXPECT_EQ(PermissionBits(other / ".cache" / "pullbay"), 0700u);

    // A missing home folder is not made.
    environment.Set("HOME", (folder / "no-such-home").string());
    EXPECT_EQ(UserTempRoot::Create(strPath), ENOENT);
    EXPECT_FALSE(fs::exists(folder / "no-such-home"));

    // A file where the root should be.
    const fs::path blocked = folder / "blocked";
    fs::create_directories(blocked / ".cache");
    std::ofstream(blocked / ".cache" / "pullbay") << "x";
    environment.Set("HOME", blocked.string());
    EXPECT_EQ(UserTempRoot::Create(strPath), ENOTDIR);
    EXPECT_EQ(strPath, (blocked / ".cache" / "pullbay").string());
}

// $TMPDIR is the user's own setting: looked at, never created.
TEST_F(UserTempRootTest, TmpdirIsNeverCreated)
{
    EnvironmentScope environment;
    environment.Set("TMPDIR", (folder / "missing").string());
    std::string strPath;
    EXPECT_EQ(UserTempRoot::Create(strPath), ENOENT);
    EXPECT_EQ(strPath, (folder / "missing").string());
    EXPECT_FALSE(fs::exists(folder / "missing"));
    EXPECT_EQ(UserTempRoot::CreateFolderIn((folder / "missing" / "Pullbay_Temp").string()), ENOENT);
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

// A folder in the per-user root makes the root when it is missing; a folder
// anywhere else gets its last level only.
TEST_F(UserTempRootTest, AFolderInThePerUserRootMakesTheRoot)
{
    const fs::path cache = folder / "cache";
    EnvironmentScope environment;
    environment.Unset("TMPDIR");
    environment.Set("XDG_CACHE_HOME", cache.string());
    EXPECT_EQ(UserTempRoot::CreateFolderIn((cache / "pullbay" / "Pullbay_Temp").string()), 0);
    EXPECT_EQ(PermissionBits(cache), 0700u);
    EXPECT_EQ(PermissionBits(cache / "pullbay"), 0700u);
    EXPECT_EQ(PermissionBits(cache / "pullbay" / "Pullbay_Temp"), 0700u);
    // There already: fine, the caller checks what it is.
    EXPECT_EQ(UserTempRoot::CreateFolderIn((cache / "pullbay" / "Pullbay_Temp").string()), 0);

    EXPECT_EQ(UserTempRoot::CreateFolderIn((folder / "elsewhere" / "Pullbay_Temp").string()),
              ENOENT);
    EXPECT_FALSE(fs::exists(folder / "elsewhere"));
}

TEST_F(UserTempRootTest, CreateLevelsMakesOnlyTheLevelsAfterTheExistingPart)
{
    const std::string strBase = folder.string();
    const std::string strPath = strBase + "/a//b/c/";
    ASSERT_EQ(UserTempRoot::CreateLevels(strPath.c_str(), strBase.size()), 0);
    EXPECT_EQ(PermissionBits(folder / "a"), 0700u);
    EXPECT_EQ(PermissionBits(folder / "a" / "b" / "c"), 0700u);

    // The existing part is not made.
    const std::string strMissing = strBase + "/gone/x";
    EXPECT_EQ(UserTempRoot::CreateLevels(strMissing.c_str(), strBase.size() + 5), ENOENT);
    EXPECT_FALSE(fs::exists(folder / "gone"));

    const std::string strLong(UserTempRoot::kMaxPathBytes, 'x');
    EXPECT_EQ(UserTempRoot::CreateLevels(strLong.c_str(), 0), ENAMETOOLONG);
}

}  // namespace
}  // namespace pullbay::test
