// Throughput of one large transfer and the cost of many small ones over
// loopback, the two shapes of a download run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/ExceptionManager.h"
#include "net/IDownloadEvents.h"
#include "net/WInetDownloader.h"
#include "support/PatternBytes.h"
#include "support/TestHttpServer.h"

namespace {

using namespace pullbay;

// Counts bytes instead of keeping them, so only the transfer is measured.
class CountingStream : public core::IStream {
public:
    HRESULT Read(void*, std::uint32_t, std::uint32_t* pRead) override
    {
        *pRead = 0;
        return S_OK;
    }
    HRESULT Write(const void*, std::uint32_t uintSize, std::uint32_t* pWritten) override
    {
        m_uintBytes += uintSize;
        *pWritten = uintSize;
        return S_OK;
    }
    HRESULT Seek(std::int64_t, core::StreamSeekOrigin, std::uint64_t*) override { return S_OK; }
    HRESULT SetSize(std::uint64_t) override { return S_OK; }
    std::uint64_t m_uintBytes = 0;
};

class QuietEvents : public net::IDownloadEvents {
public:
    net::TransferVerdict DownloadProgress(std::int64_t, std::int64_t) override
    {
        return net::TransferVerdict::Continue();
    }
    net::TransferVerdict MimeTypeAvailable(const std::wstring&) override
    {
        return net::TransferVerdict::Continue();
    }
    void WaitingForReconnect() override {}
};

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

void BM_LargeTransfer(benchmark::State& state)
{
    core::ExceptionManagerScope registry;
    const auto uintSize = static_cast<std::size_t>(state.range(0));
    test::TestHttpServer server;
    test::HttpResponse response;
    response.body = test::PatternBytes(0, uintSize);
    response.chunkSize = 256 * 1024;
    server.Route("/large", response);
    const std::wstring url = Widen(server.BaseUrl() + "/large");

    for (auto _ : state) {
        CountingStream stream;
        QuietEvents events;
        net::WInetDownloader downloader;
        downloader.SetDownloadEvents(&events);
        downloader.SetOutputStream(&stream);
        if (!downloader.Download(url.c_str()).bSucceeded || stream.m_uintBytes != uintSize) {
            state.SkipWithError("transfer incomplete");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * uintSize));
}
BENCHMARK(BM_LargeTransfer)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

void BM_SmallTransfers(benchmark::State& state)
{
    core::ExceptionManagerScope registry;
    test::TestHttpServer server;
    server.Route("/small", test::HttpResponse::Text(200, test::PatternBytes(0, 2048)));
    const std::wstring url = Widen(server.BaseUrl() + "/small");
    net::WInetDownloader downloader;
    QuietEvents events;
    CountingStream stream;
    downloader.SetDownloadEvents(&events);
    downloader.SetOutputStream(&stream);

    for (auto _ : state) {
        downloader.Download(url.c_str());
    }
    state.counters["connections"] = server.ConnectionCount();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmallTransfers)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
