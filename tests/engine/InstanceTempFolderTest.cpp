// Each control's own temporary folder: private, cleaned without touching
// another control's files, and removed by a later control once the process
// that owned it is gone (its lock died with it), never while it lives.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/TextUnits.h"
#include "core/Win32Errors.h"
#include "engine/InstanceTempFolder.h"
#include "engine/TempFiles.h"
#include "support/EnvironmentScope.h"

namespace pullbay::engine {
namespace {

namespace fs = std::filesystem;

class InstanceTempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = fs::path(std::getenv("TMPDIR")) / "instance-temp";
        fs::remove_all(parent);
    }
    std::wstring Parent() const { return parent.wstring() + L"/"; }

    fs::path parent;
};

fs::path PathOf(InstanceTempFolder& folder)
{
    return fs::path(core::ToUtf8(folder.Path()));
}

TEST_F(InstanceTempFolderTest, EachControlHasItsOwnPrivateFolderAndCleansOnlyThat)
{
    auto pFirst = std::make_unique<InstanceTempFolder>(Parent());
    const fs::path first = PathOf(*pFirst);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.parent_path().parent_path(), parent);
    EXPECT_EQ(fs::status(first).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(PathOf(*pFirst), first) << "one folder for the control's life";
    std::ofstream(first / "PBT1.tmp") << "first";
    {
        InstanceTempFolder second(Parent());
        const fs::path other = PathOf(second);
        ASSERT_FALSE(other.empty());
        EXPECT_NE(other, first);
        std::ofstream(other / "PBT2.tmp") << "second";
        second.Clear();
        EXPECT_TRUE(fs::is_empty(other));
        EXPECT_TRUE(fs::exists(first / "PBT1.tmp")) << "another control's clean-up";
    }
    EXPECT_TRUE(fs::exists(first / "PBT1.tmp")) << "another control going";

    // A link inside is removed, what it points at is not.
    const fs::path outside = parent / "outside.txt";
    std::ofstream(outside) << "keep";
    fs::create_symlink(outside, first / "link");
    fs::create_directory(first / "sub");
    std::ofstream(first / "sub" / "x") << "x";
    pFirst->Clear();
    EXPECT_TRUE(fs::is_empty(first));
    EXPECT_TRUE(fs::exists(outside));

    pFirst.reset();
    EXPECT_FALSE(fs::exists(first));
    for (const auto& entry : fs::directory_iterator(parent)) {
        EXPECT_EQ(entry.path(), outside) << "left behind: " << entry.path();
    }
}

TEST_F(InstanceTempFolderTest, AFolderWhoseProcessDiedIsRemovedByTheNextControlALiveOneIsNot)
{
    fs::create_directories(parent);
    ::chmod(parent.c_str(), 0700);
    // A control in another process: its claim, its folder, a file; then the
    // process is killed, so nothing of its own clean-up runs.
    const fs::path deadFolder = parent / "i999999-0badf00d";
    const fs::path deadLock = parent / "i999999-0badf00d.lock";
    const std::string strDeadFile = (deadFolder / "PBT.tmp").string();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only system calls between fork and the end.
        const int intLock = ::open(deadLock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        const bool bOk = intLock >= 0 && ::flock(intLock, LOCK_EX) == 0 &&
                         ::mkdir(deadFolder.c_str(), 0700) == 0;
        const int intFile = ::open(strDeadFile.c_str(), O_WRONLY | O_CREAT, 0600);
        const char chReady = bOk && intFile >= 0 ? 'y' : 'n';
        (void)::write(pipeFds[1], &chReady, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char chReady = 0;
    ASSERT_EQ(::read(pipeFds[0], &chReady, 1), 1);
    ::close(pipeFds[0]);
    ASSERT_EQ(chReady, 'y');

    // While the process lives its folder is in use.
    InstanceTempFolder live(Parent());
    const fs::path liveFolder = PathOf(live);
    ASSERT_FALSE(liveFolder.empty());
    std::ofstream(liveFolder / "PBT.tmp") << "in use";
    EXPECT_EQ(InstanceTempFolder::SweepAbandoned(Parent()), 0);
    EXPECT_TRUE(fs::exists(deadFolder / "PBT.tmp"));

    ::kill(child, SIGKILL);
    int intStatus = 0;
    ASSERT_EQ(::waitpid(child, &intStatus, 0), child);

    InstanceTempFolder next(Parent());
    ASSERT_FALSE(PathOf(next).empty());
    EXPECT_FALSE(fs::exists(deadFolder)) << "the dead process's folder";
    EXPECT_FALSE(fs::exists(deadLock));
    EXPECT_TRUE(fs::exists(liveFolder / "PBT.tmp")) << "a live control's file";
}

TEST_F(InstanceTempFolderTest, ASharedFolderThatIsNotPrivateIsRefused)
{
    fs::create_directories(parent);
    ::chmod(parent.c_str(), 0777);
    InstanceTempFolder folder(Parent());
    EXPECT_TRUE(folder.Path().empty()) << "anyone could plant files in it";
    // Which folder and why, for the message of every file that fails.
    EXPECT_EQ(folder.FailedFolder(), parent.wstring());
    EXPECT_EQ(folder.FailureReason(), kNotPrivateFolderText);
    fs::remove(parent);
    fs::create_symlink(fs::path(std::getenv("TMPDIR")), parent);
    InstanceTempFolder linked(Parent());
    EXPECT_TRUE(linked.Path().empty()) << "a link where the shared folder should be";
    EXPECT_EQ(linked.FailedFolder(), parent.wstring());
    EXPECT_EQ(linked.FailureReason(), kNotPrivateFolderText);
    fs::remove(parent);
    if (::geteuid() == 0) {
        // Another local user's folder.
        fs::create_directories(parent);
        ::chmod(parent.c_str(), 0700);
        ASSERT_EQ(::chown(parent.c_str(), 65534, 65534), 0);
        InstanceTempFolder theirs(Parent());
        EXPECT_TRUE(theirs.Path().empty());
        EXPECT_EQ(theirs.FailureReason(), kNotPrivateFolderText);
        fs::remove(parent);
    }
    // A parent that cannot be made says the system's reason.
    const fs::path missing = parent / "missing" / "Pullbay_Temp";
    InstanceTempFolder orphan(missing.wstring() + L"/");
    EXPECT_TRUE(orphan.Path().empty());
    EXPECT_EQ(orphan.FailedFolder(), missing.wstring());
    EXPECT_EQ(orphan.FailureReason(), core::ErrnoText(ENOENT));
}

// With TMPDIR unset the shared folder is in the per-user root, which is
// made on demand; none of it is in the shared /tmp.
TEST_F(InstanceTempFolderTest, WithoutTmpdirTheSharedFolderIsInThePerUserRoot)
{
    const fs::path home = fs::path(std::getenv("TMPDIR")) / "instance-home";
    fs::create_directories(home);
    test::EnvironmentScope environment;
    environment.Unset("TMPDIR");
    environment.Unset("XDG_CACHE_HOME");
    environment.Set("HOME", home.string());
    const fs::path shared = home / ".cache" / "pullbay" / "Pullbay_Temp";
    ASSERT_EQ(GetTempFolder(kTempFolderName), shared.wstring() + L"/");

    InstanceTempFolder folder(GetTempFolder(kTempFolderName));
    const fs::path own = PathOf(folder);
    ASSERT_FALSE(own.empty()) << core::ToUtf8(folder.FailureReason());
    EXPECT_EQ(own.parent_path().parent_path(), shared);
    EXPECT_EQ(fs::status(home / ".cache").permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(home / ".cache" / "pullbay").permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(shared).permissions(), fs::perms::owner_all);
}

}  // namespace
}  // namespace pullbay::engine
