// The outcome of "run" from the control's events: every file downloaded, some
// not (or not moved out of the low-integrity folder), or an early end.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/RunEventSink.h"
#include "pullbay/Events.h"

namespace pullbay::host {
namespace {

using com::NullableString;
using com::Variant;

void Item(RunEventSink& sink, std::int32_t intResult)
{
    sink.Invoke(static_cast<com::DISPID>(api::EventId::DownloadItemComplete),
                {Variant::FromI4(intResult), Variant::FromString(NullableString(L"")),
                 Variant::FromString(NullableString(L"http://h/f")),
                 Variant::FromString(NullableString(L"f")),
                 Variant::FromString(NullableString(L"*/*")), Variant::FromI4(1)});
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

}  // namespace
}  // namespace pullbay::host
