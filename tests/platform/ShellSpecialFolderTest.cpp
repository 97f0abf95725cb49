// Special folders: the XDG user directories as user-dirs.dirs names them (or
// their defaults), the file-system root, and the virtual folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/TextUnits.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/SpecialFolder.h"
#include "platform/shell/UserDirectories.h"

namespace pullbay::platform::shell {
namespace {

TEST(ShellUserDirsEntryTest, ValuesOfTheFile)
{
    const struct {
        const char* strText;
        std::optional<std::string> strValue;
    } rows[] = {
        {"XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "/h/Bilder"},
        {"  XDG_PICTURES_DIR = \"$HOME/My Pictures\"", "/h/My Pictures"},
        {"XDG_PICTURES_DIR=\"/data/pics\"", "/data/pics"},
        {"XDG_PICTURES_DIR=\"$HOME\"", "/h"},
        {"XDG_PICTURES_DIR=\"$HOME/a\\\"b\\\\c\"", "/h/a\"b\\c"},
        // The last valid line wins; invalid ones are passed over.
        {"XDG_PICTURES_DIR=\"$HOME/One\"\nXDG_PICTURES_DIR=\"$HOME/Two\"\n", "/h/Two"},
        {"XDG_PICTURES_DIR=\"$HOME/One\"\nXDG_PICTURES_DIR=\"relative\"\n", "/h/One"},
        {"# XDG_PICTURES_DIR=\"$HOME/Commented\"", std::nullopt},
        {"XDG_PICTURES_DIRS=\"$HOME/Other\"", std::nullopt},
        {"XDG_PICTURES_DIR=\"$HOMEPICS\"", std::nullopt},
        {"XDG_PICTURES_DIR=$HOME/Unquoted", std::nullopt},
        {"XDG_PICTURES_DIR=\"$HOME/Unterminated\n", std::nullopt},
        {"XDG_PICTURES_DIR=\"\"", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.strText);
        EXPECT_EQ(UserDirectories::FindUserDirsEntry(row.strText, "XDG_PICTURES_DIR", "/h"),
                  row.strValue);
    }
}

// HOME and XDG_CONFIG_HOME point at folders of the test's own.
class ShellSpecialFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string strPattern = std::string(std::getenv("TMPDIR")) + "/shell-special-XXXXXX";
        ASSERT_NE(::mkdtemp(strPattern.data()), nullptr);
        m_root = strPattern;
        std::filesystem::create_directories(m_root / "config");
        ::setenv("HOME", Home().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
    }

    void TearDown() override
    {
        ::setenv("HOME", m_strSavedHome.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", m_strSavedConfig.c_str(), 1);
        std::filesystem::remove_all(m_root);
    }

    std::string Home() const { return (m_root / "home").string(); }

    static void WriteUserDirs(const std::filesystem::path& folder, const std::string& strText)
    {
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "user-dirs.dirs") << strText;
    }

    static std::optional<std::string> PathOf(SpecialFolder folder)
    {
        const std::optional<std::wstring> strPath =
            ItemIdList::ToPath(SpecialFolderLocation(folder));
        return strPath ? std::optional<std::string>(core::ToUtf8(*strPath)) : std::nullopt;
    }

    std::filesystem::path m_root;
    const std::string m_strSavedHome = std::getenv("HOME");
    const std::string m_strSavedConfig = std::getenv("XDG_CONFIG_HOME");
};

TEST_F(ShellSpecialFolderTest, UserDirectoriesFromTheFileElseTheirDefaults)
{
    WriteUserDirs(m_root / "config", "# written by a test\n"
                                     "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                     "XDG_MUSIC_DIR=\"/srv/music\"\n"
                                     "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                                     "XDG_VIDEOS_DIR=\"$HOME/Videos/Filme\"\n");
    EXPECT_EQ(PathOf(SpecialFolder::Desktop), Home() + "/Schreibtisch");
    EXPECT_EQ(PathOf(SpecialFolder::MyDocuments), Home() + "/Documents");
    EXPECT_EQ(PathOf(SpecialFolder::MyMusic), "/srv/music");
    EXPECT_EQ(PathOf(SpecialFolder::MyPictures), Home() + "/Bilder");
    EXPECT_EQ(PathOf(SpecialFolder::MyVideo), Home() + "/Videos/Filme");

    std::filesystem::remove(m_root / "config" / "user-dirs.dirs");
    EXPECT_EQ(PathOf(SpecialFolder::Desktop), Home() + "/Desktop");
    EXPECT_EQ(PathOf(SpecialFolder::MyMusic), Home() + "/Music");
    EXPECT_EQ(PathOf(SpecialFolder::MyPictures), Home() + "/Pictures");
    EXPECT_EQ(PathOf(SpecialFolder::MyVideo), Home() + "/Videos");
}

TEST_F(ShellSpecialFolderTest, ConfigHomeFallsBackToDotConfig)
{
    WriteUserDirs(Home() + "/.config", "XDG_PICTURES_DIR=\"$HOME/FromDotConfig\"\n");
    for (const char* strConfig : {"", "relative/config"}) {
        SCOPED_TRACE(strConfig);
        ::setenv("XDG_CONFIG_HOME", strConfig, 1);
        EXPECT_EQ(PathOf(SpecialFolder::MyPictures), Home() + "/FromDotConfig");
    }
}

TEST_F(ShellSpecialFolderTest, RootAndVirtualFolders)
{
    EXPECT_EQ(PathOf(SpecialFolder::MyComputer), "/");
    for (const auto& [folder, strName] : {std::pair{SpecialFolder::BitBucket, L"BitBucket"},
                                          std::pair{SpecialFolder::Network, L"Network"},
                                          std::pair{SpecialFolder::Recent, L"Recent"}}) {
        const ItemIdBytes list = SpecialFolderLocation(folder);
        EXPECT_EQ(ItemIdList::VirtualFolderName(list), strName);
        EXPECT_FALSE(ItemIdList::IsFileSystemFolder(list));
    }
}

}  // namespace
}  // namespace pullbay::platform::shell
