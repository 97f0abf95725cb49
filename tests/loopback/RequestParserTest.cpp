// The request reader that both loopback servers share: what it yields does
// not depend on how the bytes were cut into reads, a head beyond the limit
// is refused before its end arrives, malformed heads are refused rather than
// misread, and the head decides whether the connection is kept.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "loopback/HttpRequest.h"
#include "loopback/RequestParser.h"

namespace pullbay::test {
namespace {

using loopback::HttpRequest;
using loopback::RequestParser;
using Result = RequestParser::Result;
using namespace std::string_literals;

struct Parsed {
    std::vector<HttpRequest> requests;
    Result last = Result::NeedMore;
    std::size_t uintBuffered = 0;
};

// Feeds the input as a connection does, uintPiece bytes per read: each
// request's body is dropped before the next head is looked for.
Parsed ParseInPieces(const std::string& strInput, std::size_t uintPiece,
                     std::size_t uintMaxHeadBytes = 1024)
{
    RequestParser parser(uintMaxHeadBytes);
    Parsed parsed;
    std::uint64_t uintBodyLeft = 0;
    for (std::size_t uintOffset = 0;
         uintOffset < strInput.size() && parsed.last != Result::Malformed;
         uintOffset += uintPiece) {
        parser.Append(std::string_view(strInput).substr(uintOffset, uintPiece));
        for (;;) {
            uintBodyLeft -= parser.DropBody(uintBodyLeft);
            if (uintBodyLeft > 0) {
                break;
            }
            HttpRequest request;
            parsed.last = parser.Next(request);
            if (parsed.last != Result::Complete) {
                break;
            }
            uintBodyLeft = request.uintContentLength;
            parsed.requests.push_back(request);
        }
    }
    parsed.uintBuffered = parser.Buffered();
    return parsed;
}

Result ParseWhole(const std::string& strHead, HttpRequest& request)
{
    RequestParser parser(1024);
    parser.Append(strHead);
    return parser.Next(request);
}

TEST(RequestParserTest, RequestsCutIntoReadsAnywhereParseAsWhenSentWhole)
{
    // Blank lines before the first request, LF-only lines, a body that looks
    // like a request, the absolute form.
    const std::string strInput =
        "\r\n\r\nGET /a/b?x=1 HTTP/1.1\r\nHost: h\r\nX-Spaced:  two words \t\r\n\r\n"
        "POST /form HTTP/1.1\nHost: h\nContent-Length: 26\n\nGET /smuggled HTTP/1.1\r\n\r\n"
        "GET http://h:80/c?q#f HTTP/1.0\r\nConnection: keep-alive\r\n\r\n";
    for (const std::size_t uintPiece : {1, 2, 3, 5, 8, 13, 64, 4096}) {
        SCOPED_TRACE(uintPiece);
        const Parsed parsed = ParseInPieces(strInput, uintPiece);
        EXPECT_EQ(parsed.last, Result::NeedMore);
        EXPECT_EQ(parsed.uintBuffered, 0u);
        ASSERT_EQ(parsed.requests.size(), 3u);

        const HttpRequest& first = parsed.requests[0];
        EXPECT_EQ(first.strMethod, "GET");
        EXPECT_EQ(first.strTarget, "/a/b?x=1");
        EXPECT_EQ(first.Path(), "/a/b");
        const loopback::FieldList expected{{"Host", "h"}, {"X-Spaced", "two words"}};
        EXPECT_EQ(first.headers, expected);
        EXPECT_TRUE(first.bKeepAlive);

        const HttpRequest& form = parsed.requests[1];
        EXPECT_EQ(form.strMethod, "POST");
        EXPECT_EQ(form.uintContentLength, 26u);
        EXPECT_EQ(form.Header("content-length"), "26");

        const HttpRequest& absolute = parsed.requests[2];
        EXPECT_EQ(absolute.strTarget, "http://h:80/c?q#f");
        EXPECT_EQ(absolute.Path(), "/c");
        EXPECT_TRUE(absolute.bHttp10);
        EXPECT_TRUE(absolute.bKeepAlive);
    }
}

TEST(RequestParserTest, AHeadBeyondTheLimitIsRefusedBeforeItsEndArrives)
{
    const std::string strStart = "GET / HTTP/1.1\r\nHost: h\r\nX-Fill: ";
    const auto Head = [&](std::size_t uintLength) {
        return strStart + std::string(uintLength - strStart.size() - 4, 'a') + "\r\n\r\n";
    };
    constexpr std::size_t kLimit = 100;
    EXPECT_EQ(ParseInPieces(Head(kLimit), 7, kLimit).requests.size(), 1u);
    EXPECT_EQ(ParseInPieces(Head(kLimit + 1), 7, kLimit).last, Result::Malformed);

    // An endless head: refused once it passes the limit, not at its end.
    RequestParser parser(kLimit);
    HttpRequest request;
    parser.Append(strStart + std::string(kLimit - strStart.size(), 'a'));
    EXPECT_EQ(parser.Next(request), Result::NeedMore);
    parser.Append("a");
    EXPECT_EQ(parser.Next(request), Result::Malformed);
}

TEST(RequestParserTest, MalformedHeadsAreRefusedRatherThanMisread)
{
    const std::vector<std::string> heads = {
        "hello there\r\n\r\n",
        "GET /a\r\n\r\n",
        "GET  /a HTTP/1.1\r\nHost: h\r\n\r\n",
        "GET /a HTTP/1.1 \r\nHost: h\r\n\r\n",
        "GET /a HTTP/2.0\r\nHost: h\r\n\r\n",
        "G(T /a HTTP/1.1\r\nHost: h\r\n\r\n",
        "GET a HTTP/1.1\r\nHost: h\r\n\r\n",
        "GET * HTTP/1.1\r\nHost: h\r\n\r\n",
        "GET /a\0b HTTP/1.1\r\nHost: h\r\n\r\n"s,
        "GET /a HTTP/1.1\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nNoColon\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\n: empty name\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nX-Folded: a\r\n b\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nX-Space : a\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nX-Control: a\rb\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nContent-Length: 1x\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nContent-Length: 99999999999999999999\r\n\r\n",
        "GET /a HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
    };
    for (const std::string& strHead : heads) {
        SCOPED_TRACE(strHead);
        HttpRequest request;
        EXPECT_EQ(ParseWhole(strHead, request), Result::Malformed);
    }
}

TEST(RequestParserTest, TheHeadDecidesWhetherTheConnectionIsKept)
{
    struct Case {
        const char* strFields;
        const char* strVersion;
        bool bKeepAlive;
        std::uint64_t uintContentLength;
    };
    const Case cases[] = {
        {"", "HTTP/1.1", true, 0},
        {"Connection: close\r\n", "HTTP/1.1", false, 0},
        {"Connection: Keep-Alive, CLOSE\r\n", "HTTP/1.1", false, 0},
        {"", "HTTP/1.0", false, 0},
        {"Connection: keep-alive\r\n", "HTTP/1.0", true, 0},
        {"Content-Length: 5\r\nContent-Length: 5\r\n", "HTTP/1.1", true, 5},
        // Another framing cannot be skipped exactly: the connection ends.
        {"Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", "HTTP/1.1", false, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.strVersion) + " " + test.strFields);
        HttpRequest request;
        ASSERT_EQ(ParseWhole("GET /a " + std::string(test.strVersion) + "\r\nHost: h\r\n" +
                                 test.strFields + "\r\n",
                             request),
                  Result::Complete);
        EXPECT_EQ(request.bKeepAlive, test.bKeepAlive);
        EXPECT_EQ(request.uintContentLength, test.uintContentLength);
    }
}

}  // namespace
}  // namespace pullbay::test
