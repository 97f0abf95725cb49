// The exception hierarchy: identity, code and wording of every class, which
// handlers catch it, and what survives copying.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/ProductConfig.h"
#include "core/TextUnits.h"
#include "core/Win32Errors.h"

namespace pullbay::core {
namespace {

constexpr const wchar_t* kFunction = L"Widget::Run";
constexpr const wchar_t* kFile = L"src/widget/Widget.cpp";
constexpr std::uint32_t kLine = 42;
constexpr HRESULT kGivenCode = -77;
constexpr const wchar_t* kArgument = L"pParam";

// Throws the class under test; a null argument means the form without one.
using Thrower = std::function<void(const wchar_t* strArgument)>;

template <typename... Handlers>
std::set<std::uint32_t> HandlersThatCatch(const std::function<void()>& thrower)
{
    std::set<std::uint32_t> caught;
    auto tryOne = [&]<typename Handler>() {
        try {
            thrower();
        } catch (const Handler&) {
            caught.insert(Handler::kTypeId);
        } catch (...) {
        }
    };
    (tryOne.template operator()<Handlers>(), ...);
    return caught;
}

std::set<std::uint32_t> CatchingHandlers(const std::function<void()>& thrower)
{
    return HandlersThatCatch<
        Exception, SystemException, MemoryException, Win32Exception, IoException,
        FileSystemException, CreateTempFileException, FileOpenException, FileNotFoundException,
        PathNotFoundException, AccessDeniedException, InvalidNameException, CreateFileException,
        ApplicationException, OutOfRangeException, UnexpectedException, ArgumentException,
        ArgumentNullPointerException, ArgumentOutOfRangeException, NotInitializedException,
        TimeOutException, AbortedException, OverflowException>(thrower);
}

struct ClassRow {
    const wchar_t* strClassName;
    std::uint32_t uintTypeId;
    HRESULT intCode;
    std::wstring strMessageWithout;
    // Empty for classes that take no argument.
    std::wstring strMessageWith;
    // Type ids of the class and all its bases.
    std::set<std::uint32_t> lineage;
    Thrower thrower;
};

template <typename Type>
Thrower Generic()
{
    return [](const wchar_t* strMessage) {
        throw Type(kFunction, kFile, kLine, kGivenCode, strMessage);
    };
}

template <typename Type>
Thrower WithArgument()
{
    return [](const wchar_t* strArgument) { throw Type(kFunction, kFile, kLine, strArgument); };
}

template <typename Type>
Thrower Plain()
{
    return [](const wchar_t*) { throw Type(kFunction, kFile, kLine); };
}

std::wstring Unexpected()
{
    return std::wstring(L"Some unexpected error occured. If you see this message, please "
                        L"contact ") +
           kSupportEmailAddress + L".";
}

std::vector<ClassRow> ClassTable()
{
    const std::set<std::uint32_t> system = {0, 1};
    const std::set<std::uint32_t> fileSystem = {0, 1, 4, 10};
    const std::set<std::uint32_t> fileOpen = {0, 1, 4, 10, 13};
    const std::set<std::uint32_t> application = {0, 20};
    const std::set<std::uint32_t> argument = {0, 20, 33};
    auto with = [](std::set<std::uint32_t> ids, std::uint32_t id) {
        ids.insert(id);
        return ids;
    };
    return {
        {L"Exception", 0, kGivenCode, L"", kArgument, {0}, Generic<Exception>()},
        {L"SystemException", 1, kGivenCode, L"", kArgument, system, Generic<SystemException>()},
        {L"MemoryException", 2, E_OUTOFMEMORY, L"Unable to commit memory.", L"", with(system, 2),
         Plain<MemoryException>()},
        {L"Win32Exception", 3, E_FAIL, Win32ErrorText(32), kArgument, with(system, 3),
         [](const wchar_t* strMessage) {
             throw Win32Exception(kFunction, kFile, kLine, strMessage, 32);
         }},
        {L"IoException", 4, kGivenCode, L"", kArgument, with(system, 4), Generic<IoException>()},
        {L"FileSystemException", 10, kGivenCode, L"", kArgument, fileSystem,
         Generic<FileSystemException>()},
        {L"CreateTempFileException", 11, -4112, L"Unable to create temporary file.",
         L"Unable to create temporary file 'pParam'.", with(fileSystem, 11),
         WithArgument<CreateTempFileException>()},
        {L"FileOpenException", 13, E_FAIL, L"Unable to open file.",
         L"Unable to open file 'pParam'.", fileOpen, WithArgument<FileOpenException>()},
        {L"FileNotFoundException", 14, -7, Win32ErrorText(2), kArgument, with(fileOpen, 14),
         WithArgument<FileNotFoundException>()},
        {L"PathNotFoundException", 15, -21545, Win32ErrorText(3), kArgument, with(fileOpen, 15),
         WithArgument<PathNotFoundException>()},
        {L"AccessDeniedException", 16, -9, L"Access to path you specified is denied.",
         L"Access to path 'pParam' is denied.", with(fileOpen, 16),
         WithArgument<AccessDeniedException>()},
        {L"InvalidNameException", 17, -21544, Win32ErrorText(123), kArgument, with(fileOpen, 17),
         WithArgument<InvalidNameException>()},
        {L"CreateFileException", 18, -21544, Win32ErrorText(183), kArgument, with(fileSystem, 18),
         WithArgument<CreateFileException>()},
        {L"ApplicationException", 20, kGivenCode, L"", kArgument, application,
         Generic<ApplicationException>()},
        {L"OutOfRangeException", 31, -5616, L"Object is out of range.",
         L"'pParam' is out of range.", with(application, 31), WithArgument<OutOfRangeException>()},
        {L"UnexpectedException", 32, E_UNEXPECTED, Unexpected(),
         Unexpected() + L" Additional info: pParam", with(application, 32),
         WithArgument<UnexpectedException>()},
        {L"ArgumentException", 33, E_INVALIDARG, L"Argument has an unappropriate value.",
         L"Argument has an unappropriate value (pParam).", argument,
         WithArgument<ArgumentException>()},
        {L"ArgumentNullPointerException", 34, E_POINTER, L"Argument is null pointer.",
         L"Argument is null pointer (pParam).", with(argument, 34),
         WithArgument<ArgumentNullPointerException>()},
        {L"ArgumentOutOfRangeException", 35, E_INVALIDARG, L"Argument is out of range.",
         L"Argument is out of range (pParam).", with(argument, 35),
         WithArgument<ArgumentOutOfRangeException>()},
        {L"NotInitializedException", 36, -15, L"The object is not initialized.",
         L"pParam is not initialized.", with(application, 36),
         WithArgument<NotInitializedException>()},
        {L"TimeOutException", 38, -18, L"Timeout is exceeded.", L"", with(application, 38),
         Plain<TimeOutException>()},
        {L"AbortedException", 39, -6, L"Operation is aborted.", L"", with(application, 39),
         Plain<AbortedException>()},
        {L"OverflowException", 55, -4104, L"An overflow error occured.", kArgument,
         with(system, 55), WithArgument<OverflowException>()},
    };
}

Exception Caught(const Thrower& thrower, const wchar_t* strArgument)
{
    try {
        thrower(strArgument);
    } catch (const Exception& failure) {
        return failure;  // a copy held as the plain base class
    }
    ADD_FAILURE() << "nothing thrown";
    return Exception(nullptr, nullptr, 0);
}

TEST(ExceptionClassesTest, EveryClassHasItsIdentityCodeAndMessage)
{
    for (const ClassRow& row : ClassTable()) {
        SCOPED_TRACE(ToUtf8(row.strClassName));
        for (const bool withArgument : {false, true}) {
            if (withArgument && row.strMessageWith.empty()) {
                continue;
            }
            const Exception failure = Caught(row.thrower, withArgument ? kArgument : nullptr);
            EXPECT_STREQ(failure.GetClassName(), row.strClassName);
            EXPECT_EQ(failure.GetTypeId(), row.uintTypeId);
            EXPECT_EQ(failure.GetCode(), row.intCode);
            EXPECT_EQ(std::wstring(failure.GetMessage()),
                      withArgument ? row.strMessageWith : row.strMessageWithout);
            EXPECT_STREQ(failure.GetFunction(), kFunction);
            EXPECT_STREQ(failure.GetFile(), kFile);
            EXPECT_EQ(failure.GetLine(), kLine);
        }
    }
}

TEST(ExceptionClassesTest, HandlersOfTheClassAndItsBasesCatchIt)
{
    for (const ClassRow& row : ClassTable()) {
        SCOPED_TRACE(ToUtf8(row.strClassName));
        EXPECT_EQ(CatchingHandlers([&] { row.thrower(nullptr); }), row.lineage);
    }
}

TEST(ExceptionClassesTest, MissingTextsReadAsTheirDefaults)
{
    const Exception failure(nullptr, nullptr, 3);
    EXPECT_STREQ(failure.GetFunction(), L"undefined");
    EXPECT_STREQ(failure.GetFile(), L"undefined");
    EXPECT_STREQ(failure.GetMessage(), L"");
    EXPECT_EQ(failure.GetCode(), E_FAIL);
}

TEST(ExceptionClassesTest, CopiesAndAssignmentsAreDeepAndKeepTheIdentity)
{
    auto pOriginal = std::make_unique<AccessDeniedException>(kFunction, kFile, kLine, L"a.txt");
    Exception copy(*pOriginal);
    Exception assigned(L"Other::Routine", L"other.cpp", 1, 5, L"old");
    assigned = *pOriginal;
    assigned = assigned;  // self-assignment keeps everything
    pOriginal.reset();    // the copies own their texts

    for (const Exception* pCopy : {&copy, &assigned}) {
        EXPECT_STREQ(pCopy->GetClassName(), L"AccessDeniedException");
        EXPECT_EQ(pCopy->GetTypeId(), AccessDeniedException::kTypeId);
        EXPECT_EQ(pCopy->GetCode(), -9);
        EXPECT_STREQ(pCopy->GetMessage(), L"Access to path 'a.txt' is denied.");
        EXPECT_STREQ(pCopy->GetFunction(), kFunction);
        EXPECT_STREQ(pCopy->GetFile(), kFile);
        EXPECT_EQ(pCopy->GetLine(), kLine);
    }
    EXPECT_NE(copy.GetMessage(), assigned.GetMessage());
}

TEST(ExceptionClassesTest, ArgumentExceptionWithExtraTextExplainsTheRefusal)
{
    const ArgumentException both(kFunction, kFile, kLine, L"pData",
                                 L"The size of data to read must be greater than 0.");
    EXPECT_STREQ(both.GetMessage(), L"Argument has an unappropriate value (pData) "
                                    L"(The size of data to read must be greater than 0.).");
    EXPECT_EQ(both.GetCode(), E_INVALIDARG);
}

TEST(ExceptionClassesTest, NotInitializedExceptionAppendsItsExtraText)
{
    EXPECT_STREQ(
        NotInitializedException(kFunction, kFile, kLine, L"m_pPool", L"Call Start.").GetMessage(),
        L"m_pPool is not initialized. Call Start.");
    EXPECT_STREQ(
        NotInitializedException(kFunction, kFile, kLine, nullptr, L"Call Start.").GetMessage(),
        L"The object is not initialized. Call Start.");
}

TEST(ExceptionClassesTest, LongMessagesAreCutToTheirBufferWithoutSplittingACharacter)
{
    // "'" + argument + "' is out of range." in 2047 units (2048 with terminator).
    const wchar_t kWide = static_cast<wchar_t>(0x1F600);  // two UTF-16 units
    const std::wstring fits = std::wstring(2044, L'a') + kWide;
    EXPECT_EQ(std::wstring(OutOfRangeException(kFunction, kFile, kLine, fits.c_str()).GetMessage()),
              L"'" + fits);
    const std::wstring straddles = std::wstring(2045, L'a') + kWide + L"tail";
    EXPECT_EQ(
        std::wstring(OutOfRangeException(kFunction, kFile, kLine, straddles.c_str()).GetMessage()),
        L"'" + std::wstring(2045, L'a'));

    const std::wstring name(3000, L'n');
    const NotInitializedException notInitialized(kFunction, kFile, kLine, name.c_str());
    EXPECT_EQ(Utf16Length(notInitialized.GetMessage()), kSystemTextBufferUnits - 1);
    const UnexpectedException unexpected(kFunction, kFile, kLine, name.c_str());
    EXPECT_EQ(Utf16Length(unexpected.GetMessage()), kMessageBufferUnits - 1);
}

}  // namespace
}  // namespace pullbay::core
