// Calls by name and DISPID through a dispatch table: member lookup, argument
// checks and coercion, results, and failures of the handlers.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ApplicationExceptions.h"
#include "core/ExceptionManager.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/IDispatchObject.h"

namespace pullbay::com {
namespace {

enum : DISPID { kAdd = 1, kName = 2, kCount = 3, kBusy = 4, kEcho = 5, kFail = 6 };
constexpr std::uint16_t kMethodOrGet = kDispatchMethod | kDispatchPropertyGet;

class Calculator : public IDispatchObject {
public:
    std::wstring strName = L"calc";
    int intCalls = 0;
    // What kFail throws.
    int intFailure = 0;

    HRESULT GetIDsOfNames(std::wstring_view strMember, DISPID& dispid) override
    {
        return Table().GetIDsOfNames(strMember, dispid);
    }
    HRESULT Invoke(DISPID dispid, std::uint16_t uintFlags, std::vector<Variant> args,
                   Variant* pResult) override
    {
        return Table().Invoke(*this, dispid, uintFlags, std::move(args), pResult);
    }
    const std::vector<MemberInfo>& Describe() const override { return Table().Members(); }

    static const DispatchTable<Calculator>& Table()
    {
        using Args = const std::vector<Variant>&;
        static const DispatchTable<Calculator> table = [] {
            DispatchTable<Calculator> built;
            const std::vector<ParameterInfo> addends = {{L"a", VarType::I4}, {L"b", VarType::I4}};
            built.Add({L"Add", kAdd, MemberKind::Method, addends, VarType::I4},
                      [](Calculator& self, Args args, Variant& result) {
                          ++self.intCalls;
                          result = Variant::FromI4(args[0].I4() + args[1].I4());
                          return S_OK;
                      });
            built.Add({L"Name", kName, MemberKind::PropertyGet, {}, VarType::BStr},
                      [](Calculator& self, Args, Variant& result) {
                          result = Variant::FromString(self.strName);
                          return S_OK;
                      });
            const std::vector<ParameterInfo> text = {{L"value", VarType::BStr}};
            built.Add({L"Name", kName, MemberKind::PropertyPut, text, VarType::Empty},
                      [](Calculator& self, Args args, Variant&) {
                          self.strName = args[0].String().Value();
                          return S_OK;
                      });
            // The handler answers in text; the caller gets the declared type.
            built.Add({L"Count", kCount, MemberKind::PropertyGet, {}, VarType::I4},
                      [](Calculator&, Args, Variant& result) {
                          result = Variant::FromString(std::wstring(L"12"));
                          return S_OK;
                      });
            built.Add({L"Busy", kBusy, MemberKind::Method, {}, VarType::Empty},
                      [](Calculator&, Args, Variant&) { return S_FALSE; });
            built.Add(
                {L"Echo", kEcho, MemberKind::Method, {{L"any", VarType::Empty}}, VarType::Empty},
                [](Calculator& self, Args args, Variant&) {
                    self.strName = args[0].Type() == VarType::R8 ? L"R8" : L"other";
                    return S_OK;
                });
            built.Add({L"Fail", kFail, MemberKind::Method, {}, VarType::Empty},
                      [](Calculator& self, Args, Variant&) -> HRESULT {
                          if (self.intFailure == 1) {
                              throw std::bad_alloc();
                          }
                          if (self.intFailure == 2) {
                              PB_THROW(core::ArgumentOutOfRangeException, L"intIndex");
                          }
                          throw std::runtime_error("foreign");
                      });
            return built;
        }();
        return table;
    }
};

TEST(DispatchTableTest, NamesResolveIgnoringAsciiCase)
{
    Calculator calculator;
    const std::pair<std::wstring, DISPID> known[] = {
        {L"Add", kAdd}, {L"ADD", kAdd}, {L"name", kName}, {L"cOuNt", kCount}};
    for (const auto& [strName, expected] : known) {
        DISPID dispid = -1;
        EXPECT_EQ(calculator.GetIDsOfNames(strName, dispid), S_OK) << core::ToUtf8(strName);
        EXPECT_EQ(dispid, expected) << core::ToUtf8(strName);
    }
    for (const wchar_t* strName : {L"Subtract", L"Add ", L"", L"Nam"}) {
        DISPID dispid = -1;
        EXPECT_EQ(calculator.GetIDsOfNames(strName, dispid), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(dispid, -1);
    }
    ASSERT_EQ(calculator.Describe().size(), 7u);
    EXPECT_EQ(calculator.Describe()[2].kind, MemberKind::PropertyPut);
}

TEST(DispatchTableTest, InvokeChecksKindCountAndTypesBeforeTheHandler)
{
    struct Row {
        const char* strCase;
        DISPID dispid;
        std::uint16_t uintFlags;
        std::vector<Variant> args;
        HRESULT hr;
        Variant result;
        int intCalls;
    };
    const Variant two = Variant::FromI4(2);
    const Variant three = Variant::FromI4(3);
    const Row table[] = {
        {"method", kAdd, kDispatchMethod, {two, three}, S_OK, Variant::FromI4(5), 1},
        {"method as hosts call it", kAdd, kMethodOrGet, {two, three}, S_OK, Variant::FromI4(5), 1},
        {"arguments coerced",
         kAdd,
         kDispatchMethod,
         {Variant::FromString(L" 40"), Variant::FromR8(1.5)},
         S_OK,
         Variant::FromI4(42),
         1},
        {"method read as property",
         kAdd,
         kDispatchPropertyGet,
         {two, three},
         DISP_E_MEMBERNOTFOUND,
         {},
         0},
        {"too few arguments", kAdd, kDispatchMethod, {two}, DISP_E_BADPARAMCOUNT, {}, 0},
        {"too many arguments",
         kAdd,
         kDispatchMethod,
         {two, three, three},
         DISP_E_BADPARAMCOUNT,
         {},
         0},
        {"text that is no number",
         kAdd,
         kDispatchMethod,
         {two, Variant::FromString(L"x")},
         DISP_E_TYPEMISMATCH,
         {},
         0},
        {"number out of range",
         kAdd,
         kDispatchMethod,
         {Variant::FromR8(1e10), two},
         DISP_E_OVERFLOW,
         {},
         0},
        {"unknown DISPID", 99, kMethodOrGet, {}, DISP_E_MEMBERNOTFOUND, {}, 0},
        {"property get", kName, kMethodOrGet, {}, S_OK, Variant::FromString(L"calc"), 0},
        {"get-only property put",
         kCount,
         kDispatchPropertyPut,
         {two},
         DISP_E_MEMBERNOTFOUND,
         {},
         0},
        {"result coerced to declared type",
         kCount,
         kDispatchPropertyGet,
         {},
         S_OK,
         Variant::FromI4(12),
         0},
        {"handler's success code kept", kBusy, kDispatchMethod, {}, S_FALSE, {}, 0},
    };
    for (const Row& row : table) {
        Calculator calculator;
        Variant result = Variant::FromString(L"stale");
        EXPECT_EQ(calculator.Invoke(row.dispid, row.uintFlags, row.args, &result), row.hr)
            << row.strCase;
        EXPECT_EQ(result, row.result) << row.strCase;
        EXPECT_EQ(calculator.intCalls, row.intCalls) << row.strCase;
    }
}

TEST(DispatchTableTest, PutCoercesTheValueAndUntypedParametersPassAsGiven)
{
    Calculator calculator;
    EXPECT_EQ(calculator.Invoke(kName, kDispatchPropertyPut, {Variant::FromI4(-5)}, nullptr), S_OK);
    EXPECT_EQ(calculator.strName, L"-5");
    Variant result;
    EXPECT_EQ(InvokeByName(calculator, L"NAME", kMethodOrGet, {}, &result), S_OK);
    EXPECT_EQ(result, Variant::FromString(L"-5"));
    EXPECT_EQ(InvokeByName(calculator, L"Nope", kMethodOrGet, {}, &result), DISP_E_UNKNOWNNAME);
    EXPECT_TRUE(result.IsEmpty());

    EXPECT_EQ(calculator.Invoke(kEcho, kDispatchMethod, {Variant::FromR8(0.5)}, nullptr), S_OK);
    EXPECT_EQ(calculator.strName, L"R8");
}

TEST(DispatchTableTest, HandlerExceptionsBecomeFailureCodesAndAreRecorded)
{
    const struct {
        int intFailure;
        HRESULT hr;
    } table[] = {{1, E_OUTOFMEMORY}, {2, E_INVALIDARG}, {3, DISP_E_EXCEPTION}};
    for (const auto& row : table) {
        core::ClearRecordedFailure();
        Calculator calculator;
        calculator.intFailure = row.intFailure;
        Variant result = Variant::FromI4(1);
        EXPECT_EQ(calculator.Invoke(kFail, kDispatchMethod, {}, &result), row.hr) << row.intFailure;
        EXPECT_TRUE(result.IsEmpty());
        EXPECT_NE(core::ExceptionManager::GetException(core::CurrentThreadId()), nullptr)
            << row.intFailure;
    }
    core::ClearRecordedFailure();
}

TEST(DispatchTableTest, ClashingMembersAreRefusedWhenTheTableIsBuilt)
{
    const auto ok = [](Calculator&, const std::vector<Variant>&, Variant&) { return S_OK; };
    const MemberInfo clashes[] = {
        {L"Other", kAdd, MemberKind::PropertyGet, {}, VarType::I4},
        {L"add", 9, MemberKind::Method, {}, VarType::Empty},
        {L"Add", kAdd, MemberKind::Method, {}, VarType::Empty},
        {L"Put", 10, MemberKind::PropertyPut, {}, VarType::Empty},
    };
    for (const MemberInfo& member : clashes) {
        DispatchTable<Calculator> table;
        table.Add({L"Add", kAdd, MemberKind::Method, {}, VarType::Empty}, ok);
        EXPECT_THROW(table.Add(member, ok), core::ArgumentException)
            << core::ToUtf8(member.strName);
        EXPECT_EQ(table.Members().size(), 1u);
    }
    DispatchTable<Calculator> table;
    EXPECT_THROW(table.Add({L"Add", kAdd, MemberKind::Method, {}, VarType::Empty}, nullptr),
                 core::ArgumentNullPointerException);
    core::ClearRecordedFailure();
}

}  // namespace
}  // namespace pullbay::com
