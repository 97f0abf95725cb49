// The per-thread error description and the ProgID of its source.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "platform/com/ErrorInfo.h"

namespace pullbay::com {
namespace {

const Guid kClsid = *Guid::Parse(L"{6B0F7C1E-2A44-4C5B-9E61-0D3A5B7C9E11}");
const Guid kIid = *Guid::Parse(L"{6B0F7C1E-2A44-4C5B-9E61-0D3A5B7C9E12}");
const Guid kUnregistered = *Guid::Parse(L"{6B0F7C1E-2A44-4C5B-9E61-0D3A5B7C9E13}");

TEST(ErrorInfoTest, SlotBelongsToTheThreadAndIsTakenOnce)
{
    SetErrorInfo(ErrorInfo{kIid, L"source", L"main"});
    std::optional<ErrorInfo> seenByOther;
    std::thread other([&seenByOther] {
        seenByOther = GetErrorInfo();
        SetErrorInfo(ErrorInfo{kIid, L"source", L"other"});
    });
    other.join();
    EXPECT_FALSE(seenByOther.has_value());

    const std::optional<ErrorInfo> mine = GetErrorInfo();
    ASSERT_TRUE(mine.has_value());
    EXPECT_EQ(mine->strDescription, L"main");
    EXPECT_FALSE(GetErrorInfo().has_value());

    SetErrorInfo(ErrorInfo{});
    SetErrorInfo(std::nullopt);
    EXPECT_FALSE(GetErrorInfo().has_value());
}

TEST(ErrorInfoTest, ReportErrorFillsTheSlotAndNeverReportsSuccess)
{
    RegisterProgId(kClsid, L"Velmora.Pullbay.701");
    const struct {
        Guid clsid;
        HRESULT hrGiven;
        HRESULT hrReturned;
        std::wstring strSource;
    } table[] = {
        {kClsid, E_FAIL, E_FAIL, L"Velmora.Pullbay.701"},
        {kClsid, S_OK, DISP_E_EXCEPTION, L"Velmora.Pullbay.701"},
        {kUnregistered, E_INVALIDARG, E_INVALIDARG, L""},
    };
    for (const auto& row : table) {
        EXPECT_EQ(ReportError(row.clsid, L"You can not change colors after control initialization.",
                              kIid, row.hrGiven),
                  row.hrReturned);
        EXPECT_EQ(GetErrorInfo(),
                  (ErrorInfo{kIid, row.strSource,
                             L"You can not change colors after control initialization."}));
    }  // A later registration replaces the class's ProgID.
    RegisterProgId(kClsid, L"Velmora.Pullbay.702");
    EXPECT_EQ(ProgIdFromClsid(kClsid), L"Velmora.Pullbay.702");
    EXPECT_EQ(ProgIdFromClsid(kUnregistered), std::nullopt);
}

}  // namespace
}  // namespace pullbay::com
