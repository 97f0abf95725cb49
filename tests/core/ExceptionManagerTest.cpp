// The per-thread error registry and the throw protocol that feeds it.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"

namespace pullbay::core {
namespace {

class ThrowingWidget {
public:
    static std::uint32_t s_uintLine;

    void Fail(const wchar_t* strName)
    {
        s_uintLine = __LINE__ + 1;
        PB_THROW(ArgumentNullPointerException, strName);
    }
};
std::uint32_t ThrowingWidget::s_uintLine = 0;

class ExceptionManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ClearRecordedFailure(); }
    void TearDown() override { ClearRecordedFailure(); }

    static std::unique_ptr<Exception> Record()
    {
        return ExceptionManager::GetException(CurrentThreadId());
    }
};

TEST_F(ExceptionManagerTest, ThrowSiteNamesItselfAndRecordsACopyForTheThread)
{
    try {
        ThrowingWidget().Fail(L"pParam");
        ADD_FAILURE() << "nothing thrown";
    } catch (const ArgumentNullPointerException& failure) {
        EXPECT_STREQ(failure.GetFunction(), L"ThrowingWidget::Fail");
        EXPECT_STREQ(failure.GetFile(), L"tests/core/ExceptionManagerTest.cpp");
        EXPECT_EQ(failure.GetLine(), ThrowingWidget::s_uintLine);
        EXPECT_STREQ(failure.GetMessage(), L"Argument is null pointer (pParam).");
        EXPECT_EQ(failure.GetCode(), E_POINTER);
    }
    const auto pRecord = Record();
    ASSERT_NE(pRecord, nullptr);
    EXPECT_STREQ(pRecord->GetClassName(), L"ArgumentNullPointerException");
    EXPECT_EQ(pRecord->GetTypeId(), ArgumentNullPointerException::kTypeId);
    EXPECT_STREQ(pRecord->GetFunction(), L"ThrowingWidget::Fail");
}

TEST_F(ExceptionManagerTest, SetReplacesPushKeepsClearRemoves)
{
    RecordForeignFailure();
    auto pRecord = Record();
    ASSERT_NE(pRecord, nullptr);
    EXPECT_EQ(pRecord->GetTypeId(), UnexpectedException::kTypeId);
    EXPECT_EQ(pRecord->GetCode(), E_UNEXPECTED);
    EXPECT_STREQ(pRecord->GetFunction(), L"ExceptionManager::PushStdException");

    ExceptionManager::SetException(CurrentThreadId(), TimeOutException(L"A::B", L"a.cpp", 1));
    RecordForeignFailure();  // the more specific record stays
    pRecord = Record();
    ASSERT_NE(pRecord, nullptr);
    EXPECT_STREQ(pRecord->GetClassName(), L"TimeOutException");

    ExceptionManager::SetException(CurrentThreadId(), AbortedException(L"A::C", L"a.cpp", 2));
    EXPECT_STREQ(Record()->GetClassName(), L"AbortedException");

    ClearRecordedFailure();
    EXPECT_EQ(Record(), nullptr);
    EXPECT_NO_THROW(ClearRecordedFailure());
}

TEST_F(ExceptionManagerTest, EveryThreadKeepsItsOwnRecord)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::vector<std::uint32_t> threadIds(kThreads);
    std::vector<std::thread> threads;
    std::atomic<int> intWrongRecords = 0;
    // All threads stay alive until every one is done, so no id is reused.
    std::latch allDone(kThreads);
    auto messageOf = [](int t) { return L"'arg" + std::to_wstring(t) + L"' is out of range."; };
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            threadIds[t] = CurrentThreadId();
            const std::wstring name = L"arg" + std::to_wstring(t);
            for (int round = 0; round < kRounds; ++round) {
                ClearRecordedFailure();
                try {
                    PB_THROW(OutOfRangeException, name.c_str());
                } catch (const OutOfRangeException&) {
                }
                RecordForeignFailure();  // keeps this thread's own record
                const auto pRecord = ExceptionManager::GetException(CurrentThreadId());
                if (pRecord == nullptr || pRecord->GetMessage() != messageOf(t)) {
                    ++intWrongRecords;
                }
            }
            allDone.arrive_and_wait();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(intWrongRecords, 0);
    EXPECT_EQ(Record(), nullptr);  // this thread recorded nothing
    for (int t = 0; t < kThreads; ++t) {
        const auto pRecord = ExceptionManager::GetException(threadIds[t]);
        ASSERT_NE(pRecord, nullptr);
        EXPECT_EQ(pRecord->GetMessage(), messageOf(t));
        ExceptionManager::ClearException(threadIds[t]);
    }
}

TEST_F(ExceptionManagerTest, RegistryLivesWhileAnyUserHoldsIt)
{
    // The test main holds one reference for the whole run.
    ASSERT_TRUE(ExceptionManager::IsInitialized());
    ExceptionManager::SetException(CurrentThreadId(), AbortedException(L"A::B", L"a.cpp", 1));
    {
        ExceptionManagerScope second;
    }
    ASSERT_TRUE(ExceptionManager::IsInitialized());
    EXPECT_NE(Record(), nullptr);

    // Drop the main's reference too; restore it whatever happens below.
    ExceptionManager::Release();
    struct Restore {
        ~Restore()
        {
            if (!ExceptionManager::IsInitialized()) {
                ExceptionManager::Initialize();
            }
        }
    } restore;
    EXPECT_FALSE(ExceptionManager::IsInitialized());
    ExceptionManager::Release();  // one too many: must not wrap the count
    ExceptionManager::SetException(CurrentThreadId(), AbortedException(L"A::B", L"a.cpp", 1));
    RecordForeignFailure();
    EXPECT_EQ(Record(), nullptr);

    ExceptionManager::Initialize();
    EXPECT_TRUE(ExceptionManager::IsInitialized());
    EXPECT_EQ(Record(), nullptr);  // the records went with the last release
}

TEST(QualifiedFunctionNameTest, KeepsClassAndMethodOfPrettyFunctionNames)
{
    const std::pair<const char*, const wchar_t*> table[] = {
        {"void pullbay::net::WInetDownloader::RequestDownload(const wchar_t*, int)",
         L"WInetDownloader::RequestDownload"},
        {"static void* pullbay::core::MemoryManagement::AllocMemory(std::size_t)",
         L"MemoryManagement::AllocMemory"},
        {"pullbay::tools::BackgroundWorkManager::BackgroundWorkManager(int)",
         L"BackgroundWorkManager::BackgroundWorkManager"},
        {"pullbay::tools::BackgroundWorkManager::~BackgroundWorkManager()",
         L"BackgroundWorkManager::~BackgroundWorkManager"},
        {"void pullbay::net::{anonymous}::Reader::Run()", L"Reader::Run"},
        {"void ThrowWin32Exception(uint32_t)", L"ThrowWin32Exception"},
        {"static std::vector<std::__cxx11::basic_string<wchar_t> > "
         "pullbay::ui::Holder<T>::Get(const std::map<int, T>&) [with T = int]",
         L"Holder<T>::Get"},
        {"void pullbay::core::RecordAndThrow(const ExceptionType&) "
         "[with ExceptionType = pullbay::core::MemoryException]",
         L"RecordAndThrow"},
        {"pullbay::engine::FileListDownloader::Process()::<lambda(int)>",
         L"FileListDownloader::Process"},
        {"pullbay::engine::FileListDownloader::Process()::<lambda(auto:11)> [with auto:11 = int]",
         L"FileListDownloader::Process"},
        {"const wchar_t* pullbay::model::FileItem::GetUrl() const", L"FileItem::GetUrl"},
        {"T* pullbay::tools::PidlWrapper<T>::operator->() [with T = int]",
         L"PidlWrapper<T>::operator->"},
        {"bool pullbay::tools::PidlItem::operator<(const pullbay::tools::PidlItem&) const",
         L"PidlItem::operator<"},
        {"pullbay::ui::Log& pullbay::ui::Log::operator<<(int)", L"Log::operator<<"},
        {"pullbay::tools::PidlItem::operator bool() const", L"PidlItem::operator bool"},
        {"void pullbay::tools::Work::operator()(int)", L"Work::operator()"},
        {"int& pullbay::tools::List::operator[](int)", L"List::operator[]"},
    };
    for (const auto& [strPretty, strExpected] : table) {
        EXPECT_EQ(QualifiedFunctionName(strPretty), strExpected) << strPretty;
    }
}

}  // namespace
}  // namespace pullbay::core
