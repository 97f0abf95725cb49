// What run --add accepts as a size, and what it says about one it cannot take.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/cli/CommandLine.h"

namespace pullbay::host {
namespace {

TEST(CommandLineTest, AddTakes32BitSizesAndSendsLargerFilesToAList)
{
    const ParseResult fits = ParseCommandLine(
        {"run", "--add", "*/*|2147483647|http://127.0.0.1:1/a.bin|a.bin", "--headless"});
    ASSERT_TRUE(fits.Ok()) << fits.strError;
    ASSERT_EQ(fits.options.files.size(), 1u);
    EXPECT_EQ(fits.options.files[0].intFileSize, 2147483647);

    for (const char* strSize : {"2147483648", "5368709120", "99999999999999999999999"}) {
        SCOPED_TRACE(strSize);
        const std::string strAdded = std::string("*/*|") + strSize + "|http://h/big.iso|big.iso";
        const ParseResult large = ParseCommandLine({"run", "--add", strAdded});
        EXPECT_EQ(large.strError, "--add takes sizes up to 2147483647 bytes; a larger file comes "
                                  "through a file list (--param FileList=URL): " +
                                      strAdded);
    }
    // Not a number at all: the general form.
    const ParseResult letters = ParseCommandLine({"run", "--add", "*/*|12a|http://h/a|a"});
    EXPECT_EQ(letters.strError.rfind("--add needs 'MIME|SIZE|URL|NAME'", 0), 0u);
}

}  // namespace
}  // namespace pullbay::host
