// JSON objects built member by member: an array member written element by
// element is the same text as one joined from its values, and a builder
// that gives its text up leaves the same object as one that copies it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/protocol/JsonText.h"

namespace pullbay::host {
namespace {

TEST(JsonTextTest, AnArrayWrittenElementByElementIsTheJoinedArray)
{
    for (const std::size_t uintCount : {0u, 1u, 3u}) {
        std::vector<std::string> values;
        for (std::size_t i = 0; i < uintCount; ++i) {
            values.push_back(JsonText::Object().Text("n", L"\u00E9" + std::to_wstring(i)).Str());
        }
        JsonText::Object streamed;
        streamed.Text("a", L"x").Array("items", uintCount,
                                       [&](std::size_t i) { return values[i]; });
        streamed.Null("z");
        const std::string strJoined = JsonText::Object()
                                          .Text("a", L"x")
                                          .Raw("items", JsonText::Array(values))
                                          .Null("z")
                                          .Str();
        EXPECT_EQ(streamed.Str(), strJoined);
        EXPECT_EQ(std::move(streamed).Str(), strJoined);
    }
    EXPECT_EQ(JsonText::Object().Array("e", 0, [](std::size_t) { return std::string(); }).Str(),
              R"({"e":[]})");
}

}  // namespace
}  // namespace pullbay::host
