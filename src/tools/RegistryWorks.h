#pragma once
// Reads and writes one value of the per-user registry with checked sizes and
// types; failures are thrown as core exceptions. Static; any thread may call
// it (concurrent writers of one value: the last one wins).
//
// The root, subkey path and value name come from the caller. A missing root
// (std::nullopt), subkey or name (null) makes an operation do nothing and
// report nothing; an empty name is the key's default value.
#include <cstdint>
#include <optional>

#include "platform/registry/RegistryTypes.h"

namespace pullbay::tools {

class RegistryWorks {
public:
    using Root = std::optional<platform::RegistryRoot>;

    RegistryWorks() = delete;

    // The size in bytes of a REG_BINARY value. uintDataSize is set to 0 first,
    // also when the operation does nothing. Throws core::Exception (E_FAIL)
    // "Unable to open registry key." when the key cannot be opened and
    // "Unable to read registry value." when the value is missing or not
    // REG_BINARY.
    static void GetRegDataSize(Root root, const wchar_t* strSubKey, const wchar_t* strName,
                               std::uint32_t& uintDataSize);

    // Copies a REG_BINARY value into pData and returns the number of bytes
    // copied (0 when the operation does nothing). Refuses a null pData
    // (ArgumentNullPointerException "pData") and a size of 0
    // (ArgumentException "uintDataSize"), then fails as GetRegDataSize does;
    // a value larger than uintDataSize is "Unable to read registry value."
    // too, and the buffer is left alone.
    static std::uint32_t ReadRegData(Root root, const wchar_t* strSubKey, const wchar_t* strName,
                                     void* pData, std::uint32_t uintDataSize);

    // Creates the key when needed and writes the value: REG_DWORD stores the
    // little-endian u32 at pData (4 bytes whatever the size; with fewer than
    // 4 bytes given, the missing high bytes are 0); REG_SZ takes pData as a
    // null-terminated const wchar_t* text and stores it as UTF-16LE with its
    // terminator (the size is not used); any other type stores REG_BINARY
    // with uintDataSize bytes. Refuses a null pData and a size of 0 as
    // ReadRegData does; throws core::Exception (E_FAIL) "Unable to open
    // registry key." or "Unable to write registry value.". The write is
    // atomic: on failure the old value stays as it was.
    static void WriteRegData(Root root, const wchar_t* strSubKey, const wchar_t* strName,
                             const void* pData, std::uint32_t uintDataSize, std::uint32_t uintType);
};

}  // namespace pullbay::tools
