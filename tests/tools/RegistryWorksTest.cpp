// One registry value read and written with checked sizes and types.
#include <gtest/gtest.h>

#include "support/EmptyRegistryTest.h"

#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <tuple>
#include <vector>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "platform/registry/RegistryData.h"
#include "platform/registry/RegistryKey.h"
#include "tools/RegistryWorks.h"

namespace pullbay::tools {
namespace {

namespace fs = std::filesystem;
using platform::REG_BINARY;
using platform::REG_DWORD;
using platform::REG_NONE;
using platform::REG_SZ;
using platform::RegistryKey;
using platform::RegistryRoot;

constexpr const wchar_t* kKey = L"Software\\Velmora\\Pullbay\\Standard 7";
constexpr const wchar_t* kName = L"LastVisitedFolder";
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;

class RegistryWorksTest : public test::EmptyRegistryTest {
protected:
    static std::vector<std::uint8_t> Stored(std::uint32_t& uintType)
    {
        RegistryKey key;
        std::vector<std::uint8_t> data;
        EXPECT_EQ(key.Open(kUser, kKey), S_OK);
        EXPECT_EQ(key.QueryValue(kName, uintType, data), S_OK);
        return data;
    }

    // What the call threw, after checking that the thread's record holds it.
    template <typename Call>
    static std::unique_ptr<core::Exception> Failure(Call call)
    {
        try {
            call();
        } catch (const core::Exception& failure) {
            const auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
            EXPECT_TRUE(pRecord != nullptr &&
                        std::wcscmp(pRecord->GetMessage(), failure.GetMessage()) == 0);
            return std::make_unique<core::Exception>(failure);
        }
        ADD_FAILURE() << "nothing thrown";
        return std::make_unique<core::Exception>(L"", L"", 0, S_OK);
    }
};

TEST_F(RegistryWorksTest, AMissingRootKeyOrNameDoesNothingNotEvenCheckArguments)
{
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    std::uint8_t buffer[4] = {9, 9, 9, 9};
    const std::tuple<RegistryWorks::Root, const wchar_t*, const wchar_t*> kRows[] = {
        {std::nullopt, kKey, kName}, {kUser, nullptr, kName}, {kUser, kKey, nullptr}};
    for (const auto& [root, strSubKey, strName] : kRows) {
        std::uint32_t uintSize = 77;
        EXPECT_NO_THROW(
            RegistryWorks::WriteRegData(root, strSubKey, strName, nullptr, 0, REG_BINARY));
        EXPECT_NO_THROW(
            RegistryWorks::WriteRegData(root, strSubKey, strName, bytes, 4, REG_BINARY));
        EXPECT_NO_THROW(RegistryWorks::GetRegDataSize(root, strSubKey, strName, uintSize));
        EXPECT_EQ(uintSize, 0u);
        EXPECT_EQ(RegistryWorks::ReadRegData(root, strSubKey, strName, buffer, 4), 0u);
    }
    EXPECT_EQ(buffer[0], 9);
    EXPECT_FALSE(fs::exists(m_configFolder / "pullbay"));
}

TEST_F(RegistryWorksTest, BadArgumentsAreRefusedWithTheirNames)
{
    std::uint8_t buffer[4] = {};
    auto pFailure = Failure([] { RegistryWorks::ReadRegData(kUser, kKey, kName, nullptr, 4); });
    EXPECT_STREQ(pFailure->GetClassName(), L"ArgumentNullPointerException");
    EXPECT_STREQ(pFailure->GetMessage(), L"Argument is null pointer (pData).");
    pFailure = Failure([&buffer] { RegistryWorks::ReadRegData(kUser, kKey, kName, buffer, 0); });
    EXPECT_STREQ(pFailure->GetClassName(), L"ArgumentException");
    EXPECT_STREQ(pFailure->GetMessage(), L"Argument has an unappropriate value (uintDataSize) "
                                         L"(The size of data to read must be greater than 0.).");
    EXPECT_STREQ(pFailure->GetFunction(), L"RegistryWorks::ReadRegData");

    pFailure =
        Failure([] { RegistryWorks::WriteRegData(kUser, kKey, kName, nullptr, 4, REG_BINARY); });
    EXPECT_STREQ(pFailure->GetMessage(), L"Argument is null pointer (pData).");
    pFailure =
        Failure([&buffer] { RegistryWorks::WriteRegData(kUser, kKey, kName, buffer, 0, REG_SZ); });
    EXPECT_STREQ(pFailure->GetMessage(), L"Argument has an unappropriate value (uintDataSize).");
    EXPECT_FALSE(fs::exists(m_configFolder / "pullbay"));
}

TEST_F(RegistryWorksTest, MissingKeysMissingValuesAndOtherTypesFailToRead)
{
    std::uint32_t uintSize = 5;
    std::uint8_t buffer[16] = {};
    auto pFailure = Failure([&] { RegistryWorks::GetRegDataSize(kUser, kKey, kName, uintSize); });
    EXPECT_STREQ(pFailure->GetClassName(), L"Exception");
    EXPECT_EQ(pFailure->GetCode(), E_FAIL);
    EXPECT_STREQ(pFailure->GetMessage(), L"Unable to open registry key.");
    EXPECT_STREQ(pFailure->GetFunction(), L"RegistryWorks::GetRegDataSize");
    EXPECT_EQ(uintSize, 0u);
    pFailure = Failure([&] { RegistryWorks::ReadRegData(kUser, kKey, kName, buffer, 16); });
    EXPECT_STREQ(pFailure->GetMessage(), L"Unable to open registry key.");

    // No value, then a REG_SZ and a REG_DWORD of the right name.
    RegistryKey key;
    ASSERT_EQ(key.Create(kUser, kKey), S_OK);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        if (i == 1) {
            ASSERT_EQ(key.SetStringValue(kName, L"/home/u/Downloads"), S_OK);
        } else if (i == 2) {
            ASSERT_EQ(key.SetDwordValue(kName, 7), S_OK);
        }
        pFailure = Failure([&] { RegistryWorks::GetRegDataSize(kUser, kKey, kName, uintSize); });
        EXPECT_STREQ(pFailure->GetMessage(), L"Unable to read registry value.");
        pFailure = Failure([&] { RegistryWorks::ReadRegData(kUser, kKey, kName, buffer, 16); });
        EXPECT_EQ(pFailure->GetCode(), E_FAIL);
        EXPECT_STREQ(pFailure->GetMessage(), L"Unable to read registry value.");
    }
    EXPECT_EQ(buffer[0], 0);
}

TEST_F(RegistryWorksTest, BinaryValuesAreReadOnlyWhenTheyFitTheBuffer)
{
    const std::uint8_t value[5] = {10, 20, 30, 40, 50};
    RegistryWorks::WriteRegData(kUser, kKey, kName, value, 5, REG_BINARY);
    std::uint32_t uintSize = 0;
    RegistryWorks::GetRegDataSize(kUser, kKey, L"lastvisitedfolder", uintSize);
    EXPECT_EQ(uintSize, 5u);
    std::vector<std::uint8_t> large(8, 1);
    EXPECT_EQ(RegistryWorks::ReadRegData(kUser, kKey, kName, large.data(), 8), 5u);
    EXPECT_EQ(large, (std::vector<std::uint8_t>{10, 20, 30, 40, 50, 1, 1, 1}));
    // A buffer too small is a failure, not a silently cut value.
    std::uint8_t small[4] = {};
    const auto pFailure =
        Failure([&small] { RegistryWorks::ReadRegData(kUser, kKey, kName, small, 4); });
    EXPECT_STREQ(pFailure->GetMessage(), L"Unable to read registry value.");
    EXPECT_EQ(small[0], 0);
}

TEST_F(RegistryWorksTest, TheTypeDecidesWhatIsWritten)
{
    const std::uint8_t kDword[8] = {0x78, 0x56, 0x34, 0x12, 0xEE, 0xEE, 0xEE, 0xEE};
    const wchar_t* kText = L"/home/u/Downloads \U0001F600";
    struct Row {
        std::uint32_t uintType;
        const void* pData;
        std::uint32_t uintSize;
        std::uint32_t uintStoredType;
        std::vector<std::uint8_t> stored;
    };
    const Row kRows[] = {
        // REG_DWORD: 4 bytes whatever the size, never read beyond it.
        {REG_DWORD, kDword, 8, REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {REG_DWORD, kDword, 1, REG_DWORD, {0x78, 0, 0, 0}},
        // REG_SZ: the text's length decides, terminator included.
        {REG_SZ, kText, 1, REG_SZ, platform::RegistryStringData(kText)},
        {REG_SZ, kText, 1000, REG_SZ, platform::RegistryStringData(kText)},
        // Anything else: REG_BINARY of the given size.
        {REG_BINARY, kDword, 6, REG_BINARY, {0x78, 0x56, 0x34, 0x12, 0xEE, 0xEE}},
        {REG_NONE, kDword, 2, REG_BINARY, {0x78, 0x56}},
        {7, kDword, 3, REG_BINARY, {0x78, 0x56, 0x34}},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "type " << row.uintType << " size " << row.uintSize);
        RegistryWorks::WriteRegData(kUser, kKey, kName, row.pData, row.uintSize, row.uintType);
        std::uint32_t uintType = 0;
        EXPECT_EQ(Stored(uintType), row.stored);
        EXPECT_EQ(uintType, row.uintStoredType);
    }
}

}  // namespace
}  // namespace pullbay::tools
