// Windows error codes and errno values turned into exceptions of the right
// class, with the system's text, recorded for the throwing thread.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "core/Win32Errors.h"

namespace pullbay::core {
namespace {

struct Win32Row {
    std::uint32_t uintCode;
    std::uint32_t uintTypeId;
    const wchar_t* strClassName;
    HRESULT intCode;
};

constexpr Win32Row kWin32Rows[] = {
    {2, FileNotFoundException::kTypeId, L"FileNotFoundException", -7},
    {3, PathNotFoundException::kTypeId, L"PathNotFoundException", -21545},
    {5, AccessDeniedException::kTypeId, L"AccessDeniedException", -9},
    {123, InvalidNameException::kTypeId, L"InvalidNameException", -21544},
    {183, CreateFileException::kTypeId, L"CreateFileException", -21544},
    {32, Win32Exception::kTypeId, L"Win32Exception", E_FAIL},
    {112, Win32Exception::kTypeId, L"Win32Exception", E_FAIL},
    {99999, Win32Exception::kTypeId, L"Win32Exception", E_FAIL},
};

TEST(Win32ErrorsTest, EachCodeThrowsItsClassWithPrefixAndSystemText)
{
    for (const Win32Row& row : kWin32Rows) {
        SCOPED_TRACE(row.uintCode);
        try {
            ThrowWin32Exception(row.uintCode, L"x");
            ADD_FAILURE() << "nothing thrown";
        } catch (const Exception& failure) {
            EXPECT_EQ(failure.GetTypeId(), row.uintTypeId);
            EXPECT_STREQ(failure.GetClassName(), row.strClassName);
            EXPECT_EQ(failure.GetCode(), row.intCode);
            EXPECT_EQ(std::wstring(failure.GetMessage()), L"x " + Win32ErrorText(row.uintCode));
            EXPECT_STREQ(failure.GetFunction(), L"ThrowWin32Exception");
            EXPECT_TRUE(std::wstring_view(failure.GetFile()).ends_with(L"Win32Errors.cpp"));

            const auto pRecord = ExceptionManager::GetException(CurrentThreadId());
            ASSERT_NE(pRecord, nullptr);
            EXPECT_EQ(pRecord->GetTypeId(), row.uintTypeId);
            EXPECT_STREQ(pRecord->GetMessage(), failure.GetMessage());
        }
    }
    EXPECT_EQ(Win32ErrorText(99999), L"Unknown error 99999.");
}

TEST(Win32ErrorsTest, HandlersSeeTheHierarchy)
{
    EXPECT_NO_THROW(ThrowWin32Exception(0, L"x"));
    EXPECT_THROW(ThrowWin32Exception(5, L"x"), FileOpenException);
    EXPECT_THROW(ThrowWin32Exception(5, L"x"), IoException);
    EXPECT_THROW(ThrowWin32Exception(183), FileSystemException);
    try {
        ThrowWin32Exception(183);
    } catch (const FileOpenException&) {
        ADD_FAILURE() << "183 is no open failure";
    } catch (const FileSystemException& failure) {
        EXPECT_STREQ(failure.GetMessage(), Win32ErrorText(183).c_str());
    }
    try {
        ThrowWin32Exception(32);
    } catch (const Win32Exception& failure) {
        EXPECT_EQ(failure.GetWin32Code(), 32u);
    }
}

TEST(Win32ErrorsTest, LongPrefixIsCutToTheSystemTextBuffer)
{
    const std::wstring prefix(2500, L'p');
    try {
        ThrowWin32Exception(5, prefix.c_str());
    } catch (const Exception& failure) {
        EXPECT_EQ(Utf16Length(failure.GetMessage()), kSystemTextBufferUnits - 1);
    }
}

TEST(Win32ErrorsTest, ErrnoValuesMapToWindowsCodes)
{
    const std::pair<int, std::uint32_t> table[] = {
        {0, 0},
        {ENOENT, 2},
        {ENOTDIR, 3},
        {EACCES, 5},
        {EPERM, 5},
        {ENAMETOOLONG, 123},
        {EINVAL, 123},
        {EEXIST, 183},
        {ENOSPC, 112},
        {EDQUOT, 112},
        {EIO, kWin32GenericFailure},
        {EBUSY, kWin32GenericFailure},
    };
    for (const auto& [intErrno, uintCode] : table) {
        EXPECT_EQ(Win32CodeFromErrno(intErrno), uintCode) << intErrno;
    }
}

TEST(Win32ErrorsTest, ErrnoExceptionCarriesTheCLibraryText)
{
    EXPECT_NO_THROW(ThrowErrnoException(0, L"open"));
    try {
        ThrowErrnoException(ENOENT, L"/tmp/a");
        ADD_FAILURE() << "nothing thrown";
    } catch (const FileNotFoundException& failure) {
        EXPECT_STREQ(failure.GetMessage(), L"/tmp/a No such file or directory");
    }
    try {
        ThrowErrnoException(ENOSPC);
        ADD_FAILURE() << "nothing thrown";
    } catch (const Win32Exception& failure) {
        // The disk-full case stays recognisable by its code.
        EXPECT_EQ(failure.GetWin32Code(), kWin32DiskFull);
        EXPECT_STREQ(failure.GetMessage(), L"No space left on device");
    }
}

}  // namespace
}  // namespace pullbay::core
