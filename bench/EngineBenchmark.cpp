// Whole runs through the download engine from a loopback server into a
// temporary folder: many small files (connection reuse, per-file overhead)
// and one large file (throughput, memory). Prints files per second and MB/s.
//
//   build/bench/bench_engine [small-file-count] [large-file-MiB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/ExceptionManager.h"
#include "engine/FileListDownloader.h"
#include "model/FileItem.h"
#include "model/PropertyHolder.h"
#include "support/PatternBytes.h"
#include "support/TestHttpServer.h"

namespace {

using namespace pullbay;
namespace fs = std::filesystem;

class CountingEvents : public engine::IDownloaderEvents {
public:
    void ItemComplete(const std::wstring&, const std::shared_ptr<model::FileItem>& pItem) override
    {
        m_intSucceeded += pItem->GetResult() == 0 ? 1 : 0;
    }
    void Error(std::int32_t, const std::wstring&, std::int32_t, const std::wstring&,
               const std::wstring&, std::int32_t) override
    {
    }
    void ItemsSkipped(std::span<const std::shared_ptr<model::FileItem>>, std::int32_t) override {}
    void Progress(double, double, std::int32_t) override {}
    model::FileExistsDialogAction FileExists(const std::shared_ptr<model::FileItem>&) override
    {
        return model::FileExistsDialogAction::Overwrite;
    }
    int m_intSucceeded = 0;
};

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

struct RunResult {
    double dblSeconds;
    int intSucceeded;
};

RunResult Run(const fs::path& destination, engine::FileListDownloader::Items items)
{
    model::PropertyHolder settings;
    CountingEvents events;
    auto pEngine = std::make_shared<engine::FileListDownloader>(settings, destination.wstring(),
                                                                std::move(items), events);
    const auto start = std::chrono::steady_clock::now();
    pEngine->Process();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), events.m_intSucceeded};
}

}  // namespace

int main(int argc, char** argv)
{
    const int intSmallFiles = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::size_t uintLargeMiB = argc > 2 ? static_cast<std::size_t>(std::atoi(argv[2])) : 512;
    core::ExceptionManagerScope registry;

    std::string strBase = (std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp");
    strBase += "/pullbay-bench-XXXXXX";
    if (::mkdtemp(strBase.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root(strBase);
    ::setenv("TMPDIR", root.c_str(), 1);  // the engine's temporary folder goes here too
    fs::create_directories(root / "small");
    fs::create_directories(root / "large");

    test::TestHttpServer server;
    server.Route("/small", test::HttpResponse::Text(200, test::PatternBytes(0, 4096),
                                                    "application/octet-stream"));

    engine::FileListDownloader::Items smallItems;
    for (int i = 0; i < intSmallFiles; ++i) {
        smallItems.push_back(
            model::FileItem::Create(L"*/*", 4096, L"f" + std::to_wstring(i) + L".bin",
                                    Widen(server.BaseUrl() + "/small?" + std::to_string(i))));
    }
    const RunResult small = Run(root / "small", std::move(smallItems));
    std::printf(
        "small files: %d of %d x 4 KiB in %.3f s: %.0f files/s, %.1f MB/s, %d connection(s)\n",
        small.intSucceeded, intSmallFiles, small.dblSeconds, small.intSucceeded / small.dblSeconds,
        small.intSucceeded * 4096.0 / 1e6 / small.dblSeconds, server.ConnectionCount());

    const std::size_t uintLargeBytes = uintLargeMiB << 20;
    {
        test::HttpResponse large;
        large.body.assign(uintLargeBytes, '\0');
        const std::string block = test::PatternBytes(0, 1 << 20, 3);
        for (std::size_t offset = 0; offset < uintLargeBytes; offset += block.size()) {
            large.body.replace(offset, block.size(), block);
        }
        large.chunkSize = 1 << 20;
        server.Route("/large", std::move(large));
    }
    engine::FileListDownloader::Items largeItems{
        model::FileItem::Create(L"*/*", static_cast<std::int32_t>(uintLargeBytes), L"large.bin",
                                Widen(server.BaseUrl() + "/large"))};
    const RunResult large = Run(root / "large", std::move(largeItems));
    std::printf("large file: %zu MiB in %.3f s: %.1f MB/s (%s)\n", uintLargeMiB, large.dblSeconds,
                static_cast<double>(uintLargeBytes) / 1e6 / large.dblSeconds,
                large.intSucceeded == 1 ? "stored" : "FAILED");

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return small.intSucceeded == intSmallFiles && large.intSucceeded == 1 ? 0 : 1;
}
