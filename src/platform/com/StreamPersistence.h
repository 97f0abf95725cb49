#pragma once
// The stream form of saved properties: a version word, raw 32-bit words and
// serialised values, little-endian throughout. A value is its 16-bit type,
// then I4/UI4 4 bytes, Bool 2 bytes (kVariantTrue/kVariantFalse), R8 8
// bytes, BStr a 32-bit byte length (0xFFFFFFFF for a null text) and the text
// as UTF-16LE code units. Called by the stream's user on its thread.
#include <cstdint>

#include "core/IStream.h"
#include "platform/com/DispatchResults.h"
#include "platform/com/Variant.h"

namespace pullbay::com {

inline constexpr std::uint32_t kPersistVersion = 0x0A00;

// A stream that ends before the value does.
inline constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
// A stream that takes no more bytes without reporting a failure.
inline constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);

// The longest text read or written, in bytes: far above any property, and
// small enough that a corrupt length never asks for a huge allocation.
inline constexpr std::uint32_t kMaxPersistedTextBytes = 16u * 1024u * 1024u;

HRESULT WriteVersion(core::IStream& stream);
// E_FAIL for a stream written by a newer version (above kPersistVersion).
HRESULT ReadVersion(core::IStream& stream);

HRESULT WriteUInt32(core::IStream& stream, std::uint32_t uintValue);
HRESULT ReadUInt32(core::IStream& stream, std::uint32_t& uintValue);

// E_INVALIDARG for a text longer than kMaxPersistedTextBytes; characters
// that UTF-16 cannot carry are written as U+FFFD.
HRESULT WriteVariant(core::IStream& stream, const Variant& value);
// STG_E_READFAULT when the stream ends early, E_FAIL for an unknown type, an
// odd or too long text length; value is unchanged on failure. Unpaired
// surrogates read as U+FFFD.
HRESULT ReadVariant(core::IStream& stream, Variant& value);

// The bytes WriteVariant writes (for a text: its byte length + 6).
std::uint64_t VariantSizeEstimate(const Variant& value);

}  // namespace pullbay::com
