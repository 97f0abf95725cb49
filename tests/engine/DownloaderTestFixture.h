#pragma once
// The engine tests' fixture: a scripted loopback server, a destination
// folder emptied for each test, and an owner that records what the engine
// reports and answers clashes from a script.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engine/FileListDownloader.h"
#include "model/FileItem.h"
#include "model/PropertyHolder.h"
#include "pullbay/Events.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

namespace pullbay::test {

using namespace std::chrono_literals;

struct ErrorReport {
    std::int32_t intCode;
    std::wstring strDescription;
    std::int32_t intHttpCode;
    std::wstring strPage;
    std::wstring strUrl;
    std::int32_t intIndex;
};

// Records what the engine reports; answers clashes with a scripted action.
class RecordingDownloaderEvents : public engine::IDownloaderEvents {
public:
    void ItemComplete(const std::wstring& strPage,
                      const std::shared_ptr<model::FileItem>& pItem) override
    {
        std::lock_guard lock(m_mutex);
        EXPECT_EQ(strPage, L"");
        completed.push_back(pItem);
        m_changed.notify_all();
    }
    void Error(std::int32_t intCode, const std::wstring& strDescription, std::int32_t intHttpCode,
               const std::wstring& strPage, const std::wstring& strUrl,
               std::int32_t intIndex) override
    {
        std::lock_guard lock(m_mutex);
        errors.push_back({intCode, strDescription, intHttpCode, strPage, strUrl, intIndex});
    }
    void ItemsSkipped(std::span<const std::shared_ptr<model::FileItem>> items,
                      std::int32_t intFirstIndex) override
    {
        ++intSkipBatches;
        for (const auto& pItem : items) {
            Error(api::ErrorCode::kFileSkipped, L"", 0, L"", L"", intFirstIndex++);
            ItemComplete(L"", pItem);
        }
    }
    void Progress(double dblItem, double dblTotal, std::int32_t intIndex) override
    {
        std::lock_guard lock(m_mutex);
        progress.push_back({dblItem, dblTotal, intIndex});
        m_changed.notify_all();
    }
    model::FileExistsDialogAction FileExists(const std::shared_ptr<model::FileItem>& pItem) override
    {
        std::lock_guard lock(m_mutex);
        clashes.push_back(pItem->FullDestinationPath());
        if (!scriptedAnswers.empty()) {
            const model::FileExistsDialogAction answer = scriptedAnswers.front();
            scriptedAnswers.pop_front();
            return answer;
        }
        return clashAnswer;
    }
    // Waits (bounded) until the engine reported progress for a file index.
    bool WaitForProgressOf(std::int32_t intIndex)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] {
            for (const auto& report : progress) {
                if (report.intIndex == intIndex) {
                    return true;
                }
            }
            return false;
        });
    }

    struct ProgressReport {
        double dblItem;
        double dblTotal;
        std::int32_t intIndex;
    };
    model::FileExistsDialogAction clashAnswer = model::FileExistsDialogAction::Overwrite;
    // Answers given first, in order; clashAnswer after them.
    std::deque<model::FileExistsDialogAction> scriptedAnswers;
    std::vector<std::shared_ptr<model::FileItem>> completed;
    std::vector<ErrorReport> errors;
    std::vector<ProgressReport> progress;
    std::vector<std::wstring> clashes;
    int intSkipBatches = 0;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

class FileListDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Empty for each test, also when several run in one process.
        destination = std::filesystem::path(std::getenv("TMPDIR")) / "dest";
        std::filesystem::remove_all(destination);
        std::filesystem::create_directories(destination);
    }

    std::shared_ptr<model::FileItem> Item(const std::string& strPath, const std::wstring& strName,
                                          std::int64_t intSize,
                                          const std::wstring& strMime = L"*/*")
    {
        return model::FileItem::Create(strMime, intSize, strName,
                                       Widen(server.BaseUrl() + strPath));
    }

    std::shared_ptr<engine::FileListDownloader> Engine(engine::FileListDownloader::Items items)
    {
        auto pEngine = std::make_shared<engine::FileListDownloader>(settings, destination.wstring(),
                                                                    std::move(items), events);
        pEngine->SetReconnectPolicy(2, 5);
        pEngine->SetParallelDownloads(uintParallel);
        return pEngine;
    }

    std::uint32_t uintParallel = 1;
    TestHttpServer server;
    model::PropertyHolder settings;
    RecordingDownloaderEvents events;
    std::filesystem::path destination;
};

}  // namespace pullbay::test
