// The reader and the writer over a real pipe: messages in order, the end of
// input with its reason, and a writer that notices the browser has gone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "bridge/NativeMessageFraming.h"
#include "bridge/NativeMessageReader.h"
#include "bridge/NativeMessageWriter.h"

namespace pullbay::bridge {
namespace {

struct ReadResult {
    std::vector<std::string> messages;
    std::optional<NativeMessageReader::End> end;
};

// Writes the bytes into a pipe, closes it and reads it with the reader on
// this (the GUI) thread until the end is reported.
ReadResult ReadAll(const std::string& strBytes)
{
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ReadResult result;
    NativeMessageReader reader(
        [&](std::string strMessage) { result.messages.push_back(std::move(strMessage)); },
        [&](NativeMessageReader::End end) {
            result.end = end;
            QCoreApplication::exit(0);
        },
        fds[0]);
    reader.Start();
    // The pipe's buffer may be smaller than the bytes: write from a thread.
    std::thread writer([&] {
        std::size_t uintDone = 0;
        while (uintDone < strBytes.size()) {
            const ssize_t intWritten =
                ::write(fds[1], strBytes.data() + uintDone, strBytes.size() - uintDone);
            if (intWritten <= 0) {
                break;
            }
            uintDone += static_cast<std::size_t>(intWritten);
        }
        ::close(fds[1]);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "the reader did not report the end within 10 s";
        QCoreApplication::exit(1);
    });
    watchdog.start(10000);
    QCoreApplication::exec();
    writer.join();
    ::close(fds[0]);
    return result;
}

TEST(NativeMessageStreamTest, ReaderHandsOverMessagesInOrderThenTheEnd)
{
    const std::string strBig(3 * 65536 + 5, 'b');
    const ReadResult result =
        ReadAll(NativeMessageFraming::Frame("{\"n\":1}") + NativeMessageFraming::Frame(strBig) +
                NativeMessageFraming::Frame("{\"n\":3}"));
    EXPECT_EQ(result.messages, (std::vector<std::string>{"{\"n\":1}", strBig, "{\"n\":3}"}));
    EXPECT_EQ(result.end, NativeMessageReader::End::Closed);
}

TEST(NativeMessageStreamTest, ReaderReportsTruncatedAndOverlongInput)
{
    const std::string strFrame = NativeMessageFraming::Frame("{\"n\":1}");
    ReadResult result = ReadAll(strFrame + strFrame.substr(0, strFrame.size() - 2));
    EXPECT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.end, NativeMessageReader::End::Truncated);

    std::string strOverlong(4, '\0');
    const std::uint32_t uintLength = NativeMessageFraming::kMaxFromBrowserBytes + 1;
    std::memcpy(strOverlong.data(), &uintLength, 4);
    result = ReadAll(strFrame + strOverlong + strFrame);
    EXPECT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.end, NativeMessageReader::End::Overlong);
}

TEST(NativeMessageStreamTest, WriterSplitsLongMessagesAndStopsOnceTheBrowserHasGone)
{
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const std::string strJson = "\"" + std::string(5000, 'x') + "\"";
    {
        NativeMessageWriter writer(fds[1], 1000);
        ASSERT_TRUE(writer.Write(strJson));
    }
    std::string strRead(65536, '\0');
    const ssize_t intRead = ::read(fds[0], strRead.data(), strRead.size());
    ASSERT_GT(intRead, 0);
    NativeMessageDecoder decoder;
    decoder.Feed(std::string_view(strRead.data(), static_cast<std::size_t>(intRead)));
    int intParts = 0;
    while (const auto strPart = decoder.Next()) {
        EXPECT_LE(strPart->size(), 1000u);
        ++intParts;
    }
    EXPECT_EQ(intParts, 6);
    EXPECT_FALSE(decoder.HasPartial());

    ::close(fds[0]);
    NativeMessageWriter writer(fds[1]);
    EXPECT_FALSE(writer.Write("{}"));
    EXPECT_FALSE(writer.Write("{}"));
    ::close(fds[1]);
}

}  // namespace
}  // namespace pullbay::bridge
