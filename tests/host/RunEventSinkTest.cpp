// The outcome of "run" from the control's events: every file downloaded, some
// not (or not moved out of the low-integrity folder), or an early end.
#include <gtest/gtest.h>

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
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.strName);
        RunEventSink sink(false);
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

}  // namespace
}  // namespace pullbay::host
