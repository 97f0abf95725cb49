#pragma once
// The host's property bag: the params as texts, which the control's Load
// coerces to each property's type. It remembers the last name the control
// read successfully, so when a put refuses a value and stops the load, the
// host can name the param that was refused, and which params the control
// never took (unknown names, values that do not convert). One thread at a
// time.
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/PropertyBag.h"

namespace pullbay::host {

class NamingPropertyBag : public com::IPropertyBag {
public:
    HRESULT Read(std::wstring_view strName, com::VarType type, com::Variant& out) override;
    HRESULT Write(std::wstring_view strName, const com::Variant& value) override;

    // The name of the last successful Read (empty when none).
    const std::wstring& LastReadName() const { return m_strLastRead; }
    // The params no Read has taken yet, in the order they were written.
    std::vector<std::wstring> UnreadNames() const;

private:
    com::MemoryPropertyBag m_bag;
    std::wstring m_strLastRead;
    std::vector<std::wstring> m_readNames;
};

}  // namespace pullbay::host
