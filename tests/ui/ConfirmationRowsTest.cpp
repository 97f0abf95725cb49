// The confirmation rows as a value: rows read back as they were added, from
// plain texts or from compact ones; copies share their texts and a change to
// one copy leaves the others as they were; long lists span many blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CompactText.h"
#include "ui/ConfirmationRows.h"

namespace pullbay::ui {
namespace {

void ExpectRow(const ConfirmationRow& row, const ConfirmationRow& expected)
{
    EXPECT_EQ(row.strUrl, expected.strUrl);
    EXPECT_EQ(row.strFileName, expected.strFileName);
    EXPECT_EQ(row.strFileSizeText, expected.strFileSizeText);
    EXPECT_EQ(row.strMimeType, expected.strMimeType);
    EXPECT_EQ(row.bChecked, expected.bChecked);
}

TEST(ConfirmationRowsTest, RowsReadBackAsTheyWereAdded)
{
    const std::vector<ConfirmationRow> added = {
        {L"http://h/a.bin", L"a.bin", L"12", L"*/*", true},
        {L"http://h/\u00FC\u20AC", L"\U0001F600.txt", L"", L"text/plain", false},
        {L"", L"", L"0", L"", true},
    };
    ConfirmationRows rows;
    EXPECT_TRUE(rows.empty());
    for (const ConfirmationRow& row : added) {
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), added.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectRow(rows[i], added[i]);
        EXPECT_EQ(rows.Url(i).Str(), added[i].strUrl);
        EXPECT_EQ(rows.FileName(i).Str(), added[i].strFileName);
        EXPECT_EQ(rows.FileSizeText(i).Str(), added[i].strFileSizeText);
        EXPECT_EQ(rows.MimeType(i).Str(), added[i].strMimeType);
        EXPECT_EQ(rows.IsChecked(i), added[i].bChecked);
    }
    std::size_t uintSeen = 0;
    for (const ConfirmationRow& row : rows) {
        ExpectRow(row, added[uintSeen++]);
    }
    EXPECT_EQ(uintSeen, added.size());

    const ConfirmationRows listed = {added[1], added[0]};
    ASSERT_EQ(listed.size(), 2u);
    ExpectRow(listed[0], added[1]);
    ExpectRow(listed[1], added[0]);
}

TEST(ConfirmationRowsTest, CompactTextsAreTakenAsTheyStand)
{
    const std::wstring strUrl = L"http://h/\u0100.bin";
    const std::wstring strName = L"n.bin";
    const std::wstring strType = L"image/png";
    std::vector<unsigned char> bytes(core::CompactTextSize(strUrl) +
                                     core::CompactTextSize(strName) +
                                     core::CompactTextSize(strType));
    unsigned char* pOut = core::WriteCompactText(strUrl, bytes.data());
    pOut = core::WriteCompactText(strName, pOut);
    core::WriteCompactText(strType, pOut);
    const unsigned char* pIn = bytes.data();
    const core::CompactTextView url = core::ReadCompactText(pIn);
    const core::CompactTextView name = core::ReadCompactText(pIn);
    const core::CompactTextView type = core::ReadCompactText(pIn);

    ConfirmationRows rows;
    rows.Add(url, name, L"4096", type, false);
    rows.Add({}, {}, L"", {}, true);
    ASSERT_EQ(rows.size(), 2u);
    ExpectRow(rows[0], {strUrl, strName, L"4096", strType, false});
    ExpectRow(rows[1], {L"", L"", L"", L"", true});
}

TEST(ConfirmationRowsTest, CopiesShareTheTextsAndChangeApart)
{
    ConfirmationRows first = {{L"http://h/1", L"1", L"1", L"*/*", true}};
    ConfirmationRows second = first;
    second.push_back({L"http://h/2", L"2", L"2", L"*/*", false});
    first.push_back({L"http://h/3", L"3", L"3", L"*/*", true});
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(first[1].strUrl, L"http://h/3");
    EXPECT_EQ(second[1].strUrl, L"http://h/2");
    EXPECT_EQ(first[0].strUrl, L"http://h/1");
    EXPECT_EQ(second[0].strUrl, L"http://h/1");

    ConfirmationRows moved = std::move(second);
    EXPECT_EQ(moved[1].strFileName, L"2");
    ConfirmationRows assigned;
    assigned = moved;
    moved.push_back({L"http://h/4", L"4", L"4", L"*/*", true});
    EXPECT_EQ(assigned.size(), 2u);
    EXPECT_EQ(moved.size(), 3u);
}

TEST(ConfirmationRowsTest, ALongListSpansManyBlocksAndKeepsEveryRow)
{
    // About 8 MB of text: many blocks, and one row larger than a block.
    ConfirmationRows rows;
    const std::size_t uintCount = 100000;
    rows.reserve(uintCount);
    const std::wstring strLong(300000, L'\u00E9');
    for (std::size_t i = 0; i < uintCount; ++i) {
        const std::wstring strIndex = std::to_wstring(i);
        rows.push_back({L"http://mirror.example.net/archive/scans/part" + strIndex + L".bin",
                        i == 5000 ? strLong : L"part" + strIndex + L".bin", strIndex, L"*/*",
                        i % 3 != 0});
    }
    ASSERT_EQ(rows.size(), uintCount);
    for (std::size_t i = 0; i < uintCount; i += 997) {
        const std::wstring strIndex = std::to_wstring(i);
        ASSERT_EQ(rows.Url(i).Str(),
                  L"http://mirror.example.net/archive/scans/part" + strIndex + L".bin");
        ASSERT_EQ(rows.FileSizeText(i).Str(), strIndex);
        ASSERT_EQ(rows.IsChecked(i), i % 3 != 0);
    }
    EXPECT_EQ(rows.FileName(5000).Str(), strLong);
    EXPECT_EQ(rows.FileName(5001).Str(), L"part5001.bin");
    // A copy that changes gets its own texts, every row intact.
    ConfirmationRows copy = rows;
    copy.push_back({L"u", L"n", L"1", L"*/*", true});
    EXPECT_EQ(copy.FileName(5000).Str(), strLong);
    EXPECT_EQ(copy.Url(uintCount - 1).Str(), rows.Url(uintCount - 1).Str());
    EXPECT_EQ(rows.size(), uintCount);
}

}  // namespace
}  // namespace pullbay::ui
