// Keys and values of the per-user registry store: lookup without regard to
// ASCII case, names that a file system refuses, deletion of subtrees, and the
// data forms of text and number values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry/RegistryData.h"
#include "platform/registry/RegistryKey.h"
#include "platform/registry/RegistryStore.h"

namespace pullbay::platform {
namespace {

namespace fs = std::filesystem;

const HRESULT kNotFound = HResultFromWin32(2);
constexpr const wchar_t* kSettingsKey = L"Software\\Velmora\\Pullbay\\Standard 7";

std::vector<std::uint8_t> Bytes(std::string_view strText)
{
    return {strText.begin(), strText.end()};
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// The test main points XDG_CONFIG_HOME at a private folder; each test starts
// with an empty store there.
class RegistryKeyTest : public ::testing::Test {
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

    fs::path m_configFolder;
    fs::path m_store;
};

TEST_F(RegistryKeyTest, ValuesRoundTripAndMissingOnesReportFileNotFound)
{
    RegistryKey key;
    EXPECT_EQ(key.Open(RegistryRoot::CurrentUser, L"Software"), kNotFound);
    EXPECT_FALSE(fs::exists(m_store));
    std::vector<std::wstring> names;
    EXPECT_EQ(key.EnumValues(names), HResultFromWin32(6));

    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, kSettingsKey), S_OK);
    const std::vector<std::uint8_t> binary = {0x04, 0x00, 0xFF, 0x00, 0x00, 0x00};
    EXPECT_EQ(key.SetValue(L"LastVisitedFolder", REG_BINARY, binary), S_OK);
    EXPECT_EQ(key.SetStringValue(L"", L"Velmora Pullbay Control"), S_OK);
    EXPECT_EQ(key.SetDwordValue(L"Count", 0xA1B2C3D4u), S_OK);

    RegistryKey reopened;
    ASSERT_EQ(
        reopened.Open(RegistryRoot::CurrentUser, L"\\Software\\\\Velmora\\Pullbay\\Standard 7\\"),
        S_OK);
    std::uint32_t uintType = 99;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(reopened.QueryValue(L"LastVisitedFolder", uintType, data), S_OK);
    EXPECT_EQ(uintType, REG_BINARY);
    EXPECT_EQ(data, binary);
    std::wstring strText;
    EXPECT_EQ(reopened.QueryStringValue(L"", strText), S_OK);
    EXPECT_EQ(strText, L"Velmora Pullbay Control");
    std::uint32_t uintValue = 0;
    EXPECT_EQ(reopened.QueryDwordValue(L"Count", uintValue), S_OK);
    EXPECT_EQ(uintValue, 0xA1B2C3D4u);
    EXPECT_EQ(reopened.QueryStringValue(L"Count", strText), HResultFromWin32(13));

    EXPECT_EQ(reopened.DeleteValue(L"LastVisitedFolder"), S_OK);
    EXPECT_EQ(key.QueryValue(L"LastVisitedFolder", uintType, data), kNotFound);
    EXPECT_EQ(key.DeleteValue(L"LastVisitedFolder"), kNotFound);
    RegistryKey child;
    EXPECT_EQ(child.Open(key, L"Missing"), kNotFound);
    // A failed open keeps the key that was open.
    EXPECT_EQ(key.Open(RegistryRoot::CurrentUser, L"Software\\Nobody"), kNotFound);
    EXPECT_EQ(key.QueryDwordValue(L"Count", uintValue), S_OK);
}

TEST_F(RegistryKeyTest, NamesMatchWithoutAsciiCaseAndKeepTheSpellingTheyWereCreatedWith)
{
    RegistryKey key;
    ASSERT_EQ(key.Create(RegistryRoot::ClassesRoot,
                         L"CLSID\\{3F2A6C1E-0B7D-4E59-9A41-6D2C8B0E7F13}\\InprocServer32"),
              S_OK);
    ASSERT_EQ(key.SetStringValue(L"ThreadingModel", L"Apartment"), S_OK);
    RegistryKey lower;
    ASSERT_EQ(lower.Open(RegistryRoot::ClassesRoot,
                         L"clsid\\{3f2a6c1e-0b7d-4e59-9a41-6d2c8b0e7f13}\\INPROCSERVER32"),
              S_OK);
    std::wstring strText;
    EXPECT_EQ(lower.QueryStringValue(L"THREADINGMODEL", strText), S_OK);
    EXPECT_EQ(strText, L"Apartment");
    // Writing under another spelling replaces the value and keeps its name.
    EXPECT_EQ(lower.SetStringValue(L"threadingmodel", L"Both"), S_OK);
    std::vector<std::wstring> names;
    EXPECT_EQ(lower.EnumValues(names), S_OK);
    EXPECT_EQ(names, std::vector<std::wstring>{L"ThreadingModel"});

    // The class root is the user's Software\Classes, spelt as first created.
    RegistryKey again;
    EXPECT_EQ(again.Create(RegistryRoot::CurrentUser, L"software\\CLASSES\\clsid\\Other"), S_OK);
    RegistryKey classes;
    ASSERT_EQ(classes.Open(RegistryRoot::CurrentUser, L"SOFTWARE\\classes"), S_OK);
    EXPECT_EQ(classes.EnumSubKeys(names), S_OK);
    EXPECT_EQ(names, std::vector<std::wstring>{L"CLSID"});
    ASSERT_EQ(again.Open(classes, L"Clsid"), S_OK);
    EXPECT_EQ(again.EnumSubKeys(names), S_OK);
    EXPECT_EQ(names,
              (std::vector<std::wstring>{L"Other", L"{3F2A6C1E-0B7D-4E59-9A41-6D2C8B0E7F13}"}));

    // Only A-Z fold: other letters in two cases are two names.
    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, L"\u00C4rger"), S_OK);
    EXPECT_EQ(key.Open(RegistryRoot::CurrentUser, L"\u00E4rger"), kNotFound);
    EXPECT_EQ(key.Open(RegistryRoot::CurrentUser, L"\u00C4RGER"), S_OK);
}

TEST_F(RegistryKeyTest, HostileNamesRoundTripAndNeverLeaveTheStore)
{
    const std::wstring kLong(1000, L'v');
    const std::wstring kNames[] = {
        L"a/b",
        L"a%2Fb",
        L"/",
        L"%",
        L".",
        L"..",
        L".key",
        L".hidden",
        L"=",
        L"=x",
        L"~",
        L"x~0123456789ABCDEF",
        L"tab\there",
        L"\x01\x1F\x7F",
        L"../x",
        L"..\\..\\x",
        L"\U0001F600",
        std::wstring(1, static_cast<wchar_t>(0xD800)),
        std::wstring(1, static_cast<wchar_t>(0x110000)),
        std::wstring(255, L'\u00E9'),
        std::wstring(254, L'\u00E9') + L"\u00C9",
        std::wstring(200, L'%'),
        kLong,
        kLong + L"w",
        L"",
    };
    RegistryKey parent;
    ASSERT_EQ(parent.Create(RegistryRoot::CurrentUser, L"Hostile"), S_OK);
    std::vector<std::wstring> keys;
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::uint8_t> id = {static_cast<std::uint8_t>(i)};
        ASSERT_EQ(parent.SetValue(kNames[i], REG_BINARY, id), S_OK);
        RegistryKey child;
        if (!kNames[i].empty() && kNames[i].find(L'\\') == std::wstring::npos &&
            kNames[i].size() <= 255) {
            ASSERT_EQ(child.Create(parent, kNames[i]), S_OK);
            ASSERT_EQ(child.SetValue(L"id", REG_BINARY, id), S_OK);
            keys.push_back(kNames[i]);
        }
    }
    // Every name is an entry of its own: nothing was merged or overwritten.
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::uint8_t> id = {static_cast<std::uint8_t>(i)};
        std::uint32_t uintType = 0;
        std::vector<std::uint8_t> data;
        EXPECT_EQ(parent.QueryValue(kNames[i], uintType, data), S_OK);
        EXPECT_EQ(data, id);
        RegistryKey child;
        if (std::find(keys.begin(), keys.end(), kNames[i]) != keys.end()) {
            ASSERT_EQ(child.Open(parent, kNames[i]), S_OK);
            EXPECT_EQ(child.QueryValue(L"id", uintType, data), S_OK);
            EXPECT_EQ(data, id);
        }
    }
    std::vector<std::wstring> names;
    EXPECT_EQ(parent.EnumValues(names), S_OK);
    EXPECT_EQ(Sorted(names), Sorted({std::begin(kNames), std::end(kNames)}));
    EXPECT_EQ(parent.EnumSubKeys(names), S_OK);
    EXPECT_EQ(Sorted(names), Sorted(keys));

    // Links planted inside the store are never followed.
    const fs::path outside = m_configFolder / "outside";
    std::ofstream(outside) << "untouched";
    const fs::path trapFolder = m_store / "HKEY_CURRENT_USER" / "hostile";
    fs::create_directory_symlink(m_configFolder, trapFolder / "evil");
    fs::create_symlink(outside, trapFolder / "=evil");
    RegistryKey evil;
    EXPECT_EQ(evil.Open(parent, L"evil"), kNotFound);
    EXPECT_TRUE(Failed(evil.Create(parent, L"Evil")));
    EXPECT_EQ(parent.DeleteSubKey(L"evil"), kNotFound);
    EXPECT_EQ(parent.SetValue(L"evil", REG_BINARY, Bytes("replaced")), S_OK);
    std::string strOutside;
    std::getline(std::ifstream(outside), strOutside);
    EXPECT_EQ(strOutside, "untouched");

    for (const auto& entry : fs::recursive_directory_iterator(m_configFolder)) {
        const bool bInside = entry.path().native().starts_with(m_store.native() + "/") ||
                             m_store.native().starts_with(entry.path().native() + "/") ||
                             entry.path() == m_store || entry.path() == outside;
        EXPECT_TRUE(bInside) << entry.path();
        EXPECT_LE(entry.path().filename().native().size(), 255u);
    }
}

TEST_F(RegistryKeyTest, UnusableNamesAreRefusedBeforeAnythingIsCreated)
{
    RegistryKey key;
    for (const std::wstring& strName : {std::wstring(L"a\0b", 3), std::wstring(256, L'k'),
                                        std::wstring(128, static_cast<wchar_t>(0x1F600))}) {
        EXPECT_EQ(key.Create(RegistryRoot::CurrentUser, L"New\\" + strName), E_INVALIDARG);
    }
    EXPECT_EQ(key.Open(RegistryRoot::CurrentUser, L"New"), kNotFound);

    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, std::wstring(255, L'k')), S_OK);
    EXPECT_EQ(key.SetValue(std::wstring(L"a\0b", 3), REG_BINARY, Bytes("x")), E_INVALIDARG);
    EXPECT_EQ(key.SetValue(std::wstring(16384, L'v'), REG_BINARY, Bytes("x")), E_INVALIDARG);
    EXPECT_EQ(key.SetValue(std::wstring(16383, L'v'), REG_BINARY, Bytes("x")), S_OK);
}

TEST_F(RegistryKeyTest, DeletingAKeyTakesItsWholeSubtreeAndNothingElse)
{
    RegistryKey key;
    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, L"Tree\\Branch\\Leaf\\Bud"), S_OK);
    ASSERT_EQ(key.SetValue(L"v", REG_BINARY, Bytes("bud")), S_OK);
    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, L"Tree\\Sibling"), S_OK);
    RegistryKey tree;
    ASSERT_EQ(tree.Open(RegistryRoot::CurrentUser, L"Tree"), S_OK);
    ASSERT_EQ(tree.SetValue(L"Branch", REG_BINARY, Bytes("same name as the key")), S_OK);

    EXPECT_EQ(tree.DeleteSubKey(L"BRANCH"), S_OK);
    EXPECT_EQ(key.Open(RegistryRoot::CurrentUser, L"Tree\\Branch"), kNotFound);
    std::vector<std::wstring> names;
    EXPECT_EQ(tree.EnumSubKeys(names), S_OK);
    EXPECT_EQ(names, std::vector<std::wstring>{L"Sibling"});
    EXPECT_EQ(tree.EnumValues(names), S_OK);
    EXPECT_EQ(names, std::vector<std::wstring>{L"Branch"});
    // Nothing of the subtree stays behind, not even under a hidden name.
    for (const auto& entry : fs::recursive_directory_iterator(m_store)) {
        EXPECT_EQ(entry.path().native().find("leaf"), std::string::npos) << entry.path();
    }

    EXPECT_EQ(DeleteRegistryKey(RegistryRoot::CurrentUser, L"tree"), S_OK);
    EXPECT_EQ(DeleteRegistryKey(RegistryRoot::CurrentUser, L"Tree"), kNotFound);
    EXPECT_EQ(DeleteRegistryKey(RegistryRoot::CurrentUser, L""), E_INVALIDARG);
    // A handle to a deleted key can no longer write.
    EXPECT_TRUE(Failed(tree.SetValue(L"late", REG_BINARY, Bytes("x"))));
}

TEST_F(RegistryKeyTest, ADamagedValueIsReportedAndCanBeWrittenAgain)
{
    RegistryKey key;
    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, L"Damaged"), S_OK);
    ASSERT_EQ(key.SetValue(L"Value", REG_BINARY, Bytes("0123456789")), S_OK);
    const fs::path valueFile = m_store / "HKEY_CURRENT_USER" / "damaged" / "=value";
    fs::resize_file(valueFile, fs::file_size(valueFile) - 1);
    std::uint32_t uintType = 0;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(key.QueryValue(L"Value", uintType, data), HResultFromWin32(1009));
    EXPECT_EQ(key.SetValue(L"Value", REG_BINARY, Bytes("fresh")), S_OK);
    EXPECT_EQ(key.QueryValue(L"Value", uintType, data), S_OK);
    EXPECT_EQ(data, Bytes("fresh"));
}

TEST(RegistryDataTest, TextIsUtf16WithATerminatorAndReadsBackTolerantly)
{
    EXPECT_EQ(RegistryStringData(L"A\u00E9\U0001F600"),
              (std::vector<std::uint8_t>{'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
    EXPECT_EQ(RegistryStringData(std::wstring(1, static_cast<wchar_t>(0x110000))),
              (std::vector<std::uint8_t>{0xFD, 0xFF, 0, 0}));
    struct Row {
        std::vector<std::uint8_t> data;
        std::wstring strText;
    };
    const Row kRows[] = {
        {{}, L""},
        {{'A', 0, 'B'}, L"A"},                      // odd last byte
        {{'A', 0, 0, 0, 'B', 0}, L"A"},             // the text ends at the first NUL
        {{0x3D, 0xD8, 0x00, 0xDE}, L"\U0001F600"},  // pair joined, no terminator
        {{0x3D, 0xD8, 'x', 0}, std::wstring{static_cast<wchar_t>(0xD83D), L'x'}},
    };
    for (const Row& row : kRows) {
        EXPECT_EQ(RegistryStringFromData(row.data), row.strText);
    }
    EXPECT_EQ(RegistryDwordFromData(RegistryDwordData(0x01020304u)), 0x01020304u);
    EXPECT_EQ(RegistryDwordData(0x01020304u), (std::vector<std::uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(RegistryDwordFromData(std::vector<std::uint8_t>{1, 2, 3}), std::nullopt);
}

}  // namespace
}  // namespace pullbay::platform
