// The control's persistence: its extent and properties in a property bag
// or a stream. The stream holds the properties of the table in its order,
// except the bag-only ones: its layout is that of every earlier build, so
// that older and newer builds read each other's streams.
#include "control/Pullbay.h"
#include "model/PropertyTable.h"
#include "platform/com/StreamPersistence.h"

namespace pullbay::control {

using com::VarType;
using com::Variant;

namespace {

constexpr const wchar_t* kExtentCxName = L"_cx";
constexpr const wchar_t* kExtentCyName = L"_cy";

}  // namespace

void Pullbay::SetExtent(std::uint32_t uintCx, std::uint32_t uintCy)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_uintExtentCx = uintCx;
    m_uintExtentCy = uintCy;
}

HRESULT Pullbay::Load(com::IPropertyBag& bag)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    Variant value;
    if (Succeeded(bag.Read(kExtentCxName, VarType::UI4, value))) {
        m_uintExtentCx = value.UI4();
    }
    if (Succeeded(bag.Read(kExtentCyName, VarType::UI4, value))) {
        m_uintExtentCy = value.UI4();
    }
    for (const model::PropertyDescriptor& property : model::PropertyTable::Entries()) {
        if (Failed(bag.Read(property.strName, property.type, value))) {
            continue;  // absent or not convertible: the property keeps its value
        }
        // Through the dispatch put, so every rule applies; a read-only
        // property (Version) has none and stops the load.
        const HRESULT hr = Invoke(property.dispid, com::kDispatchPropertyPut, {value}, nullptr);
        if (Failed(hr)) {
            return hr;
        }
    }
    m_bDirty = false;
    return S_OK;
}

HRESULT Pullbay::Save(com::IPropertyBag& bag) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    HRESULT hr = bag.Write(kExtentCxName, Variant::FromUI4(m_uintExtentCx));
    if (Succeeded(hr)) {
        hr = bag.Write(kExtentCyName, Variant::FromUI4(m_uintExtentCy));
    }
    for (const model::PropertyDescriptor& property : model::PropertyTable::Entries()) {
        Variant value;
        if (Succeeded(hr)) {
            hr = GetProperty(property.dispid, value);
        }
        if (Succeeded(hr)) {
            hr = bag.Write(property.strName, value);
        }
    }
    return hr;
}

HRESULT Pullbay::Save(core::IStream& stream) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    HRESULT hr = com::WriteVersion(stream);
    if (Succeeded(hr)) {
        hr = com::WriteUInt32(stream, m_uintExtentCx);
    }
    if (Succeeded(hr)) {
        hr = com::WriteUInt32(stream, m_uintExtentCy);
    }
    for (const model::PropertyDescriptor& property : model::PropertyTable::Entries()) {
        if (property.bBagOnly) {
            continue;
        }
        Variant value;
        if (Succeeded(hr)) {
            hr = GetProperty(property.dispid, value);
        }
        if (Succeeded(hr)) {
            hr = com::WriteVariant(stream, value);
        }
    }
    return hr;
}

HRESULT Pullbay::Load(core::IStream& stream)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    HRESULT hr = com::ReadVersion(stream);
    std::uint32_t uintCx = 0;
    std::uint32_t uintCy = 0;
    if (Succeeded(hr)) {
        hr = com::ReadUInt32(stream, uintCx);
    }
    if (Succeeded(hr)) {
        hr = com::ReadUInt32(stream, uintCy);
    }
    if (Failed(hr)) {
        return hr;
    }
    SetExtent(uintCx, uintCy);
    for (const model::PropertyDescriptor& property : model::PropertyTable::Entries()) {
        // Not in the stream: such a property keeps its value.
        if (property.bBagOnly) {
            continue;
        }
        Variant value;
        hr = com::ReadVariant(stream, value);
        if (Failed(hr)) {
            return hr;
        }
        // A saved stream holds the read-only Version too: it is read past,
        // so a stream that this control wrote always loads again.
        if (property.bReadOnly) {
            continue;
        }
        hr = Invoke(property.dispid, com::kDispatchPropertyPut, {value}, nullptr);
        if (Failed(hr)) {
            return hr;
        }
    }
    m_bDirty = false;
    return S_OK;
}

HRESULT Pullbay::GetSizeMax(std::uint64_t* pSize) const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (pSize == nullptr) {
        return E_POINTER;
    }
    std::uint64_t uintSize = 4 + 4 + 4;  // version word and the extent
    for (const model::PropertyDescriptor& property : model::PropertyTable::Entries()) {
        Variant value;
        if (!property.bBagOnly && Succeeded(GetProperty(property.dispid, value))) {
            uintSize += com::VariantSizeEstimate(value);
        }
    }
    *pSize = uintSize;
    return S_OK;
}

}  // namespace pullbay::control
