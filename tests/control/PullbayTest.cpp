// The control's scripting surface end to end: list members with their
// HRESULTs and events, dispatch by name and DISPID, events before and after
// the window exists, properties that need the control, and persistence.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "control/Pullbay.h"
#include "engine/IDownloaderEvents.h"
#include "model/PropertyTable.h"
#include "platform/com/DispatchResults.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/PropertyBag.h"
#include "platform/com/StreamPersistence.h"
#include "pullbay/Events.h"
#include "support/MemoryStream.h"
#include "support/RecordingEventSink.h"

namespace pullbay::test {
namespace {

using control::Pullbay;
using com::NullableString;
using com::Variant;

class PageSite : public api::IClientSite {
public:
    explicit PageSite(std::optional<std::wstring> page) : m_page(std::move(page)) {}
    std::optional<std::wstring> GetPageAddress() const override { return m_page; }
    std::wstring GetCookieText() const override { return L"a=b"; }
    bool MayShowLocalPaths() const override { return false; }

private:
    std::optional<std::wstring> m_page;
};

// Pumps the GUI thread's events until the condition holds or 5 s pass.
template <typename Condition>
bool PumpUntil(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class PullbayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::uint32_t uintCookie = 0;
        ASSERT_EQ(control.EventConnectionPoint().Advise(sink, uintCookie), S_OK);
        control.SetClientSite(std::make_shared<PageSite>(L"http://pages.example/shop/index.html"));
    }
    void CreateWindow() { control.OnWindowCreated(&window); }

    HRESULT Add(const std::wstring& strUrl, const std::wstring& strName, std::int32_t intSize = 10,
                std::int32_t* pIndex = nullptr)
    {
        std::int32_t intIgnored = 0;
        return control.DownloadFileAdd(NullableString(L"application/zip"), intSize,
                                       NullableString(strName), NullableString(strUrl),
                                       pIndex != nullptr ? pIndex : &intIgnored);
    }

    QWidget window;
    std::shared_ptr<RecordingEventSink> sink = std::make_shared<RecordingEventSink>();
    Pullbay control;
};

TEST_F(PullbayTest, EventsBeforeTheWindowExistAreDroppedAndInitCompleteWaitsForASink)
{
    ASSERT_EQ(Add(L"http://h.example/a.zip", L"a.zip"), S_OK);
    EXPECT_TRUE(sink->events.empty());

    // No sink answers at creation: InitComplete is fired again every 100 ms
    // until one is connected.
    ASSERT_EQ(control.EventConnectionPoint().Unadvise(1), S_OK);
    CreateWindow();
    auto late = std::make_shared<RecordingEventSink>();
    QCoreApplication::processEvents();
    std::uint32_t uintCookie = 0;
    ASSERT_EQ(control.EventConnectionPoint().Advise(late, uintCookie), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return late->Count(api::EventId::InitComplete) > 0; }));

    ASSERT_EQ(Add(L"http://h.example/b.zip", L"b.zip"), S_OK);
    EXPECT_EQ(late->Count(api::EventId::DownloadFileCountChange), 1);
}

TEST_F(PullbayTest, TwoSinksReceiveEveryEventInConnectionOrder)
{
    CreateWindow();
    auto second = std::make_shared<RecordingEventSink>();
    std::uint32_t uintCookie = 0;
    ASSERT_EQ(control.EventConnectionPoint().Advise(second, uintCookie), S_OK);
    std::vector<int> order;
    for (const int intId : {3, 4}) {
        auto pOrdered = std::make_shared<RecordingEventSink>();
        pOrdered->onEvent = [&order, intId](api::EventId, const std::vector<Variant>&) {
            order.push_back(intId);
        };
        ASSERT_EQ(control.EventConnectionPoint().Advise(pOrdered, uintCookie), S_OK);
    }

    ASSERT_EQ(Add(L"http://h.example/a.zip", L"a.zip"), S_OK);
    ASSERT_EQ(control.ClearFileList(), S_OK);

    EXPECT_EQ(sink->Count(api::EventId::DownloadFileCountChange), 2);
    EXPECT_EQ(second->Count(api::EventId::DownloadFileCountChange), 2);
    EXPECT_EQ(order, (std::vector<int>{3, 4, 3, 4}));
}

TEST_F(PullbayTest, EventsRaisedOnAWorkerArriveInOrderOnTheGuiThread)
{
    CreateWindow();
    sink->events.clear();
    const auto guiThread = std::this_thread::get_id();
    std::vector<std::thread::id> threads;
    struct ThreadSink : RecordingEventSink {
        std::vector<std::thread::id>& threads;
        explicit ThreadSink(std::vector<std::thread::id>& t) : threads(t) {}
        HRESULT Invoke(com::DISPID dispid, const std::vector<Variant>& args) override
        {
            threads.push_back(std::this_thread::get_id());
            return RecordingEventSink::Invoke(dispid, args);
        }
    };
    auto threadSink = std::make_shared<ThreadSink>(threads);
    std::uint32_t uintCookie = 0;
    ASSERT_EQ(control.EventConnectionPoint().Advise(threadSink, uintCookie), S_OK);

    std::atomic<bool> bDone{false};
    engine::IDownloaderEvents& reports = control.Run();
    std::thread worker([&] {
        for (std::int32_t i = 0; i < 20; ++i) {
            reports.Progress(0.5, 0.999, i);  // current file, whole run
            reports.Error(api::ErrorCode::kTransferFailed, L"failed", 500, L"", L"u", i);
        }
        control.DownloadComplete(api::CompletionSuccess);
        bDone = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return bDone.load() && threadSink->events.size() == 41; }));
    worker.join();

    for (std::size_t i = 0; i < 40; ++i) {
        const auto& event = threadSink->events[i];
        const auto intIndex = static_cast<std::int32_t>(i / 2);
        if (i % 2 == 0) {
            ASSERT_EQ(event.dispid, static_cast<com::DISPID>(api::EventId::Progress));
            EXPECT_EQ(event.args[0].UI4(), 99u);
            EXPECT_EQ(event.args[1].UI4(), 50u);
            EXPECT_EQ(event.args[2].I4(), intIndex);
        } else {
            ASSERT_EQ(event.dispid, static_cast<com::DISPID>(api::EventId::Error));
            EXPECT_EQ(event.args[5].I4(), intIndex);
        }
    }
    EXPECT_EQ(threadSink->events.back().dispid,
              static_cast<com::DISPID>(api::EventId::DownloadComplete));
    for (const auto& id : threads) {
        EXPECT_EQ(id, guiThread);
    }
    EXPECT_EQ(control::PercentFromFraction(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(control::PercentFromFraction(1e300), 100u);
}

TEST_F(PullbayTest, AddKeepsOneItemPerUrlAndNameWhateverTheCase)
{
    CreateWindow();
    sink->events.clear();
    std::int32_t intIndex = -7;
    ASSERT_EQ(Add(L"http://H.example/Dir/A.zip", L"A.zip", 10, &intIndex), S_OK);
    EXPECT_EQ(intIndex, 0);

    intIndex = -7;
    EXPECT_EQ(Add(L"http://h.example/dir/a.zip", L"a.ZIP", 10, &intIndex), S_OK);
    EXPECT_EQ(intIndex, -7) << "a duplicate does not write the index";
    ASSERT_EQ(Add(L"http://h.example/Dir/A.zip", L"other.zip", 10, &intIndex), S_OK);
    EXPECT_EQ(intIndex, 1);
    ASSERT_EQ(Add(L"http://h.example/Dir/B.zip", L"A.zip", 10, &intIndex), S_OK);
    EXPECT_EQ(intIndex, 2);

    std::int32_t intCount = 0;
    ASSERT_EQ(control.GetDownloadFileCount(&intCount), S_OK);
    EXPECT_EQ(intCount, 3);
    EXPECT_EQ(sink->Count(api::EventId::DownloadFileCountChange), 3);
}

TEST_F(PullbayTest, AddReportsCorrectableInputAsErrorEvents)
{
    CreateWindow();
    sink->events.clear();
    control.SetClientSite(nullptr);

    EXPECT_EQ(Add(L"http://h.example/a.zip", L"a.zip", -1), S_OK);
    EXPECT_EQ(Add(L"file.zip", L"a.zip"), S_OK);  // relative, and no page to resolve against
    EXPECT_EQ(control.DownloadFileAdd(NullableString(), 1, NullableString(L"n"),
                                      NullableString(L"u"), nullptr),
              E_POINTER);

    ASSERT_EQ(sink->events.size(), 2u);
    for (const auto& event : sink->events) {
        ASSERT_EQ(event.dispid, static_cast<com::DISPID>(api::EventId::Error));
        EXPECT_EQ(event.args[0].I4(), api::ErrorCode::kInvalidArgument);
        EXPECT_EQ(event.args[2].I4(), 0);
        EXPECT_EQ(event.args[5].I4(), -1);
    }
    EXPECT_EQ(sink->events[0].args[1].String().Value(), L"FileSize must not be negative");
    EXPECT_EQ(sink->events[1].args[1].String().Value(), L"file.zip");

    // With a page, the same relative URL resolves against it.
    control.SetClientSite(std::make_shared<PageSite>(L"http://pages.example/shop/index.html"));
    ASSERT_EQ(Add(L"../files/file.zip", L"a.zip"), S_OK);
    NullableString url;
    ASSERT_EQ(control.GetDownloadFileUrl(0, &url), S_OK);
    EXPECT_EQ(url.Value(), L"http://pages.example/files/file.zip");
}

TEST_F(PullbayTest, ChangingMembersRefuseWhileBusyAndCheckIndexes)
{
    CreateWindow();
    ASSERT_EQ(Add(L"http://h.example/a.zip", L"a.zip"), S_OK);
    ASSERT_EQ(Add(L"http://h.example/b.zip", L"b.zip"), S_OK);
    const NullableString value(L"x.zip");

    // Index checks.
    NullableString text;
    std::int32_t intSize = 0;
    EXPECT_EQ(control.GetDownloadFileUrl(2, &text), E_INVALIDARG);
    EXPECT_EQ(control.GetDownloadFileName(-1, &text), E_INVALIDARG);
    EXPECT_EQ(control.GetDownloadFileSize(0, nullptr), E_POINTER);
    EXPECT_EQ(control.PutDownloadFileSize(0, -1), E_INVALIDARG);
    EXPECT_EQ(control.PutDownloadFileMimeType(5, value), E_INVALIDARG);
    EXPECT_EQ(control.DownloadFileRemove(2), E_INVALIDARG);

    control.SetIdleForTesting(false);
    std::int32_t intIndex = 0;
    EXPECT_EQ(Add(L"http://h.example/c.zip", L"c.zip", 1, &intIndex), S_FALSE);
    EXPECT_EQ(intIndex, -2);
    EXPECT_EQ(control.DownloadFileRemove(0), S_FALSE);
    EXPECT_EQ(control.DownloadFileRemove(9), E_INVALIDARG) << "the index test comes first";
    EXPECT_EQ(control.PutDownloadFileName(0, value), S_FALSE);
    EXPECT_EQ(control.PutDownloadFileUrl(0, value), S_FALSE);
    EXPECT_EQ(control.PutDownloadFileSize(0, 5), S_FALSE);
    EXPECT_EQ(control.PutDownloadFileMimeType(0, value), S_FALSE);
    // Getters and clearing still work during a run.
    EXPECT_EQ(control.GetDownloadFileSize(1, &intSize), S_OK);
    EXPECT_EQ(intSize, 10);
    Variant enabled;
    ASSERT_EQ(control.GetProperty(model::PropertyTable::kDispidEnabled, enabled), S_OK);
    EXPECT_FALSE(enabled.Bool());
    EXPECT_EQ(control.ClearFileList(), S_OK);
    std::int32_t intCount = -1;
    ASSERT_EQ(control.GetDownloadFileCount(&intCount), S_OK);
    EXPECT_EQ(intCount, 0);
}

TEST_F(PullbayTest, ReplacingUrlOrNameChecksDuplicatesAgainstTheOldItemToo)
{
    CreateWindow();
    ASSERT_EQ(Add(L"http://h.example/a.zip", L"a.zip", 5), S_OK);
    ASSERT_EQ(Add(L"http://h.example/b.zip", L"b.zip", 6), S_OK);
    sink->events.clear();

    EXPECT_EQ(control.PutDownloadFileName(0, NullableString(L"A.ZIP")), S_OK);
    EXPECT_EQ(control.PutDownloadFileUrl(1, NullableString(L"http://h.example/a.zip")), S_OK);
    EXPECT_EQ(control.PutDownloadFileName(1, NullableString(L"c.zip")), S_OK);
    EXPECT_EQ(control.PutDownloadFileUrl(0, NullableString(L"mailto:x@y")), S_OK);

    ASSERT_EQ(sink->events.size(), 2u);
    EXPECT_EQ(sink->events[0].args[0].I4(), api::ErrorCode::kDuplicateItem);
    EXPECT_EQ(sink->events[0].args[1].String().Value(), L"Item already exists");
    EXPECT_EQ(sink->events[0].args[5].I4(), 0);
    EXPECT_EQ(sink->events[1].args[0].I4(), api::ErrorCode::kInvalidArgument);
    EXPECT_EQ(sink->events[1].args[1].String().Value(), L"Invalid url");
    NullableString text;
    ASSERT_EQ(control.GetDownloadFileName(1, &text), S_OK);
    EXPECT_EQ(text.Value(), L"c.zip");
    ASSERT_EQ(control.GetDownloadFileUrl(1, &text), S_OK);
    EXPECT_EQ(text.Value(), L"http://h.example/a.zip");
    std::int32_t intSize = 0;
    ASSERT_EQ(control.GetDownloadFileSize(1, &intSize), S_OK);
    EXPECT_EQ(intSize, 6) << "the replaced item keeps size and type";
    EXPECT_EQ(sink->Count(api::EventId::DownloadFileCountChange), 0);
}

TEST_F(PullbayTest, DispatchByNameAndDispidCoercesArgumentsAndKeepsDuplicateResultEmpty)
{
    CreateWindow();
    com::DISPID dispid = 0;
    ASSERT_EQ(control.GetIDsOfNames(L"downloadFILEadd", dispid), S_OK);
    EXPECT_EQ(dispid, Pullbay::DispidDownloadFileAdd);
    EXPECT_EQ(control.GetIDsOfNames(L"NoSuchMember", dispid), com::DISP_E_UNKNOWNNAME);

    const std::vector<Variant> args = {
        Variant::FromString(NullableString(L"text/plain")),
        Variant::FromString(NullableString(L"42")), Variant::FromString(NullableString(L"a.txt")),
        Variant::FromString(NullableString(L"http://h.example/a.txt"))};
    Variant result;
    ASSERT_EQ(control.Invoke(Pullbay::DispidDownloadFileAdd, com::kDispatchMethod, args, &result),
              S_OK);
    EXPECT_EQ(result.I4(), 0);
    Variant duplicate;
    ASSERT_EQ(
        control.Invoke(Pullbay::DispidDownloadFileAdd, com::kDispatchMethod, args, &duplicate),
        S_OK);
    EXPECT_TRUE(duplicate.IsEmpty());

    Variant size;
    ASSERT_EQ(control.Invoke(Pullbay::DispidDownloadFileSize, com::kDispatchPropertyGet,
                             {Variant::FromI4(0)}, &size),
              S_OK);
    EXPECT_EQ(size.I4(), 42);
    EXPECT_EQ(control.Invoke(Pullbay::DispidDownloadFileAdd, com::kDispatchMethod,
                             {Variant::FromI4(1)}, &result),
              com::DISP_E_BADPARAMCOUNT);
    // A run without a destination folder ends early; the list is empty after it.
    EXPECT_EQ(control.Invoke(Pullbay::DispidDownload, com::kDispatchMethod, {}, &result), S_OK);
    std::int32_t intCount = -1;
    ASSERT_EQ(control.GetDownloadFileCount(&intCount), S_OK);
    EXPECT_EQ(intCount, 0);

    // Every member is described once per kind with its DISPID.
    int intVersionPuts = 0;
    for (const auto& member : control.Describe()) {
        if (member.strName == L"Version" && member.kind == com::MemberKind::PropertyPut) {
            ++intVersionPuts;
        }
    }
    EXPECT_EQ(intVersionPuts, 0);
}

TEST_F(PullbayTest, BackgroundColorIsRefusedAfterTheWindowExistsWithARichDescription)
{
    ASSERT_EQ(control.PutProperty(model::PropertyTable::kDispidBackgroundColor,
                                  Variant::FromString(NullableString(L"navy"))),
              S_OK);
    CreateWindow();
    (void)com::GetErrorInfo();
    EXPECT_EQ(control.PutProperty(model::PropertyTable::kDispidBackgroundColor,
                                  Variant::FromString(NullableString(L"#FF0000"))),
              E_FAIL);
    const auto info = com::GetErrorInfo();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->strDescription, L"You can not change colors after control initialization.");
    EXPECT_EQ(info->strSource, L"Velmora.Pullbay.701");
    EXPECT_EQ(info->guid, Pullbay::kIidIPullbay);
    Variant color;
    ASSERT_EQ(control.GetProperty(model::PropertyTable::kDispidBackgroundColor, color), S_OK);
    EXPECT_EQ(color.String().Value(), L"#000080");
}

TEST_F(PullbayTest, FileListPropertyStoresOnlyAcceptedUrlsInCanonicalForm)
{
    const auto put = [&](const NullableString& value) {
        return control.PutProperty(model::PropertyTable::kDispidFileList,
                                   Variant::FromString(value));
    };
    EXPECT_EQ(put(NullableString()), E_POINTER);
    EXPECT_EQ(put(NullableString(L"lists/files.txt")), S_OK);
    Variant value;
    ASSERT_EQ(control.GetProperty(model::PropertyTable::kDispidFileList, value), S_OK);
    EXPECT_EQ(value.String().Value(), L"http://pages.example/shop/lists/files.txt");
    EXPECT_EQ(put(NullableString(L"ftp://elsewhere/x")), S_OK);
    ASSERT_EQ(control.GetProperty(model::PropertyTable::kDispidFileList, value), S_OK);
    EXPECT_EQ(value.String().Value(), L"http://pages.example/shop/lists/files.txt");
}

TEST_F(PullbayTest, PropertyBagLoadAppliesRulesAndStopsAtAFailingPut)
{
    com::MemoryPropertyBag bag;
    ASSERT_EQ(bag.Write(L"_cx", Variant::FromUI4(320)), S_OK);
    ASSERT_EQ(bag.Write(L"TimeOut", Variant::FromString(NullableString(L"-5"))), S_OK);
    ASSERT_EQ(bag.Write(L"ShowProgressDialog", Variant::FromString(NullableString(L"0"))), S_OK);
    ASSERT_EQ(bag.Write(L"Version", Variant::FromString(NullableString(L"9, 9"))), S_OK);
    ASSERT_EQ(bag.Write(L"ReconnectAttemptsCount", Variant::FromUI4(7)), S_OK);

    EXPECT_TRUE(Failed(control.Load(bag)));

    EXPECT_EQ(control.GetExtentCx(), 320u);
    EXPECT_EQ(control.Properties().GetTimeOut(), 0);
    Variant value;
    ASSERT_EQ(control.GetProperty(141, value), S_OK);  // after Version: not loaded
    EXPECT_TRUE(value.Bool());
    ASSERT_EQ(control.GetProperty(131, value), S_OK);
    EXPECT_EQ(value.UI4(), 3u);
}

TEST_F(PullbayTest, StreamAndBagRoundTripEveryProperty)
{
    ASSERT_EQ(control.PutProperty(2, Variant::FromI4(2500)), S_OK);
    ASSERT_EQ(control.PutProperty(5, Variant::FromString(NullableString(L"OpenFolder"))), S_OK);
    ASSERT_EQ(control.PutProperty(9, Variant::FromBool(true)), S_OK);
    ASSERT_EQ(control.PutProperty(115, Variant::FromString(NullableString(L"teal"))), S_OK);
    ASSERT_EQ(control.PutProperty(127, Variant::FromBool(false)), S_OK);
    ASSERT_EQ(control.PutProperty(48, Variant::FromString(NullableString(L"Sure? \U0001F600"))),
              S_OK);
    ASSERT_EQ(
        control.PutProperty(1, Variant::FromString(NullableString(L"http://h.example/list.txt"))),
        S_OK);
    // An unset DefaultDestinationFolder is saved empty, and an empty text
    // loads as its fallback "MyComputer" (the page-parameter rule): give it
    // a value so the round trip compares like with like.
    ASSERT_EQ(control.PutProperty(136, Variant::FromString(NullableString(L"/srv/downloads"))),
              S_OK);
    ASSERT_EQ(control.PutProperty(146, Variant::FromI4(6)), S_OK);
    ASSERT_EQ(control.PutProperty(147, Variant::FromI4(60)), S_OK);
    control.SetExtent(100, 30);

    MemoryStream stream;
    ASSERT_EQ(control.Save(stream), S_OK);
    std::uint64_t uintEstimate = 0;
    ASSERT_EQ(control.GetSizeMax(&uintEstimate), S_OK);
    EXPECT_EQ(uintEstimate, stream.Contents().size());

    Pullbay copy;
    ASSERT_EQ(stream.Seek(0, core::StreamSeekOrigin::Begin, nullptr), S_OK);
    ASSERT_EQ(copy.Load(stream), S_OK);
    // A saved bag holds Version too, which a page's params may not set:
    // everything else loads back.
    com::MemoryPropertyBag bag;
    ASSERT_EQ(control.Save(bag), S_OK);
    com::MemoryPropertyBag params;
    for (const auto& property : model::PropertyTable::Entries()) {
        Variant value;
        ASSERT_EQ(bag.Read(property.strName, property.type, value), S_OK) << property.dispid;
        if (!property.bReadOnly) {
            ASSERT_EQ(params.Write(property.strName, value), S_OK);
        }
    }
    Pullbay fromBag;
    ASSERT_EQ(fromBag.Load(params), S_OK);

    const Pullbay fresh;
    for (const auto& property : model::PropertyTable::Entries()) {
        Variant original;
        Variant loaded;
        ASSERT_EQ(control.GetProperty(property.dispid, original), S_OK);
        Variant fromParams;
        ASSERT_EQ(copy.GetProperty(property.dispid, loaded), S_OK);
        ASSERT_EQ(fromBag.GetProperty(property.dispid, fromParams), S_OK);
        EXPECT_TRUE(original == fromParams) << "bag, property " << property.dispid;
        if (property.bBagOnly) {
            // The stream leaves it out: the copy keeps its own value.
            Variant initial;
            ASSERT_EQ(fresh.GetProperty(property.dispid, initial), S_OK);
            EXPECT_FALSE(original == initial) << "property " << property.dispid;
            EXPECT_TRUE(loaded == initial) << "stream, property " << property.dispid;
        } else {
            EXPECT_TRUE(original == loaded) << "stream, property " << property.dispid;
        }
    }
    EXPECT_EQ(copy.GetExtentCx(), 100u);
    EXPECT_EQ(copy.GetExtentCy(), 30u);

    // A stream of a newer version is refused.
    MemoryStream newer;
    ASSERT_EQ(com::WriteUInt32(newer, 0x0A01), S_OK);
    ASSERT_EQ(newer.Seek(0, core::StreamSeekOrigin::Begin, nullptr), S_OK);
    EXPECT_EQ(copy.Load(newer), E_FAIL);
}

// Older builds read the stream as a fixed sequence of values and newer ones
// must read theirs: a bag-only property never changes a byte of it.
TEST_F(PullbayTest, BagOnlyPropertiesLeaveTheStreamAsEarlierBuildsWroteIt)
{
    std::size_t uintStreamed = 0;
    for (const auto& property : model::PropertyTable::Entries()) {
        uintStreamed += property.bBagOnly ? 0 : 1;
    }
    // The values of every stream saved so far; a new property is bag-only.
    EXPECT_EQ(uintStreamed, 70u);

    MemoryStream defaults;
    ASSERT_EQ(control.Save(defaults), S_OK);
    ASSERT_EQ(control.PutProperty(146, Variant::FromI4(6)), S_OK);
    ASSERT_EQ(control.PutProperty(147, Variant::FromI4(60)), S_OK);
    MemoryStream changed;
    ASSERT_EQ(control.Save(changed), S_OK);
    EXPECT_EQ(changed.Contents(), defaults.Contents());
    std::uint64_t uintEstimate = 0;
    ASSERT_EQ(control.GetSizeMax(&uintEstimate), S_OK);
    EXPECT_EQ(uintEstimate, changed.Contents().size());

    // Loading such a stream keeps what the control holds of them.
    ASSERT_EQ(defaults.Seek(0, core::StreamSeekOrigin::Begin, nullptr), S_OK);
    ASSERT_EQ(control.Load(defaults), S_OK);
    EXPECT_EQ(control.Properties().GetParallelDownloads(), 6u);
    EXPECT_EQ(control.Properties().GetRetryAfterLimit(), 60u);

    // A page's params set them by name.
    com::MemoryPropertyBag params;
    ASSERT_EQ(params.Write(L"ParallelDownloads", Variant::FromString(NullableString(L"12"))), S_OK);
    ASSERT_EQ(params.Write(L"RetryAfterLimit", Variant::FromString(NullableString(L"30"))), S_OK);
    Pullbay fromParams;
    ASSERT_EQ(fromParams.Load(params), S_OK);
    EXPECT_EQ(fromParams.Properties().GetParallelDownloads(), 12u);
    EXPECT_EQ(fromParams.Properties().GetRetryAfterLimit(), 30u);
}

}  // namespace
}  // namespace pullbay::test
