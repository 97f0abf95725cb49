// A stand-in for the browser library with the three Protected Mode functions,
// loaded by the platform tests through dlopen. Built twice: complete, and with
// PULLBAY_FAKE_WITHOUT_HKCU lacking IEGetWriteableHKCU. The PbFake* functions
// script its answers; tests reach them with dlsym on the loaded library.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005u);
constexpr std::int32_t kInvalidArg = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kPointer = static_cast<std::int32_t>(0x80004003u);

std::int32_t g_hrProtected = kOk;
int g_bProtected = 1;
std::int32_t g_hrFolder = kOk;
int g_bFolderText = 1;

// "/fake/low/{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" from the identifier's
// fields, so a test sees how the caller laid the identifier out.
wchar_t* FolderText(const std::uint8_t* pFields)
{
    static const wchar_t kPrefix[] = L"/fake/low/{";
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    const std::size_t uintPrefix = sizeof(kPrefix) / sizeof(wchar_t) - 1;
    auto* pText = static_cast<wchar_t*>(std::malloc((uintPrefix + 38) * sizeof(wchar_t)));
    if (pText == nullptr) {
        return nullptr;
    }
    std::wmemcpy(pText, kPrefix, uintPrefix);
    wchar_t* pOut = pText + uintPrefix;
    const auto hex = [&pOut](std::uint64_t uintValue, int intDigits) {
        for (int i = intDigits - 1; i >= 0; --i) {
            *pOut++ = kHex[(uintValue >> (4 * i)) & 0xF];
        }
    };
    std::uint32_t uintData1 = 0;
    std::uint16_t uintData2 = 0;
    std::uint16_t uintData3 = 0;
    std::memcpy(&uintData1, pFields, 4);
    std::memcpy(&uintData2, pFields + 4, 2);
    std::memcpy(&uintData3, pFields + 6, 2);
    hex(uintData1, 8);
    *pOut++ = L'-';
    hex(uintData2, 4);
    *pOut++ = L'-';
    hex(uintData3, 4);
    *pOut++ = L'-';
    for (int i = 8; i < 16; ++i) {
        hex(pFields[i], 2);
        if (i == 9) {
            *pOut++ = L'-';
        }
    }
    *pOut++ = L'}';
    *pOut = L'\0';
    return pText;
}

}  // namespace

extern "C" {

struct FakeGuid {
    std::uint32_t uintData1;
    std::uint16_t uintData2;
    std::uint16_t uintData3;
    std::uint8_t data4[8];
};

std::int32_t IEIsProtectedModeProcess(int* pbResult)
{
    if (pbResult == nullptr) {
        return kPointer;
    }
    *pbResult = g_bProtected;
    return g_hrProtected;
}

// The null identifier is refused; any other gets its own folder.
std::int32_t IEGetWriteableFolderPath(const FakeGuid* pFolderId, wchar_t** ppPath)
{
    if (pFolderId == nullptr || ppPath == nullptr) {
        return kPointer;
    }
    *ppPath = nullptr;
    const FakeGuid nullId{};
    if (std::memcmp(pFolderId, &nullId, sizeof(FakeGuid)) == 0) {
        return kInvalidArg;
    }
    if (g_bFolderText != 0) {
        *ppPath = FolderText(reinterpret_cast<const std::uint8_t*>(pFolderId));
        if (*ppPath == nullptr) {
            return kFail;
        }
    }
    return g_hrFolder;
}

#ifndef PULLBAY_FAKE_WITHOUT_HKCU
std::int32_t IEGetWriteableHKCU(void** phKey)
{
    if (phKey != nullptr) {
        *phKey = nullptr;
    }
    return kFail;
}
#endif

void PbFakeSetProtectedMode(std::int32_t hrResult, int bProtected)
{
    g_hrProtected = hrResult;
    g_bProtected = bProtected;
}

// hrResult is returned as it is; bWithText says whether a text is handed out
// with it (also on failure, which a careless library might do).
void PbFakeSetFolderAnswer(std::int32_t hrResult, int bWithText)
{
    g_hrFolder = hrResult;
    g_bFolderText = bWithText;
}

}  // extern "C"
