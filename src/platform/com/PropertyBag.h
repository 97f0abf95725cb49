#pragma once
// Named property values, as the page's parameters hand them to the control
// and as the control saves its properties. MemoryPropertyBag keeps them in
// memory (the host fills it from "--param" or a page's param elements). A bag
// is used by one thread at a time.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/DispatchResults.h"
#include "platform/com/Variant.h"

namespace pullbay::com {

class IPropertyBag {
public:
    virtual ~IPropertyBag() = default;

    // The value of that name converted to type (Empty: as stored).
    // E_INVALIDARG when the bag has no such name; the ChangeType failure when
    // the value cannot be converted. out is unchanged on failure.
    virtual HRESULT Read(std::wstring_view strName, VarType type, Variant& out) = 0;
    virtual HRESULT Write(std::wstring_view strName, const Variant& value) = 0;
};

class MemoryPropertyBag : public IPropertyBag {
public:
    // Names compare ASCII case-insensitively.
    HRESULT Read(std::wstring_view strName, VarType type, Variant& out) override;
    // A new name goes at the end; an existing one keeps its place and its
    // first spelling and gets the new value.
    HRESULT Write(std::wstring_view strName, const Variant& value) override;

    // The names in the order they were first written.
    std::vector<std::wstring> Names() const;

private:
    using Entries = std::vector<std::pair<std::wstring, Variant>>;

    Entries::iterator Find(std::wstring_view strName);

    Entries m_entries;
};

}  // namespace pullbay::com
