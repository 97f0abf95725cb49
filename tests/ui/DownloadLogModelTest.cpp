// The download log's lines, extra line, fold state and copied texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "ui/DownloadLogModel.h"

namespace pullbay::ui {
namespace {

DownloadLogRow Row(int intResult, std::wstring strDestinationFileName = L"a.pdf")
{
    DownloadLogRow row;
    row.strUrl = L"http://example.test/get?id=1";
    row.strFileName = L"declared.pdf";
    row.strDestinationFolder = L"/home/u/Downloads";
    row.strDestinationFileName = std::move(strDestinationFileName);
    row.strDeclaredMimeType = L"application/pdf";
    row.intResult = intResult;
    return row;
}

TEST(DownloadLogModelTest, LineForEachResultWithDefaultTexts)
{
    const std::wstring strFailedPrefix =
        L"Failed to download file /home/u/Downloads/a.pdf from http://example.test/get?id=1: ";
    const struct {
        int intResult;
        std::wstring strExpected;
    } cases[] = {
        {0, L"File /home/u/Downloads/a.pdf has been downloaded from http://example.test/get?id=1"},
        {1, strFailedPrefix + L"Download error"},
        {3, strFailedPrefix + L"Skipped by user"},
        {4, strFailedPrefix + L"Wrong Content-Type"},
        {5, strFailedPrefix + L"Wrong file size"},
        {6, strFailedPrefix + L"Write file error"},
        {7, strFailedPrefix + L"Resource not found"},
        {8, strFailedPrefix + L"Authorization failed"},
        {-1, L""},
        {2, L""},
        {9, L""},
    };
    for (const auto& testCase : cases) {
        DownloadLogModel model({Row(testCase.intResult)}, DownloadLogTexts{}, false,
                               L"/home/u/Out");
        EXPECT_EQ(model.GetItemString(0), testCase.strExpected) << testCase.intResult;
    }
}

TEST(DownloadLogModelTest, FileWithoutDestinationNameShowsDeclaredName)
{
    DownloadLogModel model({Row(7, L"")}, DownloadLogTexts{}, false, L"");
    EXPECT_EQ(model.GetItemString(0),
              L"Failed to download file declared.pdf from http://example.test/get?id=1: "
              L"Resource not found");
}

TEST(DownloadLogModelTest, OtherPlaceholdersInCustomTemplates)
{
    DownloadLogTexts texts;
    texts.strSuccessText = L"[DeclaredFileName] ([DeclaredMimeType]|[MimeType]) [Url] [Url]";
    texts.strFailedText = L"[Reason]: [DeclaredMimeType]";
    texts.strWrongContentTypeText = L"got [MimeType] from [Url]";
    DownloadLogRow received = Row(4);
    received.strReceivedMimeType = L"text/html";
    DownloadLogModel model({Row(0), received}, texts, false, L"");
    EXPECT_EQ(model.GetItemString(0),
              L"declared.pdf (application/pdf|) http://example.test/get?id=1 "
              L"http://example.test/get?id=1");
    EXPECT_EQ(model.GetItemString(1),
              L"got text/html from http://example.test/get?id=1: application/pdf");
}

TEST(DownloadLogModelTest, ValuesFromTheListAreNotExpandedAgain)
{
    DownloadLogRow row = Row(0, L"[Url].pdf");
    row.strUrl = L"http://example.test/[FileName]/[DeclaredMimeType]";
    DownloadLogModel model({row}, DownloadLogTexts{}, true, L"/srv/[Url]");
    EXPECT_EQ(model.GetItemString(0), L"File /home/u/Downloads/[Url].pdf has been downloaded from "
                                      L"http://example.test/[FileName]/[DeclaredMimeType]");
    EXPECT_EQ(model.GetItemString(1),
              L"User denied copying some of downloaded files to /srv/[Url]");
}

TEST(DownloadLogModelTest, CopyFailedAddsOneLastRow)
{
    DownloadLogModel withoutCopyFailure({Row(0), Row(3)}, DownloadLogTexts{}, false,
                                        L"/home/u/Out");
    EXPECT_EQ(withoutCopyFailure.GetRowCount(), 2u);
    EXPECT_EQ(withoutCopyFailure.GetItemString(2), L"");

    DownloadLogModel withCopyFailure({Row(0), Row(3)}, DownloadLogTexts{}, true, L"/home/u/Out");
    EXPECT_EQ(withCopyFailure.GetRowCount(), 3u);
    EXPECT_EQ(withCopyFailure.GetItemString(2),
              L"User denied copying some of downloaded files to /home/u/Out");

    DownloadLogModel emptyList({}, DownloadLogTexts{}, true, L"/srv/out");
    EXPECT_EQ(emptyList.GetRowCount(), 1u);
    EXPECT_EQ(emptyList.GetCopyAllText(),
              L"User denied copying some of downloaded files to /srv/out\r\n");
}

TEST(DownloadLogModelTest, RowOutsideTheLogIsAnArgumentError)
{
    DownloadLogModel model({Row(0)}, DownloadLogTexts{}, true, L"/home/u/Out");
    for (const std::int64_t intRow : {std::int64_t{-1}, std::int64_t{2}, std::int64_t{1} << 40}) {
        try {
            model.GetItemString(intRow);
            ADD_FAILURE() << intRow;
        } catch (const core::ArgumentException& exception) {
            EXPECT_STREQ(exception.GetFunction(), L"DownloadCompleteDialog::GetItemString");
        }
    }
    EXPECT_THROW(model.GetCopySelectedText({0, 2}), core::ArgumentException);
}

TEST(DownloadLogModelTest, CopyTextsEndEveryLineWithCrLf)
{
    DownloadLogTexts texts;
    texts.strSuccessText = L"ok [DeclaredFileName]";
    texts.strFailedText = L"no [DeclaredFileName]";
    std::vector<DownloadLogRow> rows{Row(0), Row(1), Row(-1)};
    rows[1].strFileName = L"b";
    DownloadLogModel model(rows, texts, false, L"");
    EXPECT_EQ(model.GetCopyAllText(), L"ok declared.pdf\r\nno b\r\n\r\n");
    EXPECT_EQ(model.GetCopySelectedText({1, 0, 1}), L"ok declared.pdf\r\nno b\r\n");
    EXPECT_EQ(model.GetCopySelectedText({}), L"");
}

TEST(DownloadLogModelTest, FoldStateAndButtonText)
{
    DownloadLogTexts texts;
    DownloadLogModel folded({}, texts, false, L"");
    EXPECT_FALSE(folded.IsExpanded());
    EXPECT_EQ(folded.GetLogButtonText(), L"Show Log >>");
    folded.ToggleLog();
    EXPECT_TRUE(folded.IsExpanded());
    EXPECT_EQ(folded.GetLogButtonText(), L"Hide Log <<");

    texts.bLogExpanded = true;
    DownloadLogModel unfolded({}, texts, false, L"");
    EXPECT_TRUE(unfolded.IsExpanded());
    EXPECT_EQ(unfolded.GetLogButtonText(), L"Hide Log <<");
}

}  // namespace
}  // namespace pullbay::ui
