// Temporary files of the downloads: the private folder, unique new files, the
// clean-up that never follows a link, and the commit that never leaves a
// partial file under the final name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/FileStream.h"
#include "core/TextUnits.h"
#include "core/Win32Errors.h"
#include "engine/TempFiles.h"

namespace pullbay::engine {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& strContents)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << strContents;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::wstring Wide(const fs::path& path)
{
    return core::FromUtf8(path.string());
}

fs::path Narrow(const std::wstring& strPath)
{
    return fs::path(core::ToUtf8(strPath));
}

mode_t PermissionBits(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Names in a folder, hidden ones included.
std::set<std::string> Entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A fresh folder under the run's private TMPDIR for each test.
class TempFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(std::getenv("TMPDIR")) /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(root);
    }
    void TearDown() override
    {
        if (mounted) {
            ::umount2(mounted->c_str(), MNT_DETACH);
        }
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // A tmpfs of its own, another file system than TMPDIR; empty when this
    // process may not mount.
    std::optional<fs::path> MountTmpfs(const char* strSize)
    {
        const fs::path mountPoint = root / "other-fs";
        fs::create_directories(mountPoint);
        const std::string strOptions = std::string("size=") + strSize;
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, strOptions.c_str()) != 0) {
            return std::nullopt;
        }
        mounted = mountPoint;
        return mountPoint;
    }

    fs::path root;
    std::optional<fs::path> mounted;
};

TEST_F(TempFilesTest, GetTempFolderFollowsTmpdir)
{
    const std::string strSaved = std::getenv("TMPDIR");
    struct Row {
        const char* strTmpdir;  // nullptr: unset
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {"/var/x", L"/var/x/Pullbay_Temp/"},
        {"/var/x//", L"/var/x/Pullbay_Temp/"},
        {"", L"/tmp/Pullbay_Temp/"},
        {nullptr, L"/tmp/Pullbay_Temp/"},
        {"/", L"/Pullbay_Temp/"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.strTmpdir != nullptr ? row.strTmpdir : "(unset)");
        if (row.strTmpdir != nullptr) {
            ::setenv("TMPDIR", row.strTmpdir, 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        EXPECT_EQ(GetTempFolder(kTempFolderName), row.strExpected);
    }
    ::setenv("TMPDIR", strSaved.c_str(), 1);
}

TEST_F(TempFilesTest, MissingFolderIsCreatedAndEachCallGetsANewPrivateFile)
{
    const fs::path folder = root / "Pullbay_Temp";
    const std::wstring strFolder = Wide(folder) + L"/";
    std::unique_ptr<core::FileStream> pStream;
    std::wstring strFirst;
    std::wstring strSecond;
    ASSERT_EQ(CreateTempFileStream(strFolder, pStream, strFirst), S_OK);
    ASSERT_EQ(CreateTempFileName(strFolder, strSecond), S_OK);
    std::uint32_t uintWritten = 0;
    ASSERT_EQ(pStream->Write("body", 4, &uintWritten), S_OK);
    pStream.reset();

    EXPECT_NE(strFirst, strSecond);
    EXPECT_EQ(ReadFile(Narrow(strFirst)), "body");
    EXPECT_EQ(fs::file_size(Narrow(strSecond)), 0u);
    EXPECT_EQ(PermissionBits(folder), 0700u);
    const std::regex namePattern("PBT[0-9A-F]{1,8}\\.tmp");
    for (const std::wstring& strPath : {strFirst, strSecond}) {
        const fs::path path = Narrow(strPath);
        EXPECT_EQ(path.parent_path(), folder);
        EXPECT_TRUE(std::regex_match(path.filename().string(), namePattern)) << path;
        EXPECT_EQ(PermissionBits(path), 0600u);
    }
}

TEST_F(TempFilesTest, MissingParentIsNotCreated)
{
    const std::wstring strFolder = Wide(root / "no-such-parent" / "Pullbay_Temp") + L"/";
    std::wstring strPath = L"untouched";
    std::unique_ptr<core::FileStream> pStream;
    EXPECT_TRUE(Failed(CreateTempFileStream(strFolder, pStream, strPath)));
    EXPECT_EQ(pStream, nullptr);
    EXPECT_EQ(strPath, L"untouched");
    EXPECT_FALSE(fs::exists(root / "no-such-parent"));
}

// Anyone may create names in /tmp: a folder that is not ours and private is
// never used, and nothing is created where a planted link points.
TEST_F(TempFilesTest, FolderThatIsNotPrivatelyOursIsRefused)
{
    const fs::path victim = root / "victim";
    fs::create_directories(victim);
    const fs::path link = root / "link";
    fs::create_directory_symlink(victim, link);
    const fs::path dangling = root / "dangling";
    fs::create_symlink(victim / "missing", dangling);
    const fs::path file = root / "file";
    WriteFile(file, "x");
    std::vector<fs::path> folders = {link, dangling, file};
    for (const mode_t uintMode : {0777, 0770, 0702}) {
        folders.push_back(root / ("mode" + std::to_string(uintMode)));
        fs::create_directory(folders.back());
        ::chmod(folders.back().c_str(), uintMode);
    }
    if (::geteuid() == 0) {
        folders.push_back(root / "other-user");
        fs::create_directory(folders.back());
        ::chmod(folders.back().c_str(), 0700);
        ASSERT_EQ(::chown(folders.back().c_str(), 65534, 65534), 0);
    }
    for (const fs::path& folder : folders) {
        SCOPED_TRACE(folder.filename().string());
        std::wstring strPath;
        EXPECT_EQ(CreateTempFileName(Wide(folder) + L"/", strPath), E_ACCESSDENIED);
        EXPECT_TRUE(strPath.empty());
    }
    EXPECT_TRUE(fs::is_empty(victim));
    EXPECT_EQ(ReadFile(file), "x");
}

// The thread keeps its folder open between files: whatever happens to the
// path meanwhile, a file is made only in a folder that the path names now
// and that is still private, never in the one kept from before.
TEST_F(TempFilesTest, KeptFolderIsUsedOnlyWhileThePathStillNamesIt)
{
    const fs::path folder = root / "kept" / "Pullbay_Temp";
    fs::create_directories(folder.parent_path());
    const std::wstring strFolder = Wide(folder) + L"/";
    std::unique_ptr<core::FileStream> pStream;
    std::wstring strPath;
    ASSERT_EQ(CreateTempFileStream(strFolder, pStream, strPath), S_OK);
    EXPECT_EQ(fs::path(Narrow(strPath)).parent_path(), folder);

    // Removed: made again.
    pStream.reset();
    fs::remove_all(folder);
    ASSERT_EQ(CreateTempFileStream(strFolder, pStream, strPath), S_OK);
    EXPECT_TRUE(fs::exists(Narrow(strPath)));

    // Moved away and replaced by a new folder: the new one gets the file.
    pStream.reset();
    const fs::path moved = root / "kept" / "moved";
    fs::rename(folder, moved);
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0700);
    ASSERT_EQ(CreateTempFileStream(strFolder, pStream, strPath), S_OK);
    EXPECT_EQ(fs::path(Narrow(strPath)).parent_path(), folder);
    EXPECT_TRUE(fs::exists(Narrow(strPath)));

    // Opened to others, or swapped for a link: refused, nothing created.
    pStream.reset();
    const std::size_t uintEntries = std::distance(fs::directory_iterator(moved), {});
    ::chmod(folder.c_str(), 0777);
    EXPECT_EQ(CreateTempFileStream(strFolder, pStream, strPath), E_ACCESSDENIED);
    ::chmod(folder.c_str(), 0700);
    fs::remove_all(folder);
    fs::create_directory_symlink(moved, folder);
    EXPECT_EQ(CreateTempFileStream(strFolder, pStream, strPath), E_ACCESSDENIED);
    EXPECT_EQ(pStream, nullptr);
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(moved), {})),
              uintEntries);
}

TEST_F(TempFilesTest, CleanUpKeepsDotEntriesAndFoldersAndNeverFollowsLinks)
{
    const fs::path folder = root / "Pullbay_Temp";
    const fs::path outside = root / "outside";
    fs::create_directories(folder / "sub" / "deeper");
    fs::create_directories(folder / ".kept-folder");
    fs::create_directories(outside / "inner");
    WriteFile(folder / "PBT1.tmp", "a");
    WriteFile(folder / ".kept", "b");
    WriteFile(folder / ".kept-folder" / "file", "c");
    WriteFile(folder / "sub" / "PBT2.tmp", "d");
    WriteFile(folder / "sub" / "deeper" / "PBT3.tmp", "e");
    WriteFile(outside / "target.txt", "precious");
    WriteFile(outside / "inner" / "deep.txt", "precious too");
    fs::create_symlink(outside / "target.txt", folder / "link-to-file");
    fs::create_directory_symlink(outside, folder / "link-to-folder");
    fs::create_directory_symlink(outside, folder / "sub" / "nested-link");
    fs::create_symlink(outside / "missing", folder / "dangling");

    // The folder itself is never entered through a link either.
    fs::create_directory_symlink(folder / "sub", root / "link-to-temp");
    EXPECT_FALSE(DeleteFolderContents(Wide(root / "link-to-temp") + L"/"));
    EXPECT_FALSE(DeleteFolderContents(Wide(root / "missing")));
    EXPECT_EQ(ReadFile(folder / "sub" / "PBT2.tmp"), "d");

    EXPECT_TRUE(DeleteFolderContents(Wide(folder) + L"/"));

    EXPECT_EQ(Entries(folder), (std::set<std::string>{".kept", ".kept-folder", "sub"}));
    EXPECT_EQ(Entries(folder / "sub"), (std::set<std::string>{"deeper"}));
    EXPECT_TRUE(fs::is_empty(folder / "sub" / "deeper"));
    EXPECT_EQ(ReadFile(folder / ".kept-folder" / "file"), "c");
    EXPECT_EQ(ReadFile(outside / "target.txt"), "precious");
    EXPECT_EQ(ReadFile(outside / "inner" / "deep.txt"), "precious too");
}

TEST_F(TempFilesTest, CommitReplacesAnExistingFile)
{
    WriteFile(root / "PBT1.tmp", "new");
    WriteFile(root / "a.txt", "old");
    CommitFile(Wide(root / "PBT1.tmp"), Wide(root / "a.txt"));
    EXPECT_EQ(ReadFile(root / "a.txt"), "new");
    EXPECT_FALSE(fs::exists(root / "PBT1.tmp"));
}

TEST_F(TempFilesTest, FailedCommitThrowsAndKeepsTheTemporaryFile)
{
    WriteFile(root / "PBT1.tmp", "body");
    fs::create_directories(root / "dir" / "child");
    EXPECT_THROW(CommitFile(Wide(root / "PBT1.tmp"), Wide(root / "dir")), core::Exception);
    EXPECT_THROW(CommitFile(Wide(root / "PBT1.tmp"), Wide(root / "missing" / "a.txt")),
                 core::FileNotFoundException);
    const std::wstring strWithNul = Wide(root) + std::wstring(L"/a\0b", 4);
    EXPECT_THROW(CommitFile(Wide(root / "PBT1.tmp"), strWithNul), core::InvalidNameException);
    EXPECT_EQ(ReadFile(root / "PBT1.tmp"), "body");
    EXPECT_TRUE(fs::exists(root / "dir" / "child"));
    EXPECT_FALSE(fs::exists(root / "a"));
}

TEST_F(TempFilesTest, CommitAcrossFileSystemsCopiesThenRemovesTheSource)
{
    const std::optional<fs::path> other = MountTmpfs("4m");
    if (!other) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    std::string strBody(300000, '\0');
    for (std::size_t i = 0; i < strBody.size(); ++i) {
        strBody[i] = static_cast<char>(i * 7 + i / 251);
    }
    WriteFile(root / "PBT1.tmp", strBody);
    ::chmod((root / "PBT1.tmp").c_str(), 0600);
    WriteFile(*other / "a.txt", "old");

    CommitFile(Wide(root / "PBT1.tmp"), Wide(*other / "a.txt"));

    EXPECT_EQ(ReadFile(*other / "a.txt"), strBody);
    // The copy carries the stored file's mode (0666 less the umask), as a
    // rename on one file system does.
    const mode_t uintMask = ::umask(022);
    ::umask(uintMask);
    EXPECT_EQ(PermissionBits(*other / "a.txt"), 0666u & ~uintMask);
    EXPECT_FALSE(fs::exists(root / "PBT1.tmp"));
    EXPECT_EQ(Entries(*other), (std::set<std::string>{"a.txt"}));

    WriteFile(root / "PBT2.tmp", "x");
    fs::create_directory(*other / "folder");
    EXPECT_THROW(CommitFile(Wide(root / "PBT2.tmp"), Wide(*other / "folder")), core::Exception);
    EXPECT_TRUE(fs::is_empty(*other / "folder"));
    EXPECT_EQ(ReadFile(root / "PBT2.tmp"), "x");
}

TEST_F(TempFilesTest, DiskFullDuringCommitLeavesNoPartialFile)
{
    const std::optional<fs::path> other = MountTmpfs("1m");
    if (!other) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string strBody(2 * 1024 * 1024, 'z');
    WriteFile(root / "PBT1.tmp", strBody);
    WriteFile(*other / "a.txt", "old");

    try {
        CommitFile(Wide(root / "PBT1.tmp"), Wide(*other / "a.txt"));
        ADD_FAILURE() << "a commit into a full file system succeeded";
    } catch (const core::Win32Exception& failure) {
        EXPECT_EQ(failure.GetWin32Code(), core::kWin32DiskFull);
    }
    EXPECT_EQ(ReadFile(*other / "a.txt"), "old");
    EXPECT_EQ(Entries(*other), (std::set<std::string>{"a.txt"}));
    EXPECT_EQ(fs::file_size(root / "PBT1.tmp"), strBody.size());

    // Without an old file the destination stays absent.
    fs::remove(*other / "a.txt");
    EXPECT_THROW(CommitFile(Wide(root / "PBT1.tmp"), Wide(*other / "a.txt")), core::Win32Exception);
    EXPECT_TRUE(fs::is_empty(*other));
}

// The hidden copy of a commit across file systems is locked while its commit
// runs: a copy nobody holds was left by a process that died, and goes; one
// under way, and anything that is not such a copy, stays.
TEST_F(TempFilesTest, AbandonedCommitCopiesGoAndCopiesUnderWayStay)
{
    const fs::path dest = root / "dest";
    fs::create_directories(dest / ".PBT7.tmp");
    WriteFile(dest / ".PBT1A2B.tmp", "abandoned");
    WriteFile(dest / ".PBT3C4D.tmp", "under way");
    WriteFile(dest / ".PBTxyz.tmp", "the user's");
    WriteFile(dest / "PBT99.tmp", "the user's");
    WriteFile(root / "outside.txt", "outside");
    fs::create_symlink(root / "outside.txt", dest / ".PBT5E6F.tmp");
    const int intHeld = ::open((dest / ".PBT3C4D.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(intHeld, 0);
    ASSERT_EQ(::flock(intHeld, LOCK_EX), 0);

    RemoveAbandonedCopies(Wide(dest));

    EXPECT_EQ(Entries(dest), (std::set<std::string>{".PBT7.tmp", ".PBT3C4D.tmp", ".PBTxyz.tmp",
                                                    "PBT99.tmp", ".PBT5E6F.tmp"}));
    EXPECT_EQ(ReadFile(root / "outside.txt"), "outside");
    ::close(intHeld);
    RemoveAbandonedCopies(Wide(dest));
    EXPECT_FALSE(fs::exists(dest / ".PBT3C4D.tmp"));

}

}  // namespace
}  // namespace pullbay::engine

namespace pullbay::test {
namespace {

TEST(CommitFileModeTest, StoredFileTakesTheUsersUmaskNotThePrivateTemporaryMode)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(std::getenv("TMPDIR")) / "commit-mode";
    fs::create_directories(folder);
    const fs::path temp = folder / "t.tmp";
    std::ofstream(temp) << "x";
    fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    const mode_t previous = ::umask(027);
    engine::CommitFile(temp.wstring(), (folder / "stored.txt").wstring());
    ::umask(previous);
    EXPECT_EQ(fs::status(folder / "stored.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

}  // namespace
}  // namespace pullbay::test
