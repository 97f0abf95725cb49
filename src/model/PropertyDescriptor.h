#pragma once
// One plain property of the control's scripting surface as PropertyTable
// describes it: name, DISPID, automation type and the get and put that apply
// its rule to the settings record. Immutable; any thread may read it, the get
// and put belong to the GUI thread like the record.
#include <cstdint>

#include "core/HResult.h"
#include "model/TextProperty.h"
#include "platform/com/DispatchResults.h"
#include "platform/com/Variant.h"

namespace pullbay::model {

class PropertyHolder;

struct PropertyDescriptor {
    using GetFunction = HRESULT (*)(const PropertyDescriptor&, const PropertyHolder&,
                                    com::Variant&);
    using PutFunction = HRESULT (*)(const PropertyDescriptor&, PropertyHolder&,
                                    const com::Variant&);

    // Length rule of a text property (see ApplyTextRule).
    struct TextRule {
        std::uint32_t uintMinLength = 0;
        std::uint32_t uintLengthLimit = 0;  // this length or more gives the fallback
        const wchar_t* strInitial = nullptr;
        const wchar_t* strFallback = nullptr;
    };

    // Range rule of a numeric property (see ApplyNumberRule).
    struct NumberRule {
        std::int64_t intMinimum = 0;
        std::int64_t intMaximum = 0;
        std::int64_t intFallback = 0;
        bool bClampLow = false;
        bool bClampHigh = false;
    };

    const wchar_t* strName = nullptr;
    com::DISPID dispid = 0;
    com::VarType type = com::VarType::Empty;
    bool bReadOnly = false;
    // The control must handle the put itself (FileList, ButtonDownloadText)
    // or holds the value itself (Enabled); see PropertyTable.
    bool bControlHandled = false;
    // Saved and loaded by name in a property bag only, never in a stream:
    // the stream is a fixed sequence of values that builds before this
    // property existed must still read (and write for newer builds).
    bool bBagOnly = false;
    // Set for the text properties that follow the length rule.
    bool bHasTextRule = false;
    TextProperty text = TextProperty::FileExistsDialogTimeLeftText;
    TextRule textRule;
    NumberRule numberRule;       // I4 and UI4 properties
    GetFunction pGet = nullptr;  // nullptr: the control holds the value
    PutFunction pPut = nullptr;  // nullptr: read-only, or the control holds the value

    // The value as a Variant of type. E_NOTIMPL when the control holds it.
    HRESULT Get(const PropertyHolder& holder, com::Variant& value) const;

    // Stores value by the property's rule, after converting it to type as a
    // dispatch call would (a failed conversion returns its code and stores
    // nothing). DISP_E_MEMBERNOTFOUND for a read-only property, E_NOTIMPL
    // when the control holds the value; otherwise the rule's result.
    HRESULT Put(PropertyHolder& holder, const com::Variant& value) const;
};

}  // namespace pullbay::model
