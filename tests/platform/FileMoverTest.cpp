// The move routine: files to their own targets, folder trees merged into
// existing folders, the consent hook's refusal, what it refuses to replace,
// and a tree moved to another file system.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/FileMover.h"
#include "support/TestFiles.h"

namespace pullbay::test {
namespace {

namespace fs = std::filesystem;
using platform::shell::FileMover;

class FileMoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(std::getenv("TMPDIR")) /
               (std::string("mover-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
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

    static void Write(const fs::path& path, const std::string& strContent)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << strContent;
    }

    // A consent hook that records every request and answers bAnswer.
    FileMover Recording(bool bAnswer)
    {
        return FileMover([this, bAnswer](const std::vector<std::wstring>& sources,
                                         const std::vector<std::wstring>& targets) {
            ++intAsked;
            askedSources = sources;
            askedTargets = targets;
            return bAnswer;
        });
    }

    fs::path root;
    std::optional<fs::path> mounted;
    int intAsked = 0;
    std::vector<std::wstring> askedSources;
    std::vector<std::wstring> askedTargets;
};

TEST_F(FileMoverTest, FilesGoToTheirOwnTargetsInOneConsentedOperation)
{
    Write(root / "low" / "1.tmp", "one");
    Write(root / "low" / "2.tmp", "two");
    Write(root / "dest" / "b.txt", "old");
    const std::vector<std::wstring> sources = {(root / "low" / "1.tmp").wstring(),
                                               (root / "low" / "2.tmp").wstring()};
    const std::vector<std::wstring> targets = {
        (root / "dest" / "new" / "deeper" / "a.txt").wstring(),
        (root / "dest" / "b.txt").wstring()};

    EXPECT_TRUE(Recording(true).Move(sources, targets));

    EXPECT_EQ(intAsked, 1);
    EXPECT_EQ(askedSources, sources);
    EXPECT_EQ(askedTargets, targets);
    EXPECT_EQ(ReadFile(root / "dest" / "new" / "deeper" / "a.txt"), "one")
        << "missing folders above a target are created";
    EXPECT_EQ(ReadFile(root / "dest" / "b.txt"), "two") << "an existing file is replaced";
    EXPECT_TRUE(fs::is_empty(root / "low"));
}

TEST_F(FileMoverTest, AFolderIsMergedIntoAnExistingFolderEntryByEntry)
{
    Write(root / "tree" / "a" / "b" / "c.txt", "new c");
    Write(root / "tree" / "a" / "d.txt", "d");
    Write(root / "tree" / "top.txt", "top");
    Write(root / "dest" / "a" / "b" / "c.txt", "old c");
    Write(root / "dest" / "a" / "kept.txt", "kept");
    Write(root / "dest" / "other.txt", "other");

    EXPECT_TRUE(FileMover().Move({(root / "tree").wstring()}, {(root / "dest").wstring()}));

    EXPECT_EQ(ReadFile(root / "dest" / "a" / "b" / "c.txt"), "new c");
    EXPECT_EQ(ReadFile(root / "dest" / "a" / "d.txt"), "d");
    EXPECT_EQ(ReadFile(root / "dest" / "top.txt"), "top");
    EXPECT_EQ(ReadFile(root / "dest" / "a" / "kept.txt"), "kept");
    EXPECT_EQ(ReadFile(root / "dest" / "other.txt"), "other");
    EXPECT_FALSE(fs::exists(root / "tree")) << "the emptied source folder goes";

    // A folder without a folder at its target is moved whole.
    Write(root / "tree2" / "x" / "y.txt", "y");
    EXPECT_TRUE(
        FileMover().Move({(root / "tree2").wstring()}, {(root / "fresh" / "place").wstring()}));
    EXPECT_EQ(ReadFile(root / "fresh" / "place" / "x" / "y.txt"), "y");
}

TEST_F(FileMoverTest, ARefusalMovesNothingAndMalformedRequestsAreNotAsked)
{
    Write(root / "low" / "1.tmp", "one");
    const std::wstring strSource = (root / "low" / "1.tmp").wstring();
    const std::wstring strTarget = (root / "dest" / "a.txt").wstring();

    EXPECT_FALSE(Recording(false).Move({strSource}, {strTarget}));
    EXPECT_EQ(intAsked, 1);
    EXPECT_TRUE(fs::exists(strSource));
    EXPECT_FALSE(fs::exists(root / "dest")) << "not even the target's folder is made";

    intAsked = 0;
    FileMover mover = Recording(true);
    EXPECT_FALSE(mover.Move({strSource}, {})) << "lists of different lengths";
    EXPECT_FALSE(mover.Move({strSource}, {L""}));
    EXPECT_FALSE(mover.Move({std::wstring(L"a\0b", 3)}, {strTarget}));
    EXPECT_TRUE(mover.Move({}, {})) << "nothing to move";
    EXPECT_EQ(intAsked, 0);
    EXPECT_TRUE(fs::exists(strSource));
}

TEST_F(FileMoverTest, AFailedEntryFailsTheOperationButTheOthersStillMove)
{
    Write(root / "low" / "file.tmp", "file");
    Write(root / "low" / "folder" / "inner.txt", "inner");
    Write(root / "low" / "ok.tmp", "ok");
    fs::create_directories(root / "dest" / "taken-by-folder");
    Write(root / "dest" / "taken-by-file", "file here");

    EXPECT_FALSE(FileMover().Move(
        {(root / "low" / "missing.tmp").wstring(), (root / "low" / "file.tmp").wstring(),
         (root / "low" / "folder").wstring(), (root / "low" / "ok.tmp").wstring()},
        {(root / "dest" / "m.txt").wstring(), (root / "dest" / "taken-by-folder").wstring(),
         (root / "dest" / "taken-by-file").wstring(), (root / "dest" / "ok.txt").wstring()}));

    EXPECT_TRUE(fs::is_directory(root / "dest" / "taken-by-folder"))
        << "a file never replaces a folder";
    EXPECT_TRUE(fs::is_empty(root / "dest" / "taken-by-folder"));
    EXPECT_EQ(ReadFile(root / "dest" / "taken-by-file"), "file here")
        << "a folder never replaces a file";
    EXPECT_EQ(ReadFile(root / "dest" / "ok.txt"), "ok");
    EXPECT_TRUE(fs::exists(root / "low" / "file.tmp"));
    EXPECT_TRUE(fs::exists(root / "low" / "folder" / "inner.txt"));
}

TEST_F(FileMoverTest, ALinkAmongTheSourcesMovesAsTheLink)
{
    Write(root / "outside" / "secret.txt", "secret");
    fs::create_directories(root / "tree");
    fs::create_directory_symlink(root / "outside", root / "tree" / "link");

    EXPECT_TRUE(FileMover().Move({(root / "tree").wstring()}, {(root / "dest").wstring()}));

    EXPECT_TRUE(fs::is_symlink(root / "dest" / "link"));
    EXPECT_EQ(ReadFile(root / "outside" / "secret.txt"), "secret");
}

TEST_F(FileMoverTest, ATreeMergesIntoAnotherFileSystemWithoutPartialFiles)
{
    const fs::path other = root / "other-fs";
    fs::create_directories(other);
    if (::mount("tmpfs", other.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    mounted = other;
    Write(root / "tree" / "a" / "b" / "c.txt", "c");
    Write(root / "tree" / "big.bin", std::string(200 * 1024, 'x'));
    ::chmod((root / "tree" / "a" / "b" / "c.txt").c_str(), 0640);
    Write(other / "a" / "kept.txt", "kept");

    EXPECT_TRUE(FileMover().Move({(root / "tree").wstring()}, {other.wstring()}));

    EXPECT_EQ(ReadFile(other / "a" / "b" / "c.txt"), "c");
    EXPECT_EQ(ReadFile(other / "big.bin").size(), 200u * 1024u);
    EXPECT_EQ(ReadFile(other / "a" / "kept.txt"), "kept");
    EXPECT_EQ(fs::status(other / "a" / "b" / "c.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(fs::exists(root / "tree"));

    // A file too large for the other file system: the target keeps its old
    // content, no hidden copy stays, the source stays.
    Write(root / "huge.tmp", std::string(2 * 1024 * 1024, 'h'));
    Write(other / "huge.txt", "old");
    EXPECT_FALSE(
        FileMover().Move({(root / "huge.tmp").wstring()}, {(other / "huge.txt").wstring()}));
    EXPECT_EQ(ReadFile(other / "huge.txt"), "old");
    EXPECT_TRUE(fs::exists(root / "huge.tmp"));
    for (const auto& entry : fs::directory_iterator(other)) {
        EXPECT_NE(entry.path().filename().string().rfind(".pbmove-", 0), 0u) << entry.path();
    }
}

}  // namespace
}  // namespace pullbay::test
