// Native messaging's framing: the length prefix, the split of messages above
// the browser's limit, and the decoding of what the browser sends, also when
// it arrives a byte at a time, is cut off or declares an absurd length.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <string>
#include <vector>

#include "bridge/NativeMessageFraming.h"

namespace pullbay::bridge {
namespace {

std::uint32_t LengthOf(const std::string& strFrame)
{
    std::uint32_t uintLength = 0;
    std::memcpy(&uintLength, strFrame.data(), sizeof uintLength);
    return uintLength;
}

// A JSON text of about uintBytes with every kind of character that escaping
// or a UTF-8 boundary could break: quotes, backslashes, escapes, two-, three-
// and four-byte sequences.
std::string AwkwardJson(std::size_t uintBytes)
{
    std::string strText;
    const std::string strPiece = "a\\\"b\\\\c\\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 ";
    while (strText.size() < uintBytes) {
        strText += strPiece;
    }
    return "{\"dialog\":\"DownloadComplete\",\"text\":\"" + strText + "\"}";
}

TEST(NativeMessageFramingTest, SmallMessageIsOneFrameWithItsLengthInNativeOrder)
{
    const std::string strJson = R"({"control":1,"opened":true})";
    const std::vector<std::string> frames = NativeMessageFraming::Encode(strJson, 7);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(LengthOf(frames[0]), strJson.size());
    EXPECT_EQ(frames[0].substr(4), strJson);
}

TEST(NativeMessageFramingTest, MessageAboveTheLimitIsSplitIntoPartsThatJoinToIt)
{
    for (const std::size_t uintLimit :
         {std::size_t{128}, std::size_t{1000}, NativeMessageFraming::kMaxToBrowserBytes}) {
        SCOPED_TRACE(uintLimit);
        const std::string strJson = AwkwardJson(uintLimit * 3 + 17);
        const std::vector<std::string> frames =
            NativeMessageFraming::Encode(strJson, 42, uintLimit);
        ASSERT_GT(frames.size(), 3u);
        std::string strJoined;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(LengthOf(frames[i]), frames[i].size() - 4);
            ASSERT_LE(frames[i].size() - 4, uintLimit);
            // Each part is JSON of its own: no slice cut a UTF-8 sequence or an escape.
            QJsonParseError error{};
            const QJsonObject part =
                QJsonDocument::fromJson(QByteArray::fromStdString(frames[i].substr(4)), &error)
                    .object();
            ASSERT_EQ(error.error, QJsonParseError::NoError) << "part " << i;
            EXPECT_EQ(part.value("part").toInt(), 42);
            EXPECT_EQ(part.value("more").toBool(), i + 1 < frames.size());
            strJoined += part.value("data").toString().toStdString();
        }
        EXPECT_EQ(strJoined, strJson);
    }
}

TEST(NativeMessageFramingTest, MessageOfExactlyTheLimitIsNotSplit)
{
    const std::string strJson = "\"" + std::string(998, 'x') + "\"";
    EXPECT_EQ(NativeMessageFraming::Encode(strJson, 1, 1000).size(), 1u);
    EXPECT_EQ(NativeMessageFraming::Encode(strJson + " ", 1, 1000).size(), 2u);
}

TEST(NativeMessageDecoderTest, MessagesArrivingAByteAtATimeComeOutWholeAndInOrder)
{
    const std::vector<std::string> messages = {R"({"a":1})", "", AwkwardJson(5000)};
    std::string strStream;
    for (const std::string& strMessage : messages) {
        strStream += NativeMessageFraming::Frame(strMessage);
    }
    NativeMessageDecoder decoder;
    std::vector<std::string> decoded;
    for (const char ch : strStream) {
        decoder.Feed(std::string_view(&ch, 1));
        while (auto strMessage = decoder.Next()) {
            decoded.push_back(*strMessage);
        }
    }
    EXPECT_EQ(decoded, messages);
    EXPECT_FALSE(decoder.HasPartial());
}

TEST(NativeMessageDecoderTest, InputCutOffInsideALengthOrABodyIsPartial)
{
    const std::string strFrame = NativeMessageFraming::Frame(R"({"id":1,"get":"TimeOut"})");
    for (const std::size_t uintCut : {std::size_t{2}, std::size_t{4}, strFrame.size() - 1}) {
        NativeMessageDecoder decoder;
        decoder.Feed(strFrame.substr(0, uintCut));
        EXPECT_FALSE(decoder.Next().has_value()) << uintCut;
        EXPECT_TRUE(decoder.HasPartial()) << uintCut;
    }
}

TEST(NativeMessageDecoderTest, LengthAboveTheLimitFailsTheStreamForGood)
{
    NativeMessageDecoder decoder(100);
    decoder.Feed(NativeMessageFraming::Frame(std::string(100, 'x')));
    EXPECT_EQ(decoder.Next(), std::string(100, 'x'));
    decoder.Feed(NativeMessageFraming::Frame(std::string(101, 'y')));
    decoder.Feed(NativeMessageFraming::Frame("{}"));
    EXPECT_FALSE(decoder.Next().has_value());
    EXPECT_EQ(decoder.OverlongLength(), 101u);
    // What follows an absurd length is not trusted as a frame.
    EXPECT_FALSE(decoder.Next().has_value());
}

}  // namespace
}  // namespace pullbay::bridge
