// The URL canonicaliser: the canonical form that pages see, dot segments,
// percent-encoding, the length limit.
#include <gtest/gtest.h>

#include <string>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "net/SafeWinApi.h"

namespace pullbay::net {
namespace {

using SafeWinApi::InternetCanonicalizeUrlW;
using SafeWinApi::kIcuNoEncode;

TEST(SafeWinApiTest, DotSegmentsAreRemovedFromThePathOnly)
{
    const std::pair<const wchar_t*, const wchar_t*> table[] = {
        {L"http://h/a/./b/../c", L"http://h/a/c"},
        {L"http://h/a/b/../../../../c", L"http://h/c"},
        {L"http://h/a/..", L"http://h/"},
        {L"http://h/a/.", L"http://h/a/"},
        {L"http://h/a//../b", L"http://h/a/b"},
        {L"http://h/a/.../b/..x", L"http://h/a/.../b/..x"},
        {L"http://h/a/%2E%2E/b", L"http://h/a/%2E%2E/b"},
        {L"http://h:81/a/../b?x=/../y#/./z", L"http://h:81/b?x=/../y#/./z"},
        {L"HTTP://Host.Example/A/../B", L"http://host.example/B"},
        // Local paths and relative references get the same treatment.
        {L"c:/x/../y", L"c:/y"},
        {L"c:/../../y", L"c:/y"},
        {L"folder/a/../b", L"folder/b"},
        {L"a/../../b", L"../b"},
        {L"/x/./y/", L"/x/y/"},
    };
    for (const auto& [strUrl, strExpected] : table) {
        EXPECT_EQ(InternetCanonicalizeUrlW(strUrl, kIcuNoEncode), strExpected)
            << core::ToUtf8(strUrl);
        EXPECT_EQ(InternetCanonicalizeUrlW(strUrl, 0), strExpected) << core::ToUtf8(strUrl);
    }
}

TEST(SafeWinApiTest, UnsafeCharactersAreEncodedUnlessTheFlagSaysNo)
{
    const std::wstring emoji(1, static_cast<wchar_t>(0x1F600));
    const struct {
        std::wstring strUrl;
        std::wstring strEncoded;
    } table[] = {
        {L"http://h/a b/c d.zip?q=a b#f g", L"http://h/a%20b/c%20d.zip?q=a%20b#f g"},
        {L"http://h/<>\"{}|^`?\\", L"http://h/%3C%3E%22%7B%7D%7C%5E%60?%5C"},
        {L"http://h/%41%4a%zz%", L"http://h/%41%4A%25zz%25"},
        {L"http://h/\u00E4\u20AC" + emoji, L"http://h/%C3%A4%E2%82%AC%F0%9F%98%80"},
        {L"http://h/\t\x7F\x01", L"http://h/%09%7F%01"},
        {L"http://h/a:b@c!$&'()*+,;=[]~-._/", L"http://h/a:b@c!$&'()*+,;=[]~-._/"},
        {L"http://b\u00FCcher.example/\u00E4", L"http://b\u00FCcher.example/%C3%A4"},
        {L"http://h/a b/../c d", L"http://h/c%20d"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(core::ToUtf8(row.strUrl));
        EXPECT_EQ(InternetCanonicalizeUrlW(row.strUrl.c_str(), 0), row.strEncoded);
        EXPECT_EQ(InternetCanonicalizeUrlW(row.strEncoded.c_str(), 0), row.strEncoded);
    }
    EXPECT_EQ(InternetCanonicalizeUrlW(L"http://h/a b/./\u00E4?q=<x>", kIcuNoEncode),
              L"http://h/a b/\u00E4?q=<x>");
}

TEST(SafeWinApiTest, CanonicalFormExamples)
{
    const std::pair<const wchar_t*, const wchar_t*> table[] = {
        // Scheme and host fold to lower case; user information and path keep
        // their case.
        {L"HtTpS://h/x", L"https://h/x"},
        {L"http://WWW.Example.COM/Dir/File.BIN", L"http://www.example.com/Dir/File.BIN"},
        {L"http://User@Host.Example:8080/A", L"http://User@host.example:8080/A"},
        {L"http://[FE80::1]:8080/", L"http://[fe80::1]:8080/"},
        // An http(s) URL without path gets "/".
        {L"http://h", L"http://h/"},
        {L"https://h?q=1", L"https://h/?q=1"},
        {L"http://h#f", L"http://h/#f"},
        // Default ports, written with leading zeros or not, and empty ports
        // go; other ports stay as written.
        {L"http://h:80/x", L"http://h/x"},
        {L"https://h:443", L"https://h/"},
        {L"http://h:0080/", L"http://h/"},
        {L"http://h:/x", L"http://h/x"},
        {L"http://[::1]:80/", L"http://[::1]/"},
        {L"http://h:443/x", L"http://h:443/x"},
        {L"https://h:80/x", L"https://h:80/x"},
        {L"http://h:08080/x", L"http://h:08080/x"},
        {L"http://h:99999999999999999999/x", L"http://h:99999999999999999999/x"},
        {L"ftp://H:21/x", L"ftp://h:21/x"},
        // Hex digits of escapes in path and query in upper case; nothing is
        // decoded; the fragment stays as written.
        {L"http://h/a%2fb%c3%a4?c=%e4#%aa", L"http://h/a%2Fb%C3%A4?c=%E4#%aa"},
        {L"http://h/a/%2e%2e/b", L"http://h/a/%2E%2E/b"},
        // Backslashes read as slashes in an http(s) authority and path,
        // before dot segments go.
        {L"http://h\\a\\..\\b.zip", L"http://h/b.zip"},
        {L"HTTP:\\\\H\\x", L"http://h/x"},
        {L"http://h/a\\.\\b#c\\d", L"http://h/a/b#c\\d"},
    };
    for (const auto& [strUrl, strExpected] : table) {
        SCOPED_TRACE(core::ToUtf8(strUrl));
        for (const unsigned uintFlags : {kIcuNoEncode, 0u}) {
            EXPECT_EQ(InternetCanonicalizeUrlW(strUrl, uintFlags), strExpected);
            EXPECT_EQ(InternetCanonicalizeUrlW(strExpected, uintFlags), strExpected);
        }
    }
    // Backslashes of other schemes and of the query are ordinary characters.
    EXPECT_EQ(InternetCanonicalizeUrlW(L"ftp://h/a\\..\\b", kIcuNoEncode), L"ftp://h/a\\..\\b");
    EXPECT_EQ(InternetCanonicalizeUrlW(L"http://h/a?x=\\..", kIcuNoEncode), L"http://h/a?x=\\..");
    EXPECT_EQ(InternetCanonicalizeUrlW(L"http://h/a?x=\\..", 0), L"http://h/a?x=%5C..");
}

// Found by fuzzing: removing dot segments could make a path begin with "//"
// where no authority is, and the canonical form then named a host
// ("http:/.//h/x" became "http://h/x", whose canonical form is another
// text again); or make a relative path's first segment read as a scheme.
TEST(SafeWinApiTest, RemovedDotSegmentsNeverMakeAHostOrASchemeAppear)
{
    const std::pair<const wchar_t*, const wchar_t*> table[] = {
        {L"http:/.//evil.example/x", L"http:/.//evil.example/x"},
        {L"http:/a/..//evil.example/x", L"http:/.//evil.example/x"},
        {L"http:/.//", L"http:/.//"},
        {L"x/../http:evil", L"./http:evil"},
        {L"x/../a:b/c", L"./a:b/c"},
        // With an authority, or a colon after the first segment, nothing changes.
        {L"http://h/a/..//b", L"http://h//b"},
        {L"x/../a/b:c", L"a/b:c"},
    };
    for (const auto& [strUrl, strExpected] : table) {
        SCOPED_TRACE(core::ToUtf8(strUrl));
        for (const unsigned uintFlags : {kIcuNoEncode, 0u}) {
            EXPECT_EQ(InternetCanonicalizeUrlW(strUrl, uintFlags), strExpected);
            EXPECT_EQ(InternetCanonicalizeUrlW(strExpected, uintFlags), strExpected);
        }
    }
}

TEST(SafeWinApiTest, OnlyTheFirst2048UnitsAreUsed)
{
    const std::wstring head = L"http://h/";
    const std::wstring filler(2048 - head.size(), L'a');
    EXPECT_EQ(InternetCanonicalizeUrlW((head + filler + L"/../tail").c_str(), kIcuNoEncode),
              head + filler);
    // A character of two units that would end past the limit is left out whole.
    const std::wstring shorter(filler.size() - 1, L'a');
    const std::wstring wide(1, static_cast<wchar_t>(0x1F600));
    EXPECT_EQ(InternetCanonicalizeUrlW((head + shorter + wide).c_str(), kIcuNoEncode),
              head + shorter);
    EXPECT_EQ(InternetCanonicalizeUrlW((head + shorter + wide).c_str(), 0), head + shorter);
}

TEST(SafeWinApiTest, NullUrlIsRefusedByName)
{
    core::ExceptionManager::ClearException(core::CurrentThreadId());
    try {
        InternetCanonicalizeUrlW(nullptr, 0);
        ADD_FAILURE() << "nothing thrown";
    } catch (const core::ArgumentNullPointerException& failure) {
        EXPECT_STREQ(failure.GetMessage(), L"Argument is null pointer (strUrl).");
        EXPECT_STREQ(failure.GetFunction(), L"SafeWinApi::InternetCanonicalizeUrlW");
    }
    const auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
    ASSERT_NE(pRecord, nullptr);
    EXPECT_EQ(pRecord->GetTypeId(), core::ArgumentNullPointerException::kTypeId);
    core::ExceptionManager::ClearException(core::CurrentThreadId());
}

}  // namespace
}  // namespace pullbay::net
