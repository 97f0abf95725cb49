// Filling the file list the way DownloadFileAdd does (URL accepted, item
// created, added) and dropping the unchecked half after the confirmation
// dialog, at 100,000 entries: both must stay O(N log N).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "control/UrlAcceptance.h"
#include "core/ExceptionManager.h"
#include "model/FileItem.h"
#include "model/FileList.h"

namespace {

using namespace pullbay;

constexpr int kEntries = 100000;
const std::wstring kPage = L"http://files.example.com/dir/index.html";

// Arg 0: absolute URLs; arg 1: file names relative to the page.
void BM_AddThroughAcceptUrl(benchmark::State& state)
{
    core::ExceptionManagerScope registry;
    const bool relative = state.range(0) != 0;
    for (auto _ : state) {
        model::FileList list;
        for (int i = 0; i < kEntries; ++i) {
            const std::wstring strNumber = std::to_wstring(i);
            const std::wstring strUrl =
                relative ? L"file" + strNumber + L".bin"
                         : L"http://files.example.com/dir/file" + strNumber + L".bin";
            const auto canonical = control::AcceptUrl(strUrl, kPage);
            if (!canonical.has_value()) {
                state.SkipWithError("URL refused");
                return;
            }
            list.Add(model::FileItem::Create(L"application/octet-stream", 1024,
                                             L"File" + strNumber + L".bin", *canonical));
        }
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_AddThroughAcceptUrl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Arg 0: every other entry unchecked; arg 1: the first half unchecked (the
// shape that a naive erase from the front makes quadratic).
void BM_DropUnchecked(benchmark::State& state)
{
    const bool frontHalf = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto pList = std::make_unique<model::FileList>();
        for (int i = 0; i < kEntries; ++i) {
            auto pItem = model::FileItem::Create(
                L"", 0, L"f", L"http://files.example.com/dir/file" + std::to_wstring(i) + L".bin");
            pItem->SetChecked(frontHalf ? (i >= kEntries / 2) : (i % 2));
            pList->Add(std::move(pItem));
        }
        state.ResumeTiming();
        pList->DropUnchecked();
        benchmark::DoNotOptimize(pList->Count());
        state.PauseTiming();
        pList.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_DropUnchecked)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
