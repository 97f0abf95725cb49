// The page reader's parse against the depth of a page's nesting, and the
// scan that bounds the depth before it: the parse of a page just inside the
// limit must stay fast, and the scan of a page of the largest size linear.
//
//   build/bench/bench_page_nesting [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <string>

#include "host/page/HostPage.h"
#include "host/page/NestingScan.h"

namespace {

using pullbay::host::HostPage;
using pullbay::host::NestingScan;

const std::string kObject =
    R"(<object classid="progid:Velmora.Pullbay.701"><param name="TimeOut" value="5000"></object>)";

std::string Nested(long intDepth)
{
    std::string strPage;
    for (long i = 0; i < intDepth; ++i) {
        strPage += "<div>";
    }
    return strPage + kObject;
}

// The largest page of the depth: opened and closed again until the page
// limit, every start tag making the parser look through the whole stack.
std::string Sawtooth(long intDepth)
{
    std::string strTooth;
    for (long i = 0; i < intDepth; ++i) {
        strTooth += "<div>";
    }
    for (long i = 0; i < intDepth; ++i) {
        strTooth += "</div>";
    }
    std::string strPage = kObject;
    while (strPage.size() + strTooth.size() <= HostPage::kMaxPageBytes) {
        strPage += strTooth;
    }
    return strPage;
}

void BM_ParseNested(benchmark::State& state)
{
    const std::string strPage = Nested(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(HostPage::FindControl(strPage));
    }
}
BENCHMARK(BM_ParseNested)
    ->Arg(250)
    ->Arg(500)
    ->Arg(997)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);

void BM_ParseSawtooth(benchmark::State& state)
{
    const std::string strPage = Sawtooth(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(HostPage::FindControl(strPage));
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations() * strPage.size()));
}
BENCHMARK(BM_ParseSawtooth)->Arg(10)->Arg(100)->Arg(997)->Unit(benchmark::kMillisecond);

void BM_ScanNested(benchmark::State& state)
{
    const std::string strPage = Nested(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(NestingScan::Depth(strPage, HostPage::kMaxNestingDepth));
    }
}
BENCHMARK(BM_ScanNested)->Arg(997)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_ScanSawtooth(benchmark::State& state)
{
    const std::string strPage = Sawtooth(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(NestingScan::Depth(strPage, HostPage::kMaxNestingDepth));
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations() * strPage.size()));
}
BENCHMARK(BM_ScanSawtooth)->Arg(997)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
