// Destination names: splitting the names that pages and file lists give,
// creating their folders, and copy names for clashes. Names come from
// servers, so every outcome must stay under the destination folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "engine/CreateDownloadPathException.h"
#include "engine/DestinationNames.h"

namespace pullbay::engine {
namespace {

namespace fs = std::filesystem;

enum class Outcome { Split, InvalidName, AccessDenied };

std::wstring Wide(const fs::path& path)
{
    return core::FromUtf8(path.string());
}

std::wstring CurrentDirectory()
{
    return Wide(fs::current_path());
}

class DestinationNamesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(std::getenv("TMPDIR")) /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        destination = root / "dest";
        fs::create_directories(destination);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    fs::path root;
    fs::path destination;
};

TEST(SplitDestinationNameTest, SplitsAtBothSeparatorsAndRefusesNamesWithoutAUsableLastPart)
{
    struct Row {
        std::wstring strName;
        Outcome outcome;
        std::vector<std::wstring> folders;
        std::wstring strFileName;
    };
    const Row table[] = {
        {L"a.txt", Outcome::Split, {}, L"a.txt"},
        {L"docs/2024/a.txt", Outcome::Split, {L"docs", L"2024"}, L"a.txt"},
        {L"docs\\2024\\a.txt", Outcome::Split, {L"docs", L"2024"}, L"a.txt"},
        {L"\\a.txt", Outcome::Split, {}, L"a.txt"},
        {L"/a.txt", Outcome::Split, {}, L"a.txt"},
        {L"a//b.txt", Outcome::Split, {L"a"}, L"b.txt"},
        {L"a/\\/b.txt", Outcome::Split, {L"a"}, L"b.txt"},
        {L"/etc/passwd", Outcome::Split, {L"etc"}, L"passwd"},
        {L"\\\\server\\share\\x", Outcome::Split, {L"server", L"share"}, L"x"},
        {L"../x", Outcome::Split, {L".."}, L"x"},
        {L"a/../../x", Outcome::Split, {L"a", L"..", L".."}, L"x"},
        {L"./a.txt", Outcome::Split, {L"."}, L"a.txt"},
        {L"...", Outcome::Split, {}, L"..."},
        {L"..a", Outcome::Split, {}, L"..a"},
        {L"b\u00FCcher/\U0001F600.txt", Outcome::Split, {L"b\u00FCcher"}, L"\U0001F600.txt"},
        // Controls a terminal would act on are stored as "_" (a tab too).
        {L"a\x1b[1m/b\u009b\r\x7f\t.txt", Outcome::Split, {L"a_[1m"}, L"b____.txt"},
        {L"\x07", Outcome::Split, {}, L"_"},
        {L"..", Outcome::AccessDenied, {}, L""},
        {L".", Outcome::AccessDenied, {}, L""},
        {L"a/..", Outcome::AccessDenied, {}, L""},
        {L"\\.", Outcome::AccessDenied, {}, L""},
        {L"", Outcome::InvalidName, {}, L""},
        {L"///", Outcome::InvalidName, {}, L""},
        {L"\\/\\", Outcome::InvalidName, {}, L""},
        {L"a/", Outcome::InvalidName, {}, L""},
        {std::wstring(L"a\0/../b", 7), Outcome::InvalidName, {}, L""},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strName));
        switch (row.outcome) {
        case Outcome::Split: {
            const DestinationName name = SplitDestinationName(row.strName);
            EXPECT_EQ(name.folders, row.folders);
            EXPECT_EQ(name.strFileName, row.strFileName);
            break;
        }
        case Outcome::InvalidName:
            EXPECT_THROW(SplitDestinationName(row.strName), core::InvalidNameException);
            break;
        case Outcome::AccessDenied:
            EXPECT_THROW(SplitDestinationName(row.strName), core::AccessDeniedException);
            break;
        }
    }
}

TEST(DestinationPathTest, FoldersAreMadeAbsoluteAndNeverJoinIntoTheRoot)
{
    const std::wstring strCwd = CurrentDirectory();
    EXPECT_EQ(NormalizeDestinationFolder(L"/a/b//"), L"/a/b");
    EXPECT_EQ(NormalizeDestinationFolder(L"///"), L"/");
    EXPECT_EQ(NormalizeDestinationFolder(L"rel/x/"), strCwd + L"/rel/x");
    EXPECT_EQ(NormalizeDestinationFolder(L""), strCwd);

    EXPECT_EQ(JoinPath(L"/", L"x"), L"/x");
    EXPECT_EQ(JoinPath(L"", L"x"), L"x");
    EXPECT_EQ(DisplayPath(L"", L"x"), L"x");
    EXPECT_EQ(DisplayPath(L"/a", L""), L"/a");
}

TEST_F(DestinationNamesTest, CreatePathFailuresNameTheLevel)
{
    std::ofstream(destination / "file") << "x";
    EXPECT_EQ(CreatePath(Wide(destination), {}), Wide(destination));
    const std::wstring strBlocked = Wide(destination / "file" / "sub");
    try {
        CreatePath(Wide(destination), {L"file", L"sub", L"deeper"});
        ADD_FAILURE() << "a level under a file was created";
    } catch (const CreateDownloadPathException& failure) {
        EXPECT_NE(std::wstring(failure.GetMessage()).find(strBlocked), std::wstring::npos)
            << core::ToUtf8(failure.GetMessage());
    }
    // A link inside the destination is not a way out of it, even to a
    // folder; the chosen folder itself may be a link.
    fs::create_directories(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", destination / "sub");
    EXPECT_THROW(CreatePath(Wide(destination), {L"sub"}), core::AccessDeniedException);
    EXPECT_THROW(CreatePath(Wide(destination), {L"sub", L"deeper"}), core::AccessDeniedException);
    EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
    fs::create_directory_symlink(destination, root / "linked-destination");
    EXPECT_EQ(CreatePath(Wide(root / "linked-destination"), {L"real"}),
              Wide(root / "linked-destination" / "real"));
    EXPECT_TRUE(fs::is_directory(destination / "real"));
    // The chosen folder itself is never created here.
    EXPECT_THROW(CreatePath(Wide(root / "gone"), {L"a"}), core::CreateTempFileException);
    EXPECT_FALSE(fs::exists(root / "gone"));
}

TEST_F(DestinationNamesTest, DotPartsAreRefusedBeforeAnythingIsCreatedForThem)
{
    const std::wstring strDest = Wide(destination);
    struct Row {
        std::vector<std::wstring> parts;
        std::wstring strRefusedPath;
    };
    const Row table[] = {
        {{L"a", L"..", L"..", L"x"}, strDest + L"/a/.."},
        {{L".."}, strDest + L"/.."},
        {{L"."}, strDest + L"/."},
        {{L"b", L""}, strDest + L"/b/"},
        {{L"c/../.."}, strDest + L"/c/../.."},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strRefusedPath));
        for (auto join : {&CreatePath, &JoinFolders}) {
            try {
                join(strDest, row.parts);
                ADD_FAILURE() << "a dot part was accepted";
            } catch (const core::AccessDeniedException& failure) {
                EXPECT_EQ(std::wstring(failure.GetMessage()),
                          L"Access to path '" + row.strRefusedPath + L"' is denied.");
            }
        }
    }
    EXPECT_EQ(JoinFolders(L"/d", {L"docs", L"2024"}), L"/d/docs/2024");
    // Levels before the refused part exist; nothing left the destination.
    EXPECT_TRUE(fs::is_directory(destination / "a"));
    EXPECT_TRUE(fs::is_empty(destination / "a"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1);
}

// The whole road of a hostile name, with and without sub-folders: split,
// then the folders created or dropped. What is not refused lies under the
// destination once links and dots are resolved.
TEST_F(DestinationNamesTest, HostileNamesStayUnderTheDestination)
{
    const std::wstring names[] = {
        L"docs/2024/a.txt",
        L"\\a.txt",
        L"/a.txt",
        L"a//b.txt",
        L"./a.txt",
        L"a/../../x",
        L"../x",
        L"..",
        L".",
        L"///",
        L"",
        L"/etc/passwd",
        L"\\\\server\\share\\x",
        L"docs/2024/b.txt",
    };
    const std::string strDest = fs::weakly_canonical(destination).string() + "/";
    for (const bool bProcessSubfolders : {true, false}) {
        for (const std::wstring& strName : names) {
            SCOPED_TRACE(core::ToUtf8(strName) + (bProcessSubfolders ? " (sub)" : " (flat)"));
            try {
                const DestinationName name = SplitDestinationName(strName);
                std::wstring strFolder = NormalizeDestinationFolder(Wide(destination));
                if (bProcessSubfolders) {
                    strFolder = CreatePath(strFolder, name.folders);
                }
                const fs::path full(core::ToUtf8(JoinPath(strFolder, name.strFileName)));
                const std::string strFull = fs::weakly_canonical(full).string();
                EXPECT_EQ(strFull.rfind(strDest, 0), 0u) << strFull;
                EXPECT_EQ(full.parent_path() == destination,
                          name.folders.empty() || !bProcessSubfolders);
            } catch (const core::FileOpenException&) {
                // Refused: AccessDeniedException or InvalidNameException.
            }
        }
    }
    EXPECT_TRUE(fs::is_directory(destination / "docs" / "2024"));
    EXPECT_TRUE(fs::is_directory(destination / "server" / "share"));
    EXPECT_TRUE(fs::is_directory(destination / "etc"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1);
}

TEST_F(DestinationNamesTest, CopyNameIsTheFirstFreeEntryOfAnyKind)
{
    const std::wstring strDest = Wide(destination);
    EXPECT_EQ(MakeCopyName(strDest, L"a.txt"), L"Copy of a.txt");

    std::ofstream(destination / "Copy of a.txt") << "x";
    EXPECT_EQ(MakeCopyName(strDest, L"a.txt"), L"Copy (2) of a.txt");

    // A folder and a dangling link clash like a file.
    fs::create_directory(destination / "Copy (2) of a.txt");
    fs::create_symlink(destination / "missing", destination / "Copy (3) of a.txt");
    for (int i = 4; i <= 9; ++i) {
        std::ofstream(destination / ("Copy (" + std::to_string(i) + ") of a.txt")) << "x";
    }
    EXPECT_EQ(MakeCopyName(strDest, L"a.txt"), L"Copy (10) of a.txt");
    EXPECT_FALSE(PathEntryExists(Wide(destination / "Copy (10) of a.txt")));
    EXPECT_TRUE(PathEntryExists(Wide(destination / "Copy (3) of a.txt")));
    EXPECT_FALSE(PathEntryExists(Wide(destination) + std::wstring(L"/Copy of a.txt\0x", 16)));
}

}  // namespace
}  // namespace pullbay::engine
