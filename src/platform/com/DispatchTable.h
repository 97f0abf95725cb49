#pragma once
// The dispatch table of one object type: every scripting member by name,
// DISPID, kind and parameter types, with the handler that runs it. It is also
// the type description a host lists. Built once, then only read (any thread
// may read it); the handlers run on the thread that calls Invoke, which for
// the control is the GUI thread.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ApplicationExceptions.h"
#include "core/TextUnits.h"
#include "core/ThrowSite.h"
#include "platform/com/DispatchResults.h"
#include "platform/com/Variant.h"

namespace pullbay::com {

enum class MemberKind { Method, PropertyGet, PropertyPut };

// Invoke flags; hosts read a property with Method | PropertyGet.
inline constexpr std::uint16_t kDispatchMethod = 1;
inline constexpr std::uint16_t kDispatchPropertyGet = 2;
inline constexpr std::uint16_t kDispatchPropertyPut = 4;

struct ParameterInfo {
    std::wstring strName;
    // Empty: the argument is passed on as given, without coercion.
    VarType type;
};

struct MemberInfo {
    std::wstring strName;
    DISPID dispid;
    MemberKind kind;
    // In declaration order; a put's value is its last parameter.
    std::vector<ParameterInfo> parameters;
    // Empty: no result.
    VarType result;
};

// The failure code for an exception caught at the scripting boundary, to be
// called inside a catch block: E_OUTOFMEMORY for an allocation failure, the
// code of the system's own exceptions, DISP_E_EXCEPTION for anything else.
// The thread's error record keeps the failure (UnexpectedException when it
// holds nothing yet).
HRESULT HResultFromCaughtException();

template <typename Object>
class DispatchTable {
public:
    using Handler =
        std::function<HRESULT(Object&, const std::vector<Variant>& args, Variant& result)>;

    // A member must not clash with the table: the same DISPID and kind twice,
    // one name for two DISPIDs or two names for one DISPID, a put without a
    // value parameter, or no handler throw ArgumentException (a fault of the
    // table, found when it is built).
    DispatchTable& Add(MemberInfo member, Handler handler)
    {
        if (!handler) {
            PB_THROW(core::ArgumentNullPointerException, L"handler");
        }
        if (member.kind == MemberKind::PropertyPut && member.parameters.empty()) {
            PB_THROW(core::ArgumentException, L"member", L"A put takes its value as a parameter.");
        }
        for (const MemberInfo& existing : m_members) {
            const bool bSameId = existing.dispid == member.dispid;
            const bool bSameName = core::EqualsIgnoreAsciiCase(existing.strName, member.strName);
            if (bSameId != bSameName || (bSameId && existing.kind == member.kind)) {
                PB_THROW(core::ArgumentException, L"member", member.strName.c_str());
            }
        }
        m_members.push_back(std::move(member));
        m_handlers.push_back(std::move(handler));
        return *this;
    }

    // The DISPID of a member name, compared ASCII case-insensitively.
    HRESULT GetIDsOfNames(std::wstring_view strName, DISPID& dispid) const
    {
        for (const MemberInfo& member : m_members) {
            if (core::EqualsIgnoreAsciiCase(member.strName, strName)) {
                dispid = member.dispid;
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }

    // Runs the member of that DISPID whose kind the flags allow, with the
    // arguments in declaration order coerced to the declared types; the
    // result is coerced to the declared result type. DISP_E_MEMBERNOTFOUND,
    // DISP_E_BADPARAMCOUNT, or the coercion's DISP_E_TYPEMISMATCH /
    // DISP_E_OVERFLOW refuse the call before the handler runs; otherwise the
    // handler's HRESULT is returned (S_FALSE included). *pResult, when given,
    // is Empty unless the call succeeds and the handler wrote a result.
    HRESULT Invoke(Object& object, DISPID dispid, std::uint16_t uintFlags,
                   std::vector<Variant> args, Variant* pResult) const
    {
        if (pResult != nullptr) {
            *pResult = Variant();
        }
        const std::size_t uintIndex = Find(dispid, uintFlags);
        if (uintIndex == m_members.size()) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const MemberInfo& member = m_members[uintIndex];
        if (args.size() != member.parameters.size()) {
            return DISP_E_BADPARAMCOUNT;
        }
        for (std::size_t i = 0; i < args.size(); ++i) {
            const VarType type = member.parameters[i].type;
            if (type == VarType::Empty) {
                continue;
            }
            Variant converted;
            const HRESULT hr = args[i].ChangeType(type, converted);
            if (Failed(hr)) {
                return hr;
            }
            args[i] = std::move(converted);
        }

        Variant result;
        HRESULT hr = S_OK;
        try {
            hr = m_handlers[uintIndex](object, args, result);
        } catch (...) {
            return HResultFromCaughtException();
        }
        // A handler may leave its result unwritten (an add that found a
        // duplicate): the caller then gets Empty, not a coerced 0.
        if (Failed(hr) || pResult == nullptr || member.result == VarType::Empty ||
            result.IsEmpty()) {
            return hr;
        }
        Variant converted;
        const HRESULT hrResult = result.ChangeType(member.result, converted);
        if (Failed(hrResult)) {
            return hrResult;
        }
        *pResult = std::move(converted);
        return hr;
    }

    const std::vector<MemberInfo>& Members() const { return m_members; }

private:
    static bool KindFits(MemberKind kind, std::uint16_t uintFlags)
    {
        switch (kind) {
        case MemberKind::Method:
            return (uintFlags & kDispatchMethod) != 0;
        case MemberKind::PropertyGet:
            return (uintFlags & kDispatchPropertyGet) != 0;
        case MemberKind::PropertyPut:
            return (uintFlags & kDispatchPropertyPut) != 0;
        }
        return false;
    }

    // The index of the member, or m_members.size() when none fits.
    std::size_t Find(DISPID dispid, std::uint16_t uintFlags) const
    {
        for (std::size_t i = 0; i < m_members.size(); ++i) {
            if (m_members[i].dispid == dispid && KindFits(m_members[i].kind, uintFlags)) {
                return i;
            }
        }
        return m_members.size();
    }

    std::vector<MemberInfo> m_members;
    std::vector<Handler> m_handlers;
};

}  // namespace pullbay::com
