#pragma once
// The root of the object interfaces that cross the module boundary: a host
// and the control's module exchange only interface pointers, reference
// counts and HRESULTs (never C++ exceptions). Identity and lifetime as on
// the original platform: QueryInterface hands out another interface of the
// same object with a reference added; Release of the last reference
// destroys the object. Which thread may call an object's interfaces is the
// object's own rule (the control: its GUI thread).
#include <cstdint>

#include "core/HResult.h"
#include "platform/com/Guid.h"

namespace pullbay::com {

class IUnknown {
public:
    virtual HRESULT QueryInterface(const Guid& iid, void** ppv) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    // Objects are destroyed through Release, never through an interface.
    ~IUnknown() = default;
};

// {00000000-0000-0000-C000-000000000046}
inline constexpr Guid IID_IUnknown =
    Guid::FromParts(0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46});

// Holds one reference to an interface and releases it when it goes.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns (as QueryInterface and
    // CreateInstance hand them out).
    static ComPtr Attach(Interface* pInterface)
    {
        ComPtr pointer;
        pointer.m_pInterface = pInterface;
        return pointer;
    }
    ComPtr(const ComPtr& other) : m_pInterface(other.m_pInterface)
    {
        if (m_pInterface != nullptr) {
            m_pInterface->AddRef();
        }
    }
    ComPtr(ComPtr&& other) noexcept : m_pInterface(other.m_pInterface)
    {
        other.m_pInterface = nullptr;
    }
    ComPtr& operator=(ComPtr other) noexcept
    {
        Interface* pOld = m_pInterface;
        m_pInterface = other.m_pInterface;
        other.m_pInterface = pOld;
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset()
    {
        if (m_pInterface != nullptr) {
            m_pInterface->Release();
            m_pInterface = nullptr;
        }
    }
    Interface* Get() const { return m_pInterface; }
    Interface* operator->() const { return m_pInterface; }
    explicit operator bool() const { return m_pInterface != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    void** PutVoid()
    {
        Reset();
        return reinterpret_cast<void**>(&m_pInterface);
    }

    // Another interface of the same object, or an empty pointer.
    template <typename Other>
    ComPtr<Other> As(const Guid& iid) const
    {
        ComPtr<Other> other;
        if (m_pInterface != nullptr) {
            m_pInterface->QueryInterface(iid, other.PutVoid());
        }
        return other;
    }

private:
    Interface* m_pInterface = nullptr;
};

}  // namespace pullbay::com
