// Temporary files of the downloads: the private folder, unique new files, the
// clean-up that never follows a link, and the commit that never leaves a
// partial file under the final name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/Exceptions.h"
#include "core/FileStream.h"
#include "core/TextUnits.h"
#include "core/Win32Errors.h"
#include "engine/TempFiles.h"
#include "support/EnvironmentScope.h"

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
        for (auto it = mounted.rbegin(); it != mounted.rend(); ++it) {
            ::umount2(it->c_str(), MNT_DETACH);
        }
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // A tmpfs of its own, another file system than TMPDIR; empty when this
    // process may not mount.
    std::optional<fs::path> MountTmpfs(const char* strSize)
    {
        return Mount("tmpfs", "other-fs", std::string("size=") + strSize);
    }

    // A ramfs: another file system, one that keeps no extended attributes.
    std::optional<fs::path> MountRamfs() { return Mount("ramfs", "ramfs", ""); }

    std::optional<fs::path> Mount(const char* strType, const char* strName,
                                  const std::string& strOptions)
    {
        const fs::path mountPoint = root / strName;
        fs::create_directories(mountPoint);
        if (::mount(strType, mountPoint.c_str(), strType, 0, strOptions.c_str()) != 0) {
            return std::nullopt;
        }
        mounted.push_back(mountPoint);
        return mountPoint;
    }

    fs::path root;
    std::vector<fs::path> mounted;
};

// The hidden copies in a folder: entries named ".PBT<hex>.tmp" not in
// known (the ones a test made itself).
std::set<std::string> CopiesIn(const fs::path& folder, const std::set<std::string>& known = {})
{
    static const std::regex copyName("\\.PBT[0-9A-F]{1,8}\\.tmp");
    std::set<std::string> copies;
    for (const std::string& strName : Entries(folder)) {
        if (std::regex_match(strName, copyName) && known.count(strName) == 0) {
            copies.insert(strName);
        }
    }
    return copies;
}

// Waits (bounded) until one new hidden copy is in the folder; its name, or
// empty when none came.
std::string WaitForCopy(const fs::path& folder, const std::set<std::string>& known)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::set<std::string> copies = CopiesIn(folder, known);
        if (!copies.empty()) {
            return *copies.begin();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::string();
}

// The marker attribute of a file; nullopt when it has none.
std::optional<std::string> CopyMarkerOf(const fs::path& path)
{
    char buffer[512];
    const ssize_t intSize = ::lgetxattr(path.c_str(), kCopyMarkerAttribute, buffer, sizeof buffer);
    if (intSize < 0) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(intSize));
}

// A commit across file systems that stops in the middle of its copy: the
// source is a FIFO that this side keeps open for writing, so the commit
// waits in its read with its hidden copy made, locked and marked. Run in a
// child process (Start), it can be killed there, as kill -9 would; the
// copy then is what a dead commit leaves.
class StalledCommit {
public:
    explicit StalledCommit(const fs::path& fifo) : m_fifo(fifo)
    {
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Read and write: the commit's open for reading does not wait.
        m_intWriteFd = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_GE(m_intWriteFd, 0);
    }
    ~StalledCommit()
    {
        Kill();
        if (m_intWriteFd >= 0) {
            ::close(m_intWriteFd);
        }
    }
    StalledCommit(const StalledCommit&) = delete;
    StalledCommit& operator=(const StalledCommit&) = delete;

    void StartInChild(const fs::path& destination)
    {
        m_intChild = ::fork();
        if (m_intChild == 0) {
            ::alarm(60);
            try {
                CommitFile(Wide(m_fifo), Wide(destination));
            } catch (...) {
            }
            ::_exit(0);
        }
        ASSERT_GT(m_intChild, 0);
    }
    // kill -9, and the child is gone (its locks with it) on return.
    void Kill()
    {
        if (m_intChild > 0) {
            ::kill(m_intChild, SIGKILL);
            int intStatus = 0;
            ::waitpid(m_intChild, &intStatus, 0);
            m_intChild = -1;
        }
    }
    // Writes the rest of the body and ends it (in-process commits).
    void Finish(const std::string& strBody)
    {
        EXPECT_EQ(::write(m_intWriteFd, strBody.data(), strBody.size()),
                  static_cast<ssize_t>(strBody.size()));
        ::close(m_intWriteFd);
        m_intWriteFd = -1;
    }

private:
    fs::path m_fifo;
    int m_intWriteFd = -1;
    pid_t m_intChild = -1;
};

TEST_F(TempFilesTest, GetTempFolderFollowsTmpdirElseThePerUserRoot)
{
    struct Row {
        const char* strTmpdir;  // nullptr: unset
        const wchar_t* strExpected;
    };
    const Row table[] = {
        {"/var/x", L"/var/x/Pullbay_Temp/"},
        {"/var/x//", L"/var/x/Pullbay_Temp/"},
        {"", L"/home/u/.cache/pullbay/Pullbay_Temp/"},
        {nullptr, L"/home/u/.cache/pullbay/Pullbay_Temp/"},
        {"/", L"/Pullbay_Temp/"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.strTmpdir != nullptr ? row.strTmpdir : "(unset)");
        test::EnvironmentScope environment;
        environment.Set("TMPDIR", row.strTmpdir != nullptr
                                      ? std::optional<std::string>(row.strTmpdir)
                                      : std::nullopt);
        environment.Unset("XDG_CACHE_HOME");
        environment.Set("HOME", "/home/u");
        EXPECT_EQ(GetTempFolder(kTempFolderName), row.strExpected);
    }
}

// With TMPDIR unset the temporary files go to the per-user root, made on
// demand with private modes (~/.cache need not exist), never to /tmp.
TEST_F(TempFilesTest, WithoutTmpdirTheFilesGoUnderThePerUserCacheRoot)
{
    const fs::path home = root / "home";
    fs::create_directories(home);
    test::EnvironmentScope environment;
    environment.Unset("TMPDIR");
    environment.Unset("XDG_CACHE_HOME");
    environment.Set("HOME", home.string());

    const std::wstring strFolder = GetTempFolder(kTempFolderName);
    const fs::path folder = home / ".cache" / "pullbay" / "Pullbay_Temp";
    EXPECT_EQ(strFolder, Wide(folder) + L"/");
    std::unique_ptr<core::FileStream> pStream;
    std::wstring strPath;
    ASSERT_EQ(CreateTempFileStream(strFolder, pStream, strPath), S_OK);
    EXPECT_EQ(Narrow(strPath).parent_path(), folder);
    for (const fs::path& level : {home / ".cache", home / ".cache" / "pullbay", folder}) {
        EXPECT_EQ(PermissionBits(level), 0700u) << level;
    }

    // XDG_CACHE_HOME, when absolute, holds the root instead.
    pStream.reset();
    environment.Set("XDG_CACHE_HOME", (root / "xdg-cache").string());
    const std::wstring strXdgFolder = GetTempFolder(kTempFolderName);
    EXPECT_EQ(strXdgFolder, Wide(root / "xdg-cache" / "pullbay" / "Pullbay_Temp") + L"/");
    ASSERT_EQ(CreateTempFileName(strXdgFolder, strPath), S_OK);
    EXPECT_EQ(Narrow(strPath).parent_path(), root / "xdg-cache" / "pullbay" / "Pullbay_Temp");
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

// Files the user or another program named like the hidden copies of a
// commit: a name alone never makes a file the program's, on any file system.
void PlantLookAlikes(const fs::path& dest, const fs::path& outside)
{
    fs::create_directories(dest / ".PBT7.tmp");
    WriteFile(dest / ".PBT1A2B.tmp", "the user's");
    WriteFile(dest / ".PBTxyz.tmp", "the user's");
    WriteFile(dest / "PBT99.tmp", "the user's");
    WriteFile(outside, "outside");
    fs::create_symlink(outside, dest / ".PBT5E6F.tmp");
}

const std::set<std::string> kLookAlikes = {".PBT7.tmp", ".PBT1A2B.tmp", ".PBTxyz.tmp", "PBT99.tmp",
                                           ".PBT5E6F.tmp"};

TEST_F(TempFilesTest, AUserFileNamedLikeACommitCopySurvivesTheSweep)
{
    const fs::path dest = root / "dest";
    fs::create_directories(dest);
    PlantLookAlikes(dest, root / "outside.txt");
    // A marker that names another file (a copy of a copy, or a forged
    // one): not the program's copy either.
    WriteFile(dest / ".PBT3C4D.tmp", "copied with its attributes");
    const std::string strForged = std::string(kCopyMarkerValue) + " 1 .PBT3C4D.tmp";
    const bool bAttributes = ::setxattr((dest / ".PBT3C4D.tmp").c_str(), kCopyMarkerAttribute,
                                        strForged.data(), strForged.size(), 0) == 0;

    RemoveAbandonedCopies(Wide(dest));

    std::set<std::string> expected = kLookAlikes;
    expected.insert(".PBT3C4D.tmp");
    EXPECT_EQ(Entries(dest), expected);
    EXPECT_EQ(ReadFile(dest / ".PBT1A2B.tmp"), "the user's");
    EXPECT_EQ(ReadFile(root / "outside.txt"), "outside");
    if (!bAttributes) {
        GTEST_LOG_(INFO) << "this file system keeps no user attributes";
    }
}

// The hidden copy of a commit across file systems is marked and locked
// while its commit runs: one under way stays, one whose process was killed
// goes with the next sweep, and the user's look-alikes stay throughout.
TEST_F(TempFilesTest, TheCopyOfAKilledCommitGoesAndEverythingElseStays)
{
    const std::optional<fs::path> other = MountTmpfs("4m");
    if (!other) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    PlantLookAlikes(*other, root / "outside.txt");
    StalledCommit commit(root / "PBT1.tmp");
    commit.StartInChild(*other / "a.txt");
    const std::string strCopy = WaitForCopy(*other, kLookAlikes);
    ASSERT_FALSE(strCopy.empty()) << "the commit made no copy";
    struct stat info {};
    ASSERT_EQ(::lstat((*other / strCopy).c_str(), &info), 0);
    EXPECT_EQ(CopyMarkerOf(*other / strCopy),
              std::string(kCopyMarkerValue) + " " + std::to_string(info.st_ino) + " " + strCopy);

    // Under way: its lock is held.
    RemoveAbandonedCopies(Wide(*other));
    std::set<std::string> expected = kLookAlikes;
    expected.insert(strCopy);
    EXPECT_EQ(Entries(*other), expected);

    commit.Kill();
    RemoveAbandonedCopies(Wide(*other));
    EXPECT_EQ(Entries(*other), kLookAlikes);
    EXPECT_EQ(ReadFile(*other / ".PBT1A2B.tmp"), "the user's");
    EXPECT_EQ(ReadFile(root / "outside.txt"), "outside");
}

// Where the file system keeps no user attributes the copy cannot be
// marked: the commit still works, and a copy left by a killed commit is
// never swept (a stray hidden file rather than a risk to a user's file).
TEST_F(TempFilesTest, WithoutExtendedAttributesNoCopyIsEverSwept)
{
    const std::optional<fs::path> other = MountRamfs();
    if (!other) {
        GTEST_SKIP() << "cannot mount a ramfs here";
    }
    WriteFile(root / "PBT1.tmp", "body");
    CommitFile(Wide(root / "PBT1.tmp"), Wide(*other / "a.txt"));
    EXPECT_EQ(ReadFile(*other / "a.txt"), "body");
    EXPECT_EQ(Entries(*other), (std::set<std::string>{"a.txt"}));

    WriteFile(*other / ".PBT1A2B.tmp", "the user's");
    StalledCommit commit(root / "PBT2.tmp");
    commit.StartInChild(*other / "b.txt");
    const std::set<std::string> known = {"a.txt", ".PBT1A2B.tmp"};
    const std::string strCopy = WaitForCopy(*other, known);
    ASSERT_FALSE(strCopy.empty()) << "the commit made no copy";
    commit.Kill();
    EXPECT_EQ(CopyMarkerOf(*other / strCopy), std::nullopt);
    RemoveAbandonedCopies(Wide(*other));
    EXPECT_EQ(Entries(*other), (std::set<std::string>{"a.txt", ".PBT1A2B.tmp", strCopy}));
    EXPECT_EQ(ReadFile(*other / ".PBT1A2B.tmp"), "the user's");
}

// The stored file carries no marker: renamed by its user to a copy's name
// later, it is still never taken for one.
TEST_F(TempFilesTest, TheStoredFileCarriesNoMarker)
{
    const std::optional<fs::path> other = MountTmpfs("4m");
    if (!other) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    WriteFile(root / "PBT1.tmp", "body");
    CommitFile(Wide(root / "PBT1.tmp"), Wide(*other / "a.txt"));
    EXPECT_EQ(CopyMarkerOf(*other / "a.txt"), std::nullopt);
    fs::rename(*other / "a.txt", *other / ".PBT1A2B.tmp");
    RemoveAbandonedCopies(Wide(*other));
    EXPECT_EQ(ReadFile(*other / ".PBT1A2B.tmp"), "body");
}

// NoReplace never replaces an entry, of any kind, whether it was there
// before or appeared while the commit ran: the commit reports it and
// changes nothing. Replace still replaces.
TEST_F(TempFilesTest, CommitWithoutReplacingReportsATakenName)
{
    const std::uint32_t uintMode = StoredFileMode();
    WriteFile(root / "PBT1.tmp", "new");
    WriteFile(root / "a.txt", "theirs");
    fs::create_directory(root / "folder");
    fs::create_symlink(root / "missing", root / "dangling");
    for (const char* strName : {"a.txt", "folder", "dangling"}) {
        SCOPED_TRACE(strName);
        EXPECT_EQ(CommitFile(Wide(root / "PBT1.tmp"), Wide(root / strName), uintMode,
                             CommitMode::NoReplace),
                  CommitResult::TargetExists);
        EXPECT_EQ(ReadFile(root / "PBT1.tmp"), "new");
    }
    EXPECT_EQ(ReadFile(root / "a.txt"), "theirs");
    EXPECT_TRUE(fs::is_empty(root / "folder"));

    EXPECT_EQ(
        CommitFile(Wide(root / "PBT1.tmp"), Wide(root / "b.txt"), uintMode, CommitMode::NoReplace),
        CommitResult::Committed);
    EXPECT_EQ(ReadFile(root / "b.txt"), "new");
    EXPECT_FALSE(fs::exists(root / "PBT1.tmp"));

    WriteFile(root / "PBT2.tmp", "newer");
    EXPECT_EQ(
        CommitFile(Wide(root / "PBT2.tmp"), Wide(root / "a.txt"), uintMode, CommitMode::Replace),
        CommitResult::Committed);
    EXPECT_EQ(ReadFile(root / "a.txt"), "newer");
}

TEST_F(TempFilesTest, CommitAcrossFileSystemsWithoutReplacingReportsATakenName)
{
    const std::optional<fs::path> other = MountTmpfs("4m");
    if (!other) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::uint32_t uintMode = StoredFileMode();
    // Taken before the commit: nothing is copied.
    WriteFile(root / "PBT1.tmp", "new");
    WriteFile(*other / "a.txt", "theirs");
    EXPECT_EQ(CommitFile(Wide(root / "PBT1.tmp"), Wide(*other / "a.txt"), uintMode,
                         CommitMode::NoReplace),
              CommitResult::TargetExists);
    EXPECT_EQ(ReadFile(*other / "a.txt"), "theirs");
    EXPECT_EQ(ReadFile(root / "PBT1.tmp"), "new");
    EXPECT_EQ(Entries(*other), (std::set<std::string>{"a.txt"}));

    // Taken while the copy is made: the final rename does not replace it,
    // and the copy goes.
    // Declared first, so that the stalled source ends (and the commit with
    // it) before the result is waited for, also when the test fails.
    std::future<CommitResult> result;
    StalledCommit stalled(root / "PBT2.tmp");
    result = std::async(std::launch::async, [&] {
        return CommitFile(Wide(root / "PBT2.tmp"), Wide(*other / "b.txt"), uintMode,
                          CommitMode::NoReplace);
    });
    const std::set<std::string> known = {"a.txt"};
    ASSERT_FALSE(WaitForCopy(*other, known).empty()) << "the commit made no copy";
    WriteFile(*other / "b.txt", "appeared meanwhile");
    stalled.Finish("mine");
    EXPECT_EQ(result.get(), CommitResult::TargetExists);
    EXPECT_EQ(ReadFile(*other / "b.txt"), "appeared meanwhile");
    EXPECT_EQ(Entries(*other), (std::set<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(fs::exists(root / "PBT2.tmp")) << "the temporary file stays for the next try";

    // Free: committed.
    EXPECT_EQ(CommitFile(Wide(root / "PBT1.tmp"), Wide(*other / "c.txt"), uintMode,
                         CommitMode::NoReplace),
              CommitResult::Committed);
    EXPECT_EQ(ReadFile(*other / "c.txt"), "new");
    EXPECT_FALSE(fs::exists(root / "PBT1.tmp"));
}

// Where a file system refuses RENAME_NOREPLACE, a hard link stands in: it
// never replaces either.
TEST_F(TempFilesTest, LinkThenUnlinkNeverReplaces)
{
    WriteFile(root / "from", "mine");
    WriteFile(root / "taken", "theirs");
    errno = 0;
    EXPECT_EQ(detail::LinkThenUnlink(AT_FDCWD, (root / "from").c_str(), AT_FDCWD,
                                     (root / "taken").c_str()),
              -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(root / "taken"), "theirs");
    EXPECT_EQ(ReadFile(root / "from"), "mine");

    EXPECT_EQ(detail::LinkThenUnlink(AT_FDCWD, (root / "from").c_str(), AT_FDCWD,
                                     (root / "free").c_str()),
              0);
    EXPECT_EQ(ReadFile(root / "free"), "mine");
    EXPECT_FALSE(fs::exists(root / "from"));

    errno = 0;
    EXPECT_EQ(detail::RenameWithoutReplacing(AT_FDCWD, (root / "free").c_str(), AT_FDCWD,
                                             (root / "taken").c_str()),
              -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(root / "taken"), "theirs");
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
