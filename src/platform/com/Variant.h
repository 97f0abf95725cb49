#pragma once
// The value of a scripting argument, result, event argument or persisted
// property: one of the few types the control's surface uses, and the
// coercions between them that a dispatch call applies. A value type: any
// thread.
#include <cstdint>
#include <utility>
#include <variant>

#include "platform/com/DispatchResults.h"
#include "platform/com/NullableString.h"

namespace pullbay::com {

// The values are the platform's type tags; they are also what the stream
// persistence writes.
enum class VarType : std::uint16_t { Empty = 0, I4 = 3, R8 = 5, BStr = 8, Bool = 11, UI4 = 19 };

// A boolean as the platform writes it: true is all bits set.
inline constexpr std::int16_t kVariantTrue = -1;
inline constexpr std::int16_t kVariantFalse = 0;

class Variant {
public:
    // Empty.
    Variant() = default;

    static Variant FromI4(std::int32_t intValue) { return Variant(intValue); }
    static Variant FromUI4(std::uint32_t uintValue) { return Variant(uintValue); }
    static Variant FromR8(double dblValue) { return Variant(dblValue); }
    static Variant FromBool(bool bValue) { return Variant(bValue); }
    static Variant FromString(NullableString strValue) { return Variant(std::move(strValue)); }

    VarType Type() const;
    bool IsEmpty() const { return Type() == VarType::Empty; }

    // The value when the variant holds that type; otherwise 0, false or a
    // null text (use ChangeType to convert).
    std::int32_t I4() const;
    std::uint32_t UI4() const;
    double R8() const;
    bool Bool() const;
    const NullableString& String() const;

    // Converts to target as a dispatch call coerces an argument:
    // - numbers to numbers; an integer target rounds half to even and
    //   DISP_E_OVERFLOW when out of range (NaN and infinities too);
    // - number to text: decimal, the C locale's, shortest round trip for R8;
    // - text to number: decimal text (sign, fraction, exponent) with optional
    //   blanks around; anything else DISP_E_TYPEMISMATCH, too big
    //   DISP_E_OVERFLOW; a number too small for R8 becomes 0;
    // - Bool to number: true is -1 (I4, R8) and 0xFFFFFFFF, the same bits,
    //   for UI4, so it converts back to true; false is 0;
    // - number to Bool: non-zero is true;
    // - text to Bool: "true" or "false" in any ASCII case, or a number;
    //   Bool to text: "True" or "False";
    // - Empty gives 0, false or an empty (non-null) text; anything converts
    //   to Empty;
    // - a null text converts as an empty one (so not to a number or Bool);
    //   to the same type the value is copied as it is.
    // out is left unchanged on failure.
    HRESULT ChangeType(VarType target, Variant& out) const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    using Value =
        std::variant<std::monostate, std::int32_t, std::uint32_t, double, bool, NullableString>;

    template <typename T>
    explicit Variant(T value) : m_value(std::in_place_type<T>, std::move(value))
    {
    }

    Value m_value;
};

}  // namespace pullbay::com
