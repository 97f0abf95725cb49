// Identifiers in the registry's text form.
#include <gtest/gtest.h>

#include <string>

#include "core/TextUnits.h"
#include "platform/com/Guid.h"

namespace pullbay::com {
namespace {

constexpr Guid kSample =
    Guid::FromParts(0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10});

TEST(GuidTest, ParsesEitherCaseAndFormatsUpperCase)
{
    const auto lower = Guid::Parse(L"{0123abcd-4567-89ef-fedc-ba9876543210}");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(*lower, kSample);
    EXPECT_EQ(lower->ToString(), L"{0123ABCD-4567-89EF-FEDC-BA9876543210}");
    EXPECT_EQ(Guid::Parse(kSample.ToString()), kSample);
    EXPECT_EQ(Guid::Parse(L"{00000000-0000-0000-0000-000000000000}"), kNullGuid);
    EXPECT_TRUE(kNullGuid.IsNull());
    EXPECT_FALSE(kSample.IsNull());
}

TEST(GuidTest, RefusesAnythingButTheBracedForm)
{
    const std::wstring table[] = {
        L"0123ABCD-4567-89EF-FEDC-BA9876543210",    L"{0123ABCD-4567-89EF-FEDC-BA9876543210",
        L"{0123ABCD-4567-89EF-FEDC-BA98765432100}", L"{0123ABCD-4567-89EF-FEDC-BA987654321}",
        L"{0123ABCD4-567-89EF-FEDC-BA9876543210}",  L"{0123ABCD-4567-89EF-FEDCBA-9876543210}",
        L"{0123ABCG-4567-89EF-FEDC-BA9876543210}",  L"{0123ABCD-4567-89EF-FEDC-BA987654321\uFF10}",
        L"{0123ABCD-+567-89EF-FEDC-BA9876543210}",  L"",
    };
    for (const std::wstring& strText : table) {
        EXPECT_FALSE(Guid::Parse(strText).has_value()) << core::ToUtf8(strText);
    }
}

}  // namespace
}  // namespace pullbay::com
