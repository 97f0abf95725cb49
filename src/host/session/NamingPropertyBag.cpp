#include "host/session/NamingPropertyBag.h"

#include "core/TextUnits.h"

namespace pullbay::host {

HRESULT NamingPropertyBag::Read(std::wstring_view strName, com::VarType type, com::Variant& out)
{
    const HRESULT hr = m_bag.Read(strName, type, out);
    if (Succeeded(hr)) {
        // The spelling the user wrote, not the property's own.
        m_strLastRead = std::wstring(strName);
        for (const std::wstring& strStored : m_bag.Names()) {
            if (core::EqualsIgnoreAsciiCase(strStored, strName)) {
                m_strLastRead = strStored;
            }
        }
        m_readNames.push_back(m_strLastRead);
    }
    return hr;
}

std::vector<std::wstring> NamingPropertyBag::UnreadNames() const
{
    std::vector<std::wstring> unread;
    for (const std::wstring& strName : m_bag.Names()) {
        bool bRead = false;
        for (const std::wstring& strRead : m_readNames) {
            bRead = bRead || core::EqualsIgnoreAsciiCase(strRead, strName);
        }
        if (!bRead) {
            unread.push_back(strName);
        }
    }
    return unread;
}

HRESULT NamingPropertyBag::Write(std::wstring_view strName, const com::Variant& value)
{
    return m_bag.Write(strName, value);
}

}  // namespace pullbay::host
