#include "platform/com/PropertyBag.h"

#include <algorithm>

#include "core/TextUnits.h"

namespace pullbay::com {

HRESULT MemoryPropertyBag::Read(std::wstring_view strName, VarType type, Variant& out)
{
    const auto found = Find(strName);
    if (found == m_entries.end()) {
        return E_INVALIDARG;
    }
    if (type == VarType::Empty) {
        out = found->second;
        return S_OK;
    }
    return found->second.ChangeType(type, out);
}

HRESULT MemoryPropertyBag::Write(std::wstring_view strName, const Variant& value)
{
    const auto found = Find(strName);
    if (found != m_entries.end()) {
        found->second = value;
    } else {
        m_entries.emplace_back(std::wstring(strName), value);
    }
    return S_OK;
}

MemoryPropertyBag::Entries::iterator MemoryPropertyBag::Find(std::wstring_view strName)
{
    return std::find_if(m_entries.begin(), m_entries.end(), [strName](const auto& entry) {
        return core::EqualsIgnoreAsciiCase(entry.first, strName);
    });
}

std::vector<std::wstring> MemoryPropertyBag::Names() const
{
    std::vector<std::wstring> names;
    names.reserve(m_entries.size());
    for (const auto& entry : m_entries) {
        names.push_back(entry.first);
    }
    return names;
}

}  // namespace pullbay::com
