// Event delivery to the connected sinks: order, empty slots, results, and
// sinks that connect or disconnect while an event is delivered.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ThrowSite.h"
#include "platform/com/ConnectionPoint.h"

namespace pullbay::com {
namespace {

constexpr DISPID kEvent = 6;

class RecordingSink : public IDispatchSink {
public:
    RecordingSink(std::string strName, std::vector<std::string>& log)
        : m_strName(std::move(strName)), m_log(log)
    {
    }

    HRESULT Invoke(DISPID dispid, const std::vector<Variant>& args) override
    {
        m_log.push_back(m_strName + ":" + std::to_string(dispid) + ":" +
                        std::to_string(args.size()));
        if (onInvoke) {
            onInvoke();
        }
        if (bThrow) {
            throw std::runtime_error("sink");
        }
        return hrResult;
    }

    HRESULT hrResult = S_OK;
    bool bThrow = false;
    std::function<void()> onInvoke;

private:
    std::string m_strName;
    std::vector<std::string>& m_log;
};

class ConnectionPointTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordingSink> Connect(const std::string& strName,
                                           std::uint32_t* pCookie = nullptr)
    {
        auto pSink = std::make_shared<RecordingSink>(strName, m_log);
        std::uint32_t uintCookie = 0;
        EXPECT_EQ(m_point.Advise(pSink, uintCookie), S_OK);
        EXPECT_NE(uintCookie, 0u);
        if (pCookie != nullptr) {
            *pCookie = uintCookie;
        }
        return pSink;
    }

    // The sinks that one Fire reached, by name.
    std::vector<std::string> FireAndLog(HRESULT expected)
    {
        m_log.clear();
        EXPECT_EQ(m_point.Fire(kEvent, {Variant::FromI4(1), Variant::FromString(L"x")}), expected);
        std::vector<std::string> names;
        for (const std::string& strEntry : m_log) {
            EXPECT_EQ(strEntry.substr(strEntry.find(':')), ":6:2");
            names.push_back(strEntry.substr(0, strEntry.find(':')));
        }
        return names;
    }

    std::vector<std::string> m_log;
    ConnectionPoint m_point;
};

using Names = std::vector<std::string>;

TEST_F(ConnectionPointTest, NoSinkGivesSFalseAndNullSinkIsRefused)
{
    EXPECT_EQ(m_point.Fire(kEvent, {}), S_FALSE);
    std::uint32_t uintCookie = 0;
    EXPECT_EQ(m_point.Advise(nullptr, uintCookie), E_POINTER);
    EXPECT_EQ(m_point.Unadvise(1), CONNECT_E_NOCONNECTION);

    std::uint32_t uintOnly = 0;
    Connect("a", &uintOnly);
    EXPECT_EQ(m_point.Unadvise(uintOnly), S_OK);
    EXPECT_EQ(m_point.Unadvise(uintOnly), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(FireAndLog(S_FALSE), Names{});
    EXPECT_EQ(m_point.SinkCount(), 0u);
}

TEST_F(ConnectionPointTest, SinksHearInSlotOrderAndNewSinksFillTheFirstEmptySlot)
{
    std::uint32_t uintB = 0;
    std::uint32_t uintC = 0;
    Connect("a");
    Connect("b", &uintB);
    Connect("c", &uintC);
    EXPECT_EQ(FireAndLog(S_OK), (Names{"a", "b", "c"}));

    ASSERT_EQ(m_point.Unadvise(uintB), S_OK);
    EXPECT_EQ(FireAndLog(S_OK), (Names{"a", "c"}));
    std::uint32_t uintD = 0;
    Connect("d", &uintD);
    EXPECT_EQ(FireAndLog(S_OK), (Names{"a", "d", "c"}));
    EXPECT_EQ(m_point.SinkCount(), 3u);

    // The stale cookie of the slot's former sink does not reach the new one.
    EXPECT_NE(uintD, uintB);
    EXPECT_EQ(m_point.Unadvise(uintB), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(FireAndLog(S_OK), (Names{"a", "d", "c"}));
}

TEST_F(ConnectionPointTest, FailingSinksDoNotStopTheOthersAndTheLastResultIsReturned)
{
    auto pA = Connect("a");
    auto pB = Connect("b");
    auto pC = Connect("c");
    pA->hrResult = E_FAIL;
    pB->bThrow = true;
    EXPECT_EQ(FireAndLog(S_OK), (Names{"a", "b", "c"}));
    pC->hrResult = S_FALSE;
    EXPECT_EQ(FireAndLog(S_FALSE), (Names{"a", "b", "c"}));
    pC->hrResult = E_FAIL;
    EXPECT_EQ(FireAndLog(E_FAIL), (Names{"a", "b", "c"}));
    pC->bThrow = true;
    EXPECT_EQ(FireAndLog(DISP_E_EXCEPTION), (Names{"a", "b", "c"}));
    core::ClearRecordedFailure();
}

TEST_F(ConnectionPointTest, SinksMayDisconnectThemselvesOrOthersDuringFire)
{
    std::uint32_t uintA = 0;
    std::uint32_t uintC = 0;
    std::weak_ptr<RecordingSink> pWeakA;
    {
        // The connection holds the only reference to "a", so its own
        // Unadvise would destroy it mid-call without Fire's reference.
        auto pA = Connect("a", &uintA);
        pWeakA = pA;
        pA->onInvoke = [this, &uintA] { EXPECT_EQ(m_point.Unadvise(uintA), S_OK); };
    }
    auto pB = Connect("b");
    Connect("c", &uintC);
    pB->onInvoke = [this, &uintC] { EXPECT_EQ(m_point.Unadvise(uintC), S_OK); };

    EXPECT_EQ(FireAndLog(S_OK), (Names{"a", "b"}));
    EXPECT_TRUE(pWeakA.expired());
    pB->onInvoke = nullptr;
    EXPECT_EQ(FireAndLog(S_OK), (Names{"b"}));
}

TEST_F(ConnectionPointTest, SinkConnectedDuringFireHearsFromTheNextEventOn)
{
    auto pA = Connect("a");
    std::shared_ptr<RecordingSink> pLate;
    pA->onInvoke = [this, &pLate] {
        if (!pLate) {
            pLate = Connect("late");
        }
    };
    EXPECT_EQ(FireAndLog(S_OK), (Names{"a"}));
    EXPECT_EQ(FireAndLog(S_OK), (Names{"a", "late"}));
}

}  // namespace
}  // namespace pullbay::com
