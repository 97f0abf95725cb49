#include "tools/RegistryWorks.h"

#include <cstring>
#include <vector>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"
#include "platform/registry/RegistryData.h"
#include "platform/registry/RegistryKey.h"

namespace pullbay::tools {

namespace {

constexpr const wchar_t* kOpenKeyFailed = L"Unable to open registry key.";
constexpr const wchar_t* kReadValueFailed = L"Unable to read registry value.";
constexpr const wchar_t* kWriteValueFailed = L"Unable to write registry value.";

bool HasTarget(const RegistryWorks::Root& root, const wchar_t* strSubKey, const wchar_t* strName)
{
    return root.has_value() && strSubKey != nullptr && strName != nullptr;
}

// The bytes of a REG_BINARY value, or false when there is none.
bool QueryBinaryValue(const platform::RegistryKey& key, const wchar_t* strName,
                      std::vector<std::uint8_t>& data)
{
    std::uint32_t uintType = platform::REG_NONE;
    return Succeeded(key.QueryValue(strName, uintType, data)) && uintType == platform::REG_BINARY;
}

}  // namespace

void RegistryWorks::GetRegDataSize(Root root, const wchar_t* strSubKey, const wchar_t* strName,
                                   std::uint32_t& uintDataSize)
{
    uintDataSize = 0;
    if (!HasTarget(root, strSubKey, strName)) {
        return;
    }
    platform::RegistryKey key;
    if (Failed(key.Open(*root, strSubKey))) {
        PB_THROW(core::Exception, E_FAIL, kOpenKeyFailed);
    }
    std::vector<std::uint8_t> data;
    if (!QueryBinaryValue(key, strName, data)) {
        PB_THROW(core::Exception, E_FAIL, kReadValueFailed);
    }
    uintDataSize = static_cast<std::uint32_t>(data.size());
}

std::uint32_t RegistryWorks::ReadRegData(Root root, const wchar_t* strSubKey,
                                         const wchar_t* strName, void* pData,
                                         std::uint32_t uintDataSize)
{
    if (!HasTarget(root, strSubKey, strName)) {
        return 0;
    }
    if (pData == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pData");
    }
    if (uintDataSize == 0) {
        PB_THROW(core::ArgumentException, L"uintDataSize",
                 L"The size of data to read must be greater than 0.");
    }
    platform::RegistryKey key;
    if (Failed(key.Open(*root, strSubKey))) {
        PB_THROW(core::Exception, E_FAIL, kOpenKeyFailed);
    }
    std::vector<std::uint8_t> data;
    if (!QueryBinaryValue(key, strName, data) || data.size() > uintDataSize) {
        PB_THROW(core::Exception, E_FAIL, kReadValueFailed);
    }
    if (!data.empty()) {
        std::memcpy(pData, data.data(), data.size());
    }
    return static_cast<std::uint32_t>(data.size());
}

void RegistryWorks::WriteRegData(Root root, const wchar_t* strSubKey, const wchar_t* strName,
                                 const void* pData, std::uint32_t uintDataSize,
                                 std::uint32_t uintType)
{
    if (!HasTarget(root, strSubKey, strName)) {
        return;
    }
    if (pData == nullptr) {
        PB_THROW(core::ArgumentNullPointerException, L"pData");
    }
    if (uintDataSize == 0) {
        PB_THROW(core::ArgumentException, L"uintDataSize");
    }
    platform::RegistryKey key;
    if (Failed(key.Create(*root, strSubKey))) {
        PB_THROW(core::Exception, E_FAIL, kOpenKeyFailed);
    }
    HRESULT hr = S_OK;
    if (uintType == platform::REG_DWORD) {
        // Never read past what the caller handed over.
        std::uint8_t bytes[4] = {};
        std::memcpy(bytes, pData, uintDataSize < 4 ? uintDataSize : 4);
        hr = key.SetValue(strName, platform::REG_DWORD, bytes);
    } else if (uintType == platform::REG_SZ) {
        hr = key.SetStringValue(strName, static_cast<const wchar_t*>(pData));
    } else {
        hr = key.SetValue(strName, platform::REG_BINARY,
                          {static_cast<const std::uint8_t*>(pData), uintDataSize});
    }
    if (Failed(hr)) {
        PB_THROW(core::Exception, E_FAIL, kWriteValueFailed);
    }
}

}  // namespace pullbay::tools
