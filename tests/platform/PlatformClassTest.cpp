// The platform class of each version, and what the real platform of this
// process reports.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/IPlatform.h"
#include "platform/PlatformClass.h"
#include "platform/SystemPlatform.h"

namespace pullbay::platform {
namespace {

struct VersionRow {
    std::uint32_t uintMajor;
    std::uint32_t uintMinor;
    std::uint32_t uintPlatformId;
    int intClass;
};

constexpr VersionRow kVersionRows[] = {
    {4, 10, kVerPlatformWin32Windows, 1},
    {4, 90, kVerPlatformWin32Windows, 1},
    {4, 0, kVerPlatformWin32Windows, 0},
    {4, 10, kVerPlatformWin32Nt, 0},
    {3, 51, kVerPlatformWin32Nt, 2},
    {3, 0, kVerPlatformWin32Nt, 2},
    {4, 0, kVerPlatformWin32Nt, 2},
    {4, 51, kVerPlatformWin32Nt, 2},
    {3, 51, kVerPlatformWin32Windows, 0},
    {3, 10, kVerPlatformWin32Nt, 0},
    {5, 0, kVerPlatformWin32Nt, 3},
    {5, 0, kVerPlatformWin32Windows, 0},
    {5, 1, kVerPlatformWin32Nt, 4},
    {5, 2, kVerPlatformWin32Nt, 0},
    {6, 0, kVerPlatformWin32Nt, 5},
    {6, 0, 0, 5},
    {6, 1, kVerPlatformWin32Nt, 6},
    {6, 1, kVerPlatformWin32Windows, 6},
    // Later versions are outside the table.
    {6, 2, kVerPlatformWin32Nt, 0},
    {6, 3, kVerPlatformWin32Nt, 0},
    {10, 0, kVerPlatformWin32Nt, 0},
    {0, 0, 0, 0},
};

TEST(PlatformClassTest, EachVersionGetsTheClassOfTheTable)
{
    for (const VersionRow& row : kVersionRows) {
        SCOPED_TRACE(testing::Message() << row.uintMajor << '.' << row.uintMinor << " platform "
                                        << row.uintPlatformId);
        EXPECT_EQ(
            PlatformClassFromVersion(OsVersion{row.uintMajor, row.uintMinor, row.uintPlatformId}),
            row.intClass);
    }
    EXPECT_EQ(PlatformClassFromVersion(std::nullopt), 0);
}

TEST(PlatformClassTest, LinuxIsClassZeroWhateverTheKernelRelease)
{
    EXPECT_FALSE(QueryOsVersion().has_value());
    EXPECT_EQ(ProcessPlatformClass(), 0);
}

TEST(PlatformClassTest, RealPlatformNeverUsesProtectedMode)
{
    const std::shared_ptr<IPlatform> pPlatform = CurrentPlatform();
    ASSERT_NE(pPlatform, nullptr);
    EXPECT_EQ(pPlatform->PlatformClass(), 0);
    EXPECT_FALSE(UsesProtectedMode(*pPlatform));

    // There is no browser library on Linux: the questions are answered, not failed.
    SystemPlatform platform;
    EXPECT_FALSE(platform.IsProtectedModeProcess());
    std::wstring strFolder = L"stale";
    EXPECT_EQ(GetWriteableFolder(platform, strFolder), E_FAIL);
    EXPECT_TRUE(strFolder.empty());
}

}  // namespace
}  // namespace pullbay::platform
