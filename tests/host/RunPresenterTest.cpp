// The terminal progress bar's line: bar cells, the file's short name, the
// detail line, and the cut at the terminal's width.
#include <gtest/gtest.h>

#include "host/cli/RunPresenter.h"

namespace pullbay::host {
namespace {

TEST(RunPresenterTest, BarTextFitsTheTerminalAndNamesTheFile)
{
    struct Case {
        std::wstring strUrl;
        int intTotal;
        int intColumns;
        std::string strExpected;
    };
    const std::vector<Case> cases = {
        {L"http://h/dir/a.zip?x=1#f", 0, 80, "[--------------------] a.zip 1 KB of 2 KB"},
        {L"http://h/dir/a.zip", 500, 80, "[##########----------] a.zip 1 KB of 2 KB"},
        {L"http://h/dir/a.zip", 1000, 80, "[####################] a.zip 1 KB of 2 KB"},
        // Out-of-range positions are clamped; a URL without a file name shows whole.
        {L"http://h/", 5000, 80, "[####################] http://h/ 1 KB of 2 KB"},
        {L"http://h/dir/a.zip", -3, 80, "[--------------------] a.zip 1 KB of 2 KB"},
        // One column is kept free so the cursor never wraps.
        {L"http://h/dir/a.zip", 1000, 30, "[####################] a.zip "},
        {L"http://h/dir/a.zip", 1000, 1, "[#########"},
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(RunPresenter::BarText(testCase.strUrl, L"1 KB of 2 KB", testCase.intTotal,
                                        testCase.intColumns),
                  testCase.strExpected)
            << testCase.intTotal << " " << testCase.intColumns;
    }
}

}  // namespace
}  // namespace pullbay::host
