#pragma once
// The standard object interfaces the control offers to its host, reduced to
// what the hosts here use. Each carries the identifier of the original
// platform's interface of the same name.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/IStream.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/IDispatchSink.h"
#include "platform/com/IUnknown.h"
#include "platform/com/PropertyBag.h"
#include "platform/com/Variant.h"

namespace pullbay::com {

// Creates objects of one class; LockServer keeps the module loaded.
class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* pOuter, const Guid& iid, void** ppv) = 0;
    virtual HRESULT LockServer(bool bLock) = 0;

protected:
    ~IClassFactory() = default;
};

// Late binding: members by name and DISPID, and their description.
class IDispatch : public IUnknown {
public:
    virtual HRESULT GetIDsOfNames(std::wstring_view strName, DISPID& dispid) = 0;
    virtual HRESULT Invoke(DISPID dispid, std::uint16_t uintFlags, std::vector<Variant> args,
                           Variant* pResult) = 0;
    virtual const std::vector<MemberInfo>& GetTypeInfo() const = 0;

protected:
    ~IDispatch() = default;
};

// The outgoing interfaces of an object: one connection point per event
// interface, reached by its identifier.
class IConnectionPointContainer : public IUnknown {
public:
    virtual HRESULT Advise(const Guid& iidEvents, std::shared_ptr<IDispatchSink> pSink,
                           std::uint32_t& uintCookie) = 0;
    virtual HRESULT Unadvise(const Guid& iidEvents, std::uint32_t uintCookie) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

inline constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
inline constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

// Whether an interface is safe for untrusted callers and data.
class IObjectSafety : public IUnknown {
public:
    virtual HRESULT GetInterfaceSafetyOptions(const Guid& iid, std::uint32_t* pSupported,
                                              std::uint32_t* pEnabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(const Guid& iid, std::uint32_t uintMask,
                                              std::uint32_t uintOptions) = 0;

protected:
    ~IObjectSafety() = default;
};

// The container hands the object its site and may ask for it back.
class IObjectWithSite : public IUnknown {
public:
    virtual HRESULT SetSite(IUnknown* pSite) = 0;
    virtual HRESULT GetSite(const Guid& iid, void** ppv) = 0;

protected:
    ~IObjectWithSite() = default;
};

// Properties from and to a property bag (a page's parameters).
class IPersistPropertyBag : public IUnknown {
public:
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* pBag) = 0;
    virtual HRESULT Save(IPropertyBag* pBag, bool bClearDirty, bool bSaveAll) = 0;

protected:
    ~IPersistPropertyBag() = default;
};

// Properties from and to a stream.
class IPersistStreamInit : public IUnknown {
public:
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(core::IStream* pStream) = 0;
    virtual HRESULT Save(core::IStream* pStream, bool bClearDirty) = 0;
    virtual HRESULT GetSizeMax(std::uint64_t* pSize) = 0;
    virtual HRESULT InitNew() = 0;

protected:
    ~IPersistStreamInit() = default;
};

// {00000001-0000-0000-C000-000000000046}
inline constexpr Guid IID_IClassFactory =
    Guid::FromParts(0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46});
// {00020400-0000-0000-C000-000000000046}
inline constexpr Guid IID_IDispatch =
    Guid::FromParts(0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46});
// {B196B284-BAB4-101A-B69C-00AA00341D07}
inline constexpr Guid IID_IConnectionPointContainer =
    Guid::FromParts(0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07});
// {CB5BDC81-93C1-11CF-8F20-00805F2CD064}
inline constexpr Guid IID_IObjectSafety =
    Guid::FromParts(0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64});
// {FC4801A3-2BA9-11CF-A229-00AA003D7352}
inline constexpr Guid IID_IObjectWithSite =
    Guid::FromParts(0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52});
// {37D84F60-42CB-11CE-8135-00AA004BB851}
inline constexpr Guid IID_IPersistPropertyBag =
    Guid::FromParts(0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51});
// {7FD52380-4E07-101B-AE2D-08002B2EC713}
inline constexpr Guid IID_IPersistStreamInit =
    Guid::FromParts(0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13});

inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

}  // namespace pullbay::com
