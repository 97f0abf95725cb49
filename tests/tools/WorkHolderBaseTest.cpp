// Held calls: what the GUI thread sees is what the caller handed over, and
// answers come back through reference parameters.
#include <gtest/gtest.h>

#include <string>

#include "tools/WorkHolderBase.h"

namespace pullbay::tools {
namespace {

enum class Answer { Ask = 2, Skip = 7 };

TEST(WorkHolderBaseTest, KeepsCopiesOfInputsAndWritesAnswersBack)
{
    std::wstring strName = L"first";
    wchar_t buffer[] = L"page";
    Answer answer = Answer::Ask;
    std::wstring strSeen;
    using Signature = long(std::wstring, const std::wstring&, const wchar_t*, wchar_t*, Answer&);
    const auto pHolder = MakeWorkHolder<5, Signature>(
        [&](std::wstring strByValue, const std::wstring& strByReference, const wchar_t* strText,
            wchar_t* strNullText, Answer& out) {
            strSeen += strByValue + L"|" + strByReference + L"|" + strText + L"|" +
                       (strNullText == nullptr ? L"null;" : strNullText);
            out = Answer::Skip;
            return -7L;
        },
        strName, strName, buffer, nullptr, answer);

    // The caller reuses its objects before the call runs on the other thread.
    strName = L"changed";
    buffer[0] = L'X';
    EXPECT_EQ(pHolder->Execute(), -7);
    EXPECT_EQ(answer, Answer::Skip);
    // A second run sees the same arguments: nothing was moved out.
    EXPECT_EQ(pHolder->Execute(), -7);
    EXPECT_EQ(strSeen, L"first|first|page|null;first|first|page|null;");

    const auto pNoResult = MakeWorkHolder<0, void()>([] {});
    const auto pEnumResult =
        MakeWorkHolder<1, Answer(Answer)>([](Answer value) { return value; }, Answer::Skip);
    EXPECT_EQ(pNoResult->Execute(), 0);
    EXPECT_EQ(pEnumResult->Execute(), 7);
}

}  // namespace
}  // namespace pullbay::tools
