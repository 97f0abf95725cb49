// The outcome of "run" from the control's events: every file downloaded, some
// not (or not moved out of the low-integrity folder), or an early end.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/cli/RunEventSink.h"
#include "pullbay/Events.h"

namespace pullbay::host {
namespace {

using com::NullableString;
using com::Variant;

void Item(RunEventSink& sink, std::int32_t intResult, std::int32_t intSize = 1,
          const std::wstring& strName = L"f")
{
    sink.Invoke(static_cast<com::DISPID>(api::EventId::DownloadItemComplete),
                {Variant::FromI4(intResult), Variant::FromString(NullableString(L"")),
                 Variant::FromString(NullableString(L"http://h/f")),
                 Variant::FromString(NullableString(strName)),
                 Variant::FromString(NullableString(L"*/*")), Variant::FromI4(intSize)});
}

void Error(RunEventSink& sink, std::int32_t intCode, std::int32_t intIndex)
{
    sink.Invoke(static_cast<com::DISPID>(api::EventId::Error),
                {Variant::FromI4(intCode), Variant::FromString(NullableString(L"text")),
                 Variant::FromI4(0), Variant::FromString(NullableString(L"")),
                 Variant::FromString(NullableString(L"")), Variant::FromI4(intIndex)});
}

void Step(RunEventSink& sink, std::int32_t intStep)
{
    sink.Invoke(static_cast<com::DISPID>(api::EventId::DownloadStep), {Variant::FromI4(intStep)});
}

void Complete(RunEventSink& sink, std::int32_t intResult)
{
    sink.Invoke(static_cast<com::DISPID>(api::EventId::DownloadComplete),
                {Variant::FromI4(intResult)});
}

TEST(RunEventSinkTest, TheExitCodeSaysWhetherEveryFileReachedTheDestination)
{
    struct Case {
        const char* strName;
        std::vector<std::int32_t> results;
        std::vector<std::int32_t> errors;
        std::int32_t intCompletion;
        int intExpected;
        // Error codes raised while the file list is read.
        std::vector<std::int32_t> listErrors = {};
    };
    const std::vector<Case> cases = {
        {"all downloaded", {api::ItemSuccess, api::ItemSuccess}, {}, api::CompletionSuccess, 0},
        {"one skipped", {api::ItemSuccess, api::ItemSkipped}, {304}, api::CompletionSuccess, 1},
        {"the move after the run refused",
         {api::ItemSuccess, api::ItemSuccess},
         {303, 302, 302},
         api::CompletionSuccess,
         1},
        {"ended early", {}, {}, api::CompletionNoFiles, 2},
        {"a list line rejected",
         {api::ItemSuccess},
         {},
         api::CompletionSuccess,
         1,
         {api::ErrorCode::kBadListLine}},
        {"a list line a duplicate",
         {api::ItemSuccess},
         {},
         api::CompletionSuccess,
         1,
         {api::ErrorCode::kDuplicateItem}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.strName);
        std::ostringstream lines;
        RunEventSink sink(false, false, lines);
        Step(sink, api::StepStarted);
        Step(sink, api::StepFileListStarted);
        for (const std::int32_t intCode : testCase.listErrors) {
            Error(sink, intCode, 0);
        }
        Step(sink, api::StepFileListReady);
        for (const std::int32_t intResult : testCase.results) {
            Item(sink, intResult);
        }
        for (const std::int32_t intCode : testCase.errors) {
            Error(sink, intCode, intCode == 303 ? -1 : 0);
        }
        Complete(sink, testCase.intCompletion);
        EXPECT_EQ(sink.ExitCode(), testCase.intExpected);
    }
}

TEST(RunEventSinkTest, AFileRefusedBeforeTheRunIsReportedOnceAndCountsAsNotDownloaded)
{
    std::ostringstream lines;
    RunEventSink sink(false, false, lines);
    EXPECT_EQ(sink.TakeRefusal(), std::nullopt);
    Error(sink, api::ErrorCode::kInvalidArgument, -1);
    EXPECT_EQ(sink.TakeRefusal(), std::optional<std::wstring>(L"text"));
    EXPECT_EQ(sink.TakeRefusal(), std::nullopt);
    sink.CountRefusedFile();
    Step(sink, api::StepStarted);
    Item(sink, api::ItemSuccess);
    Complete(sink, api::CompletionSuccess);
    EXPECT_EQ(sink.ExitCode(), 1);
    EXPECT_EQ(sink.Summary(L"/d"),
              "pullbay: 1 file downloaded, 0 failed, 0 skipped, 1 entry rejected; the files are "
              "in /d");
    // The refusal was the host's to report: the sink printed only the file.
    EXPECT_EQ(lines.str(), "done f (http://h/f)\n");
}

// The events carry a size's low 32 bits; the line names it as listed, from
// the row of the confirmed list that the file is (unchecked rows are not
// among the run's files).
TEST(RunEventSinkTest, AWrongSizeIsNamedAsTheListGaveIt)
{
    std::ostringstream lines;
    RunEventSink sink(false, false, lines);
    ui::ConfirmationRows rows{{L"http://h/a", L"a", L"7", L"*/*", true},
                              {L"http://h/b", L"b", L"4294967302", L"*/*", true},
                              {L"http://h/f", L"f", L"4294967301", L"*/*", true},
                              {L"http://h/g", L"g", L"4294967303", L"*/*", true}};
    sink.ListConfirmed(rows, {true, false, true, true});
    Step(sink, api::StepStarted);
    Item(sink, api::ItemSuccess);
    Item(sink, api::ItemWrongFileSize, 5);
    Item(sink, api::ItemWrongFileSize, 7);
    EXPECT_EQ(lines.str(),
              "done f (http://h/f)\n"
              "failed f (http://h/f): the size is not the declared 4294967301 bytes\n"
              "failed f (http://h/f): the size is not the declared 4294967303 bytes\n");

    // Without a confirmed list the event's size is all there is.
    std::ostringstream unconfirmed;
    RunEventSink plain(false, false, unconfirmed);
    Step(plain, api::StepStarted);
    Item(plain, api::ItemWrongFileSize, 5);
    EXPECT_EQ(unconfirmed.str(), "failed f (http://h/f): the size is not the declared 5 bytes\n");
}

// A destination folder the control cannot make raises no Error: the line
// says which of the system's path limits the file's path is past.
TEST(RunEventSinkTest, AFileFailedPastThePathLimitsSaysWhich)
{
    std::ostringstream lines;
    RunEventSink sink(false, false, lines);
    sink.SetFolder([] { return std::wstring(L"/d"); });
    Step(sink, api::StepStarted);
    Item(sink, api::ItemFailed, 1, std::wstring(256, L'n') + L"/f");
    Item(sink, api::ItemFailed, 1,
         L"a/" + std::wstring(254, L'n') + L"/b/" + std::wstring(254, L'n'));
    std::wstring strDeep;
    for (int i = 0; i < 45; ++i) {
        strDeep += std::wstring(100, L'x') + L"/";
    }
    Item(sink, api::ItemFailed, 1, strDeep + L"f");
    Item(sink, api::ItemFailed, 1, L"ok/f");
    // A folder past the limits leaves the event with the name alone: the
    // confirmed list's row has the folders.
    sink.ListConfirmed({{L"http://h/f", L"a", L"1", L"*/*", true},
                        {L"http://h/f", L"a", L"1", L"*/*", true},
                        {L"http://h/f", L"a", L"1", L"*/*", true},
                        {L"http://h/f", L"a", L"1", L"*/*", true},
                        {L"http://h/f", std::wstring(300, L'q') + L"/x.svg", L"1", L"*/*", true}},
                       {});
    Item(sink, api::ItemFailed, 1, L"x.svg");
    const std::string strLines = lines.str();
    EXPECT_NE(strLines.find("a folder or file name in its path is longer than the system allows "
                            "(255 bytes)\n"),
              std::string::npos)
        << strLines;
    EXPECT_NE(strLines.find("its path is longer than the system allows (4095 bytes)\n"),
              std::string::npos)
        << strLines;
    // A file within the limits that failed without a reason stays unexplained.
    EXPECT_NE(strLines.find("(http://h/f): download error\n"), std::string::npos) << strLines;
    EXPECT_NE(strLines.find("failed x.svg (http://h/f): a folder or file name in its path"),
              std::string::npos)
        << strLines;
}

}  // namespace
}  // namespace pullbay::host
