// Item identifier lists: round trips, the stored form, malformed lists, and
// parsing of display names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "core/TextUnits.h"
#include "platform/shell/ItemIdList.h"

namespace pullbay::platform::shell {
namespace {

TEST(ShellItemIdListTest, PathsRoundTripAndNormaliseLexically)
{
    std::wstring strDeep;
    for (int intLevel = 0; intLevel < 200; ++intLevel) {
        strDeep += L"/level" + std::to_wstring(intLevel);
    }
    const struct {
        std::wstring strIn;
        std::wstring strOut;
    } rows[] = {
        {L"/", L"/"},
        {L"/home/user/My Downloads", L"/home/user/My Downloads"},
        {L"/T\u00e9l\u00e9chargements/\u4e0b\u8f7d/\U0001F4C1",
         L"/T\u00e9l\u00e9chargements/\u4e0b\u8f7d/\U0001F4C1"},
        {L"/back\\slash/co:lon/...", L"/back\\slash/co:lon/..."},
        {strDeep, strDeep},
        {L"//a///b/", L"/a/b"},
        {L"/a/./b/../c/.", L"/a/c"},
        {L"/../..", L"/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(core::ToUtf8(row.strIn.substr(0, 60)));
        const ItemIdBytes list = ItemIdList::FromPath(row.strIn);
        EXPECT_EQ(ItemIdList::ToPath(list), row.strOut);
        EXPECT_TRUE(ItemIdList::IsFileSystemFolder(list));
    }
    // The stored form: a root item, then one item per component.
    EXPECT_EQ(ItemIdList::FromPath(L"/ho/\u00e9"),
              (ItemIdBytes{3, 0, 1, 5, 0, 2, 'h', 'o', 5, 0, 2, 0xC3, 0xA9, 0, 0}));
}

TEST(ShellItemIdListTest, UnusablePathsGiveNoList)
{
    std::wstring strTooDeep;
    while (strTooDeep.size() < ItemIdList::kMaxListBytes) {
        strTooDeep += L"/abcdefgh";
    }
    const std::wstring paths[] = {
        L"",
        L"relative/path",
        L"C:\\Users\\me",
        L"~/Downloads",
        std::wstring(L"/a\0b", 4),
        L"/" + std::wstring(ItemIdList::kMaxListBytes, L'x'),
        strTooDeep,
        L"/lone\xD800surrogate",
    };
    for (const std::wstring& strPath : paths) {
        SCOPED_TRACE(core::ToUtf8(strPath.substr(0, 40)));
        EXPECT_TRUE(ItemIdList::FromPath(strPath).empty());
    }
}

TEST(ShellItemIdListTest, MalformedListsAndVirtualFoldersHaveNoPath)
{
    const ItemIdBytes lists[] = {
        {},
        {0},
        {0, 0},  // nothing named
        {3, 0, 1},
        {3, 0, 1, 0},  // no terminator
        {2, 0, 0, 0},
        {9, 0, 1, 0, 0},  // item shorter than its header, longer than the buffer
        {4, 0, 1, 'x', 0, 0},
        {3, 0, 9, 0, 0},                       // named root, unknown kind
        {4, 0, 2, 'a', 0, 0},                  // component without a root
        {3, 0, 1, 3, 0, 2, 0, 0},              // empty component
        {3, 0, 1, 5, 0, 2, '.', '.', 0, 0},    // ".."
        {3, 0, 1, 5, 0, 2, 'a', '/', 0, 0},    // separator inside a name
        {3, 0, 1, 5, 0, 2, 'a', 0, 0, 0},      // NUL inside a name
        {3, 0, 1, 5, 0, 2, 0xC0, 0xAF, 0, 0},  // not UTF-8 (an overlong '/')
        {3, 0, 1, 4, 0, 3, 'x', 0, 0},         // virtual item below the root
        ItemIdList::FromVirtualFolder(L"BitBucket"),
    };
    for (const ItemIdBytes& list : lists) {
        SCOPED_TRACE(testing::PrintToString(list));
        EXPECT_FALSE(ItemIdList::ToPath(list).has_value());
    }
    EXPECT_EQ(ItemIdList::VirtualFolderName(ItemIdList::FromVirtualFolder(L"BitBucket")),
              L"BitBucket");
    EXPECT_TRUE(ItemIdList::FromVirtualFolder(L"a/b").empty());

    // Well-formed items adding up past the size limit.
    ItemIdBytes overlong = {3, 0, 1};
    while (overlong.size() < ItemIdList::kMaxListBytes) {
        overlong.insert(overlong.end(), {0xE8, 0x03, 2});  // 1000-byte items
        overlong.insert(overlong.end(), 997, 'n');
    }
    overlong.insert(overlong.end(), {0, 0});
    EXPECT_FALSE(ItemIdList::ToPath(overlong).has_value());

    // What follows the terminator is not part of the list.
    EXPECT_EQ(ItemIdList::ToPath(ItemIdBytes{3, 0, 1, 0, 0, 0xFF, 0xFF}), L"/");
}

// Random and mutated lists, each in a buffer of its exact size, so the
// sanitizer build catches any read past the end. Whatever is accepted must
// be the canonical list of the path it gives.
TEST(ShellItemIdListTest, RandomBytesNeverReadOutOfBounds)
{
    std::mt19937 generator(20240611);
    auto random = [&generator](std::size_t uintMax) {
        return std::uniform_int_distribution<std::size_t>(0, uintMax)(generator);
    };
    const ItemIdBytes seeds[] = {ItemIdList::FromPath(L"/home/user/Downloads"),
                                 ItemIdList::FromPath(L"/\u00e9t\u00e9/x"),
                                 ItemIdList::FromVirtualFolder(L"Network")};
    int intAccepted = 0;
    for (int intRound = 0; intRound < 6000; ++intRound) {
        ItemIdBytes bytes;
        if (intRound % 2 == 0) {
            bytes.resize(random(48));
            for (std::uint8_t& uintByte : bytes) {
                uintByte = static_cast<std::uint8_t>(random(255));
            }
            if (bytes.size() >= 2) {  // short first items make longer lists likely
                bytes[0] %= 12;
                bytes[1] = 0;
            }
        } else {
            bytes = seeds[random(2)];
            for (int intMutation = 0; intMutation <= intRound % 3; ++intMutation) {
                bytes[random(bytes.size() - 1)] = static_cast<std::uint8_t>(random(255));
            }
            if (intRound % 4 == 3) {
                bytes.resize(random(bytes.size()));
            }
        }
        const ItemIdBytes exact(bytes.begin(), bytes.end());
        const std::optional<std::wstring> strPath = ItemIdList::ToPath(exact.data(), exact.size());
        (void)ItemIdList::VirtualFolderName(exact);
        if (strPath) {
            ++intAccepted;
            const ItemIdBytes canonical = ItemIdList::FromPath(*strPath);
            ASSERT_LE(canonical.size(), exact.size());
            ASSERT_TRUE(std::equal(canonical.begin(), canonical.end(), exact.begin()))
                << testing::PrintToString(exact);
        }
    }
    EXPECT_GT(intAccepted, 0);
}

TEST(ShellItemIdListTest, DisplayNamesOfExistingDirectoriesOnly)
{
    std::string strPattern = std::string(std::getenv("TMPDIR")) + "/shell-parse-XXXXXX";
    ASSERT_NE(::mkdtemp(strPattern.data()), nullptr);
    const std::filesystem::path root = strPattern;
    std::filesystem::create_directories(root / "home" / "Downloads");
    std::filesystem::create_directories(root / "with space");
    std::ofstream(root / "file.txt") << "x";
    const std::string strSavedHome = std::getenv("HOME");
    ::setenv("HOME", (root / "home").c_str(), 1);
    auto path = [&root](const char* strRelative) {
        return core::FromUtf8((root / strRelative).string());
    };

    const struct {
        std::wstring strText;
        std::optional<std::wstring> strPath;
    } rows[] = {
        {path("with space"), path("with space")},
        {path("home/Downloads/../../with space/"), path("with space")},
        {L"~", path("home")},
        {L"~/Downloads", path("home/Downloads")},
        {L"/", L"/"},
        {path("missing"), std::nullopt},
        {path("file.txt"), std::nullopt},
        {L"~other/Downloads", std::nullopt},
        {L"Downloads", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(core::ToUtf8(row.strText));
        const ItemIdBytes list = ItemIdList::ParseDisplayName(row.strText);
        EXPECT_EQ(ItemIdList::ToPath(list), row.strPath);
        EXPECT_EQ(list.empty(), !row.strPath.has_value());
    }
    ::setenv("HOME", strSavedHome.c_str(), 1);
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace pullbay::platform::shell
