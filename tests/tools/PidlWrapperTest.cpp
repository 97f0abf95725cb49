// A shell item saved to the registry and loaded back, and the failures of
// both directions.
#include <gtest/gtest.h>

#include "support/EmptyRegistryTest.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "platform/registry/RegistryKey.h"
#include "tools/PidlWrapper.h"

namespace pullbay::tools {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using platform::RegistryKey;
using platform::RegistryRoot;

constexpr const wchar_t* kKey = L"Software\\Velmora\\Pullbay\\Standard 7";
constexpr const wchar_t* kName = L"LastVisitedFolder";
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;

class PidlWrapperTest : public test::EmptyRegistryTest {
protected:
    static std::wstring RecordedClass()
    {
        const auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
        return pRecord ? pRecord->GetClassName() : L"(none)";
    }

    // Loading fails with a recorded UnexpectedException and leaves the item.
    static void ExpectLoadFails(const PidlItem& before)
    {
        PidlItem item(before);
        try {
            PidlWrapper::GetPidlFromRegistry(kUser, kKey, kName, item);
            ADD_FAILURE() << "nothing thrown";
        } catch (const core::UnexpectedException& failure) {
            EXPECT_STREQ(failure.GetFunction(), L"PidlWrapper::GetPidlFromRegistry");
        }
        EXPECT_EQ(RecordedClass(), L"UnexpectedException");
        EXPECT_EQ(item.IsEmpty() ? Bytes{} : item.Serialize(),
                  before.IsEmpty() ? Bytes{} : before.Serialize());
    }
};

TEST_F(PidlWrapperTest, ListsRoundTripByteForByte)
{
    const Bytes kLists[] = {
        {0, 0},                                                           // terminator only
        {5, 0, 1, '/', 0, 4, 0, 'h', 'o', 6, 0, 2, 'D', 'l', 'x', 0, 0},  // three items
    };
    for (const Bytes& list : kLists) {
        SCOPED_TRACE(list.size());
        PidlWrapper::SavePidlToRegistry(kUser, kKey, kName, PidlItem(list));
        RegistryKey key;
        ASSERT_EQ(key.Open(kUser, kKey), S_OK);
        std::uint32_t uintType = 0;
        Bytes stored;
        ASSERT_EQ(key.QueryValue(kName, uintType, stored), S_OK);
        EXPECT_EQ(uintType, platform::REG_BINARY);
        EXPECT_EQ(stored, list);
        PidlItem loaded;
        PidlWrapper::GetPidlFromRegistry(kUser, kKey, kName, loaded);
        EXPECT_EQ(loaded.Serialize(), list);
    }
}

TEST_F(PidlWrapperTest, LoadingFailsForAMissingKeyValueOrWrongTypeAndKeepsTheItem)
{
    const PidlItem remembered(Bytes{4, 0, 1, 2, 0, 0});
    ExpectLoadFails(PidlItem());
    ExpectLoadFails(remembered);
    RegistryKey key;
    ASSERT_EQ(key.Create(kUser, kKey), S_OK);
    ExpectLoadFails(remembered);
    // A text value of the right name counts as missing; so does an empty one.
    ASSERT_EQ(key.SetStringValue(kName, L"/home/u/Downloads"), S_OK);
    ExpectLoadFails(remembered);
    ASSERT_EQ(key.SetValue(kName, platform::REG_BINARY, {}), S_OK);
    ExpectLoadFails(remembered);
    PidlItem item;
    EXPECT_THROW(PidlWrapper::GetPidlFromRegistry(std::nullopt, kKey, kName, item),
                 core::UnexpectedException);
}

TEST_F(PidlWrapperTest, SavingRefusesAnEmptyItemAndPassesCoreFailuresOn)
{
    try {
        PidlWrapper::SavePidlToRegistry(kUser, kKey, kName, PidlItem());
        ADD_FAILURE() << "nothing thrown";
    } catch (const core::ArgumentNullPointerException& failure) {
        EXPECT_STREQ(failure.GetMessage(), L"Argument is null pointer (pidl).");
    }
    EXPECT_EQ(RecordedClass(), L"ArgumentNullPointerException");
    EXPECT_FALSE(fs::exists(m_configFolder / "pullbay"));

    // The write's own failure comes through unchanged: a file blocks the key.
    const fs::path root = m_configFolder / "pullbay" / "registry" / "HKEY_CURRENT_USER";
    fs::create_directories(root);
    std::ofstream(root / "software") << "not a key";
    try {
        PidlWrapper::SavePidlToRegistry(kUser, kKey, kName, PidlItem(Bytes{0, 0}));
        ADD_FAILURE() << "nothing thrown";
    } catch (const core::UnexpectedException&) {
        ADD_FAILURE() << "the core failure was replaced";
    } catch (const core::Exception& failure) {
        EXPECT_STREQ(failure.GetMessage(), L"Unable to open registry key.");
        EXPECT_STREQ(failure.GetFunction(), L"RegistryWorks::WriteRegData");
    }
    EXPECT_EQ(RecordedClass(), L"Exception");
    // Without a root, key or name nothing is written and nothing fails.
    EXPECT_NO_THROW(
        PidlWrapper::SavePidlToRegistry(std::nullopt, kKey, kName, PidlItem(Bytes{0, 0})));
}

}  // namespace
}  // namespace pullbay::tools
