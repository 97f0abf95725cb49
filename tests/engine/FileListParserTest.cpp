// The file list text format: single lines (fields, sizes, URL resolution,
// line errors), whole lists (byte-order mark, line ends, the last line),
// chunk borders anywhere, and hostile bytes.
#include <gtest/gtest.h>

#include <boost/regex.hpp>

#include <locale>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "core/TextUnits.h"
#include "engine/FileListParser.h"
#include "model/FileList.h"

namespace pullbay::test {
namespace {

using engine::FileListBatch;
using engine::FileListParser;
using Described = std::vector<std::wstring>;

constexpr const wchar_t* kListUrl = L"http://example.com:8080/lists/files.txt";
const std::wstring kBase = L"http://example.com:8080/lists/";
const std::string kBom = "\xEF\xBB\xBF";

// "item mime|size|url|name" or "error code|description".
std::wstring Describe(const FileListBatch::Entry& entry)
{
    if (!entry.IsItem()) {
        return L"error " + std::to_wstring(entry.intErrorCode) + L"|" + entry.strDescription;
    }
    const auto& item = *entry.pItem;
    return L"item " + item.GetMimeType() + L"|" + std::to_wstring(item.GetFileSize()) + L"|" +
           item.GetUrl() + L"|" + item.GetFileName();
}

// The list fed in chunks cut at the given offsets, then finished.
Described Parse(const std::string& strList, const std::vector<std::size_t>& cuts = {},
                const wchar_t* strListUrl = kListUrl)
{
    FileListParser parser(strListUrl);
    Described described;
    auto add = [&](const FileListBatch& batch) {
        for (const auto& entry : batch.entries) {
            described.push_back(Describe(entry));
        }
    };
    std::size_t uintFrom = 0;
    for (std::size_t uintCut : cuts) {
        add(parser.Consume(strList.substr(uintFrom, uintCut - uintFrom)));
        uintFrom = uintCut;
    }
    add(parser.Consume(strList.substr(uintFrom)));
    add(parser.Finish());
    return described;
}

struct LineCase {
    const char* strName;
    std::string strLine;
    std::wstring strExpected;
    const wchar_t* strListUrl = kListUrl;
};

void PrintTo(const LineCase& row, std::ostream* pOut)
{
    *pOut << row.strName;
}

class FileListLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(FileListLineTest, GivesOneEntry)
{
    EXPECT_EQ(Parse(GetParam().strLine + "\n", {}, GetParam().strListUrl),
              Described{GetParam().strExpected});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FileListLineTest,
    ::testing::Values(
        LineCase{"RelativeUrlWithBlanks", " image/jpeg | 12345 | photos/a.jpg | a.jpg ",
                 L"item image/jpeg|12345|" + kBase + L"photos/a.jpg|a.jpg"},
        LineCase{"RelativeUrlCanonicalised", "image/jpeg|1|photos/../x/./a b.jpg|a.jpg",
                 L"item image/jpeg|1|" + kBase + L"x/a%20b.jpg|a.jpg"},
        LineCase{"RootRelativeUrlTakesListHostAndPort", "image/jpeg|1|/x/b.jpg|b.jpg",
                 L"item image/jpeg|1|http://example.com:8080/x/b.jpg|b.jpg"},
        LineCase{"AbsoluteUrlKeptUnencoded", "image/jpeg|1|HTTP://Other.ORG/d/../a b.jpg|a.jpg",
                 L"item image/jpeg|1|http://other.org/a b.jpg|a.jpg"},
        LineCase{"TabsAndCarriageReturnAreBlanks", "\timage/png\t|\t3\t|\ta.png\t|\tsub/a.png\t\r",
                 L"item image/png|3|" + kBase + L"a.png|sub/a.png"},
        LineCase{"NonAsciiNameAsWritten",
                 "image/png|3|a.png|Gr\xC3\xB6\xC3\x9F"
                 "e \xE2\x82\xAC.png",
                 L"item image/png|3|" + kBase + L"a.png|Gr\u00F6\u00DFe \u20AC.png"},
        LineCase{"BarInsideUrlField", "text/plain|1|a|b.txt|c.txt",
                 L"item text/plain|1|" + kBase + L"a%7Cb.txt|c.txt"},
        LineCase{"AnyTypeMatches", "*/*|007|a.bin|a.bin", L"item */*|7|" + kBase + L"a.bin|a.bin"},
        LineCase{"EmptyLine", "", L"error 100|"},
        LineCase{"ThreeFields", "image/jpeg|1|a.jpg", L"error 100|image/jpeg|1|a.jpg"},
        LineCase{"OneCharacterName", "image/jpeg|1|a.jpg|b", L"error 100|image/jpeg|1|a.jpg|b"},
        LineCase{"OneCharacterUrl", "image/jpeg|1|a|b.jpg", L"error 100|image/jpeg|1|a|b.jpg"},
        LineCase{"VendorMimeType", "application/vnd.ms-excel|1|a.xls|a.xls",
                 L"item application/vnd.ms-excel|1|" + kBase + L"a.xls|a.xls"},
        LineCase{"MimeTypeWithPlus", " image/svg+xml |1|a.svg|a.svg",
                 L"item image/svg+xml|1|" + kBase + L"a.svg|a.svg"},
        LineCase{"MimeTypeWithDigitAndMarks", "audio/mp4!#$&^_|1|a.m4a|a.m4a",
                 L"item audio/mp4!#$&^_|1|" + kBase + L"a.m4a|a.m4a"},
        LineCase{"WildcardSubtype", "IMAGE/*|1|a.png|a.png",
                 L"item IMAGE/*|1|" + kBase + L"a.png|a.png"},
        // A bar may sit in the type: the letters-only split still decides.
        LineCase{"FourBarsSplitAsBefore", "a/b|1|2|u|name", L"item a/b|1|" + kBase + L"2%7Cu|name"},
        LineCase{"WideTypeWithFourBars", "a/b.c|1|u|v|name",
                 L"item a/b.c|1|" + kBase + L"u%7Cv|name"},
        LineCase{"MimeTypeWithOtherMark", "image/svg;q|1|a.svg|a.svg",
                 L"error 100|image/svg;q|1|a.svg|a.svg"},
        LineCase{"LettersInSize", "image/jpeg|12a|a.jpg|a.jpg",
                 L"error 100|image/jpeg|12a|a.jpg|a.jpg"},
        LineCase{"EmptySize", "image/jpeg| |a.jpg|a.jpg", L"error 102|Invalid file size"},
        LineCase{"SizeAboveSignedRange", "image/jpeg|2147483648|a.jpg|a.jpg",
                 L"item image/jpeg|2147483648|" + kBase + L"a.jpg|a.jpg"},
        LineCase{"SizeBeyond32Bits", "image/jpeg|4294967296|a.jpg|a.jpg",
                 L"item image/jpeg|4294967296|" + kBase + L"a.jpg|a.jpg"},
        LineCase{"LargestSize", "image/jpeg|9223372036854775807|a.jpg|a.jpg",
                 L"item image/jpeg|9223372036854775807|" + kBase + L"a.jpg|a.jpg"},
        LineCase{"SizeBeyond63Bits", "image/jpeg|9223372036854775808|a.jpg|a.jpg",
                 L"error 102|Invalid file size"},
        LineCase{"PortBeyond16Bits", "image/jpeg|1|http://other.org:70000/a.jpg|a.jpg",
                 L"error 101|http://other.org:70000/a.jpg"},
        LineCase{"NulInUrl", std::string("a/b|1|a\0b.jpg|a.jpg", 19),
                 L"error 101|a" + std::wstring(1, L'\0') + L"b.jpg"},
        LineCase{"NoHostAnywhere", "a/b|1|x/a b.jpg|a.jpg", L"error 101|lists/x/a%20b.jpg",
                 L"lists/files.txt"},
        // Without a path, the slashes of the scheme do not end a folder.
        LineCase{"ListUrlWithoutPath", "a/b|1|a.jpg|a.jpg",
                 L"item a/b|1|https://h.org:444/a.jpg|a.jpg", L"https://h.org:444"},
        LineCase{"ListUrlEndingInSlash", "a/b|1|a.jpg|a.jpg",
                 L"item a/b|1|http://h.org/d/a.jpg|a.jpg", L"http://h.org/d/"}),
    [](const ::testing::TestParamInfo<LineCase>& row) { return std::string(row.param.strName); });

TEST(FileListParserTest, BadLinesDoNotStopTheLinesAfterThem)
{
    EXPECT_EQ(Parse("\nimage/jpeg|1|a.jpg\nimage/jpeg|1|http://o.org:70000/b.jpg|b.jpg\n"
                    "image/jpeg||c.jpg|c.jpg\nimage/jpeg|2|d.jpg|d.jpg\n"),
              (Described{L"error 100|", L"error 100|image/jpeg|1|a.jpg",
                         L"error 101|http://o.org:70000/b.jpg", L"error 102|Invalid file size",
                         L"item image/jpeg|2|" + kBase + L"d.jpg|d.jpg"}));
}

// Lines of every kind with characters of two, three and four bytes; the last
// one without a line feed.
const std::string kPlainList =
    "image/jpeg|100|photos/one.jpg|one.jpg\n"
    "text/plain|2|/docs/n\xC3\xA4me.txt|d\xC3\xB6\x63s/n\xC3\xA4me.txt\n"
    "bad line\n"
    "\n"
    "*/*|4294967295|https://cdn.example.org/big.bin|big \xF0\x9F\x98\x80.bin\n"
    "image/png||x.png|x.png\n"
    "image/png|3|\xE2\x82\xAC.png|\xE2\x82\xAC.png";

std::string WithWindowsLineEnds(std::string strList)
{
    for (std::size_t uintAt = strList.find('\n'); uintAt != std::string::npos;
         uintAt = strList.find('\n', uintAt + 2)) {
        strList.insert(uintAt, 1, '\r');
    }
    return strList;
}

TEST(FileListParserTest, ByteOrderMarkAndWindowsLineEndsGiveTheSameItems)
{
    const Described plain = Parse(kPlainList);
    ASSERT_EQ(plain.size(), 7u);
    EXPECT_EQ(plain[6], L"item image/png|3|" + kBase + L"%E2%82%AC.png|\u20AC.png");
    EXPECT_EQ(Parse(kBom + kPlainList), plain);
    Described windows = Parse(kBom + WithWindowsLineEnds(kPlainList));
    // Only the texts of the bad lines keep their carriage return.
    windows[2].pop_back();
    windows[3].pop_back();
    EXPECT_EQ(windows, plain);
}

TEST(FileListParserTest, ByteOrderMarkIsDroppedOnlyAtTheStartHoweverItArrives)
{
    const std::string strLine = "a/b|1|x.y|x.y\n";
    const Described one = {L"item a/b|1|" + kBase + L"x.y|x.y"};
    for (const auto& cuts : std::vector<std::vector<std::size_t>>{{3}, {1}, {1, 2}, {2, 3, 4}}) {
        EXPECT_EQ(Parse(kBom + strLine, cuts), one);
    }
    EXPECT_TRUE(Parse(kBom).empty());
    EXPECT_EQ(Parse(strLine + kBom + strLine)[1], L"error 100|\uFEFFa/b|1|x.y|x.y");
    // The start of a mark that is never completed is text.
    EXPECT_EQ(Parse("\xEF\xBB"), Described{L"error 100|\uFFFD"});
}

TEST(FileListParserTest, LastLineWithoutLineFeedWaitsForFinish)
{
    FileListParser parser(kListUrl);
    EXPECT_EQ(parser.Consume("a/b|1|x.y|x.y\na/b|2|z.y|z.y").entries.size(), 1u);
    const FileListBatch last = parser.Finish();
    ASSERT_EQ(last.entries.size(), 1u);
    EXPECT_EQ(Describe(last.entries[0]), L"item a/b|2|" + kBase + L"z.y|z.y");
    EXPECT_TRUE(parser.Finish().Empty());
}

TEST(FileListParserTest, SameLineTwiceIsRefusedByTheListAsDuplicate)
{
    FileListParser parser(kListUrl);
    const FileListBatch batch =
        parser.Consume("a/b|1|a.jpg|a.jpg\na/b|1|a.jpg|a.jpg\na/b|1|A.JPG|A.jpg\n");
    ASSERT_EQ(batch.entries.size(), 3u);
    // The list's owner adds in order; a refused item is its Error 103.
    model::FileList list;
    std::vector<bool> added;
    for (const auto& entry : batch.entries) {
        added.push_back(list.Add(entry.pItem));
    }
    EXPECT_EQ(added, (std::vector<bool>{true, false, false}));
}

std::string MixedList()
{
    return kBom + WithWindowsLineEnds(kPlainList) + "\n" + kPlainList;
}

TEST(FileListParserTest, EverySplitPointGivesTheSameEntries)
{
    const std::string strList = MixedList();
    const Described whole = Parse(strList);
    ASSERT_EQ(whole.size(), 14u);
    std::vector<std::size_t> everyByte;
    for (std::size_t uintCut = 0; uintCut <= strList.size(); ++uintCut) {
        ASSERT_EQ(Parse(strList, {uintCut}), whole) << "cut at " << uintCut;
        everyByte.push_back(uintCut);
    }
    EXPECT_EQ(Parse(strList, everyByte), whole);
}

// Well-formed lines among hostile ones (random bytes, invalid UTF-8, NUL,
// long lines of separators) at random chunk borders: every line gives one
// entry and every well-formed line its item. Then random and truncated
// streams: any outcome but a crash.
TEST(FileListParserTest, HostileBytesNeverCostAWellFormedLine)
{
    std::mt19937 random(20240611u);
    auto below = [&](std::size_t uintBound) {
        return std::uniform_int_distribution<std::size_t>(0, uintBound - 1)(random);
    };
    auto garbage = [&](std::size_t uintLength) {
        static const char kAlphabet[] = "|/ \r\0aZ5*\xC3\xE2\x82\xF0\xFF\xEF";
        std::string strOut;
        while (strOut.size() < uintLength) {
            const char ch =
                below(3) == 0 ? kAlphabet[below(sizeof kAlphabet)] : static_cast<char>(below(256));
            strOut.push_back(ch == '\n' ? '|' : ch);
        }
        return strOut;
    };
    auto randomCuts = [&](std::size_t uintSize, std::size_t uintMaxStep) {
        std::vector<std::size_t> cuts;
        for (std::size_t uintCut = below(8); uintCut < uintSize;
             uintCut += 1 + below(uintMaxStep)) {
            cuts.push_back(uintCut);
        }
        return cuts;
    };

    for (int intRound = 0; intRound < 300; ++intRound) {
        std::string strList;
        Described expected;  // empty text for a hostile line
        const std::size_t uintLines = 1 + below(20);
        for (std::size_t uintLine = 0; uintLine < uintLines; ++uintLine) {
            const std::string strName =
                "f" + std::to_string(intRound) + "_" + std::to_string(uintLine);
            if (below(2) == 0) {
                strList += "text/plain|5|d/" + strName + "|" + strName + "\n";
                expected.push_back(L"item text/plain|5|" + kBase + L"d/" + core::FromUtf8(strName) +
                                   L"|" + core::FromUtf8(strName));
            } else {
                strList += garbage(below(8) == 0 ? 2000 + below(3000) : below(80)) + "\n";
                expected.emplace_back();
            }
        }
        const Described described = Parse(strList, randomCuts(strList.size(), 700));
        ASSERT_EQ(described.size(), uintLines) << "round " << intRound;
        for (std::size_t uintLine = 0; uintLine < uintLines; ++uintLine) {
            if (!expected[uintLine].empty()) {
                EXPECT_EQ(described[uintLine], expected[uintLine]) << "round " << intRound;
            }
        }
    }

    const std::string strValid = MixedList();
    for (int intRound = 0; intRound < 3000; ++intRound) {
        const std::string strBytes =
            intRound % 2 == 0 ? garbage(below(300)) : strValid.substr(0, below(strValid.size()));
        Parse(strBytes, randomCuts(strBytes.size(), 40));
    }
}

// A line past the limit is one Error 100 however it arrives (whole, in
// small chunks, never ended), its description is its start cut at a
// character, and the lines around it still read. The limit is exact.
TEST(FileListParserTest, LinesPastTheLimitAreOneErrorAndTheRestStillReads)
{
    constexpr std::size_t kMax = FileListParser::kMaxLineBytes;
    const std::string strGood = "text/plain|5|a.txt|a.txt\n";
    const std::wstring strItem = L"item text/plain|5|" + kBase + L"a.txt|a.txt";
    // Exactly at the limit: an ordinary (bad) line, described whole.
    const std::string strAtLimit(kMax, 'x');
    // Past it, with a two-byte character across the cut.
    const std::string strLong = std::string(kMax - 1, 'y') + "\xC3\xA9" + std::string(5000, 'z');
    const std::string strList = strGood + strAtLimit + "\n" + strLong + "\n" + strGood;
    const std::wstring strLongShown = L"error 100|" + std::wstring(kMax - 1, L'y');

    for (const std::size_t uintStep : {std::size_t{0}, std::size_t{1000}, std::size_t{40000}}) {
        SCOPED_TRACE(uintStep);
        std::vector<std::size_t> cuts;
        for (std::size_t uintCut = uintStep; uintStep != 0 && uintCut < strList.size();
             uintCut += uintStep) {
            cuts.push_back(uintCut);
        }
        const Described described = Parse(strList, cuts);
        ASSERT_EQ(described.size(), 4u);
        EXPECT_EQ(described[0], strItem);
        EXPECT_EQ(described[1], L"error 100|" + std::wstring(kMax, L'x'));
        EXPECT_EQ(described[2], strLongShown);
        EXPECT_EQ(described[3], strItem);
    }

    // A line that never ends is reported once, and nothing of it is kept.
    FileListParser parser(kListUrl);
    std::size_t uintErrors = 0;
    const std::string strChunk(16 * 1024, 'q');
    for (int i = 0; i < 2000; ++i) {  // 32 MiB
        for (const auto& entry : parser.Consume(strChunk).entries) {
            EXPECT_EQ(entry.intErrorCode, 100);
            ++uintErrors;
        }
    }
    EXPECT_EQ(uintErrors, 1u);
    EXPECT_TRUE(parser.Finish().Empty());
    // After the end of the long line, lines read again.
    FileListParser after(kListUrl);
    after.Consume(std::string(kMax + 1, 'q'));
    const FileListBatch batch = after.Consume("q\n" + strGood);
    ASSERT_EQ(batch.entries.size(), 1u);
    EXPECT_EQ(Describe(batch.entries[0]), strItem);
}

// Lines are split by a direct scan where that is sure and by the line
// pattern otherwise; both must give what the pattern gives. Random lines
// from pieces made to find the corners: extra and missing separators,
// blanks, tabs, carriage returns, other control characters, Unicode white
// space at field edges, digits and letters of other scripts.
TEST(FileListParserTest, SplittingAgreesWithTheLinePatternOnRandomLines)
{
    boost::wregex pattern;
    pattern.imbue(std::locale("C.UTF-8"));
    pattern.assign(FileListParser::kLinePattern, boost::regex_constants::perl);
    boost::wregex widePattern;
    widePattern.imbue(std::locale("C.UTF-8"));
    widePattern.assign(FileListParser::kWideTypeLinePattern, boost::regex_constants::perl);
    const std::vector<std::wstring> pieces = {
        L"image",      L"/",      L"jpeg",   L"*",      L"a",
        L"|",          L"|",      L" ",      L" ",      L"\t",
        L"\r",         L"\v",     L"12",     L"0",      L"x.jpg",
        L"/d/e f.bin", L"-",      L".",      L"+",      L"7",
        L"\u3000",     L"\u00A0", L"\u0661", L"\u00E9", L"http://h:1/p",
        L"\x1C"};
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 14);
    int intMatched = 0;
    for (int intLine = 0; intLine < 20000; ++intLine) {
        std::wstring strLine;
        // Half of the lines start from a well-formed one.
        if (intLine % 2 == 0) {
            strLine = L"image/jpeg | 12 | x.jpg | a b.jpg";
        }
        for (int i = length(random); i > 0; --i) {
            const std::size_t uintAt =
                strLine.empty()
                    ? 0
                    : std::uniform_int_distribution<std::size_t>(0, strLine.size())(random);
            strLine.insert(uintAt, pieces[pick(random)]);
        }
        SCOPED_TRACE(core::ToUtf8(strLine));
        boost::wsmatch match;
        const bool bMatched = boost::regex_match(strLine, match, pattern) ||
                              boost::regex_match(strLine, match, widePattern);
        FileListParser parser(kListUrl);
        const FileListBatch batch = parser.Consume(core::ToUtf8(strLine) + "\n");
        ASSERT_EQ(batch.entries.size(), 1u);
        const FileListBatch::Entry& entry = batch.entries[0];
        if (!bMatched) {
            ASSERT_FALSE(entry.IsItem());
            ASSERT_EQ(entry.intErrorCode, 100);
            continue;
        }
        ++intMatched;
        ASSERT_NE(entry.intErrorCode, 100);
        if (entry.IsItem()) {
            EXPECT_EQ(entry.pItem->GetMimeType(), match.str(1));
            EXPECT_EQ(entry.pItem->GetFileSize(), std::stoll(match.str(2)));
            EXPECT_EQ(entry.pItem->GetFileName(), match.str(4));
        } else if (entry.intErrorCode == 102) {
            EXPECT_TRUE(match.str(2).empty() || match.str(2).size() > 18);
        }
    }
    EXPECT_GT(intMatched, 2000);
}

}  // namespace
}  // namespace pullbay::test
