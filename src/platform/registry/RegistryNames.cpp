#include "platform/registry/RegistryNames.h"

#include <algorithm>
#include <cstdint>

#include "core/HexDigits.h"
#include "core/TextUnits.h"
#include "platform/registry/RegistryTypes.h"

namespace pullbay::platform {

namespace {

constexpr std::size_t kMaxPlainEntryBytes = 200;
constexpr std::size_t kHashedPrefixBytes = 160;
constexpr char kHashMarker = '~';

bool IsEncodableAsUtf8(char32_t cp)
{
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

bool NeedsEscape(char32_t cp, bool bFirst)
{
    return cp < 0x20 || cp == 0x7F || cp == U'%' || cp == U'/' ||
           cp == static_cast<char32_t>(kHashMarker) || (bFirst && (cp == U'.' || cp == U'='));
}

// FNV-1a, 64 bits: stable across runs and builds, which std::hash is not.
std::uint64_t StableHash(std::string_view strBytes)
{
    std::uint64_t uintHash = 0xCBF29CE484222325ull;
    for (char ch : strBytes) {
        uintHash ^= static_cast<unsigned char>(ch);
        uintHash *= 0x100000001B3ull;
    }
    return uintHash;
}

std::string EncodeName(std::wstring_view strName)
{
    const std::wstring strFolded = core::ToLowerAscii(strName);
    std::string out;
    // Byte offsets where a character ends, so a shortened name keeps whole
    // characters and whole escapes.
    std::vector<std::size_t> boundaries;
    for (std::size_t i = 0; i < strFolded.size(); ++i) {
        const auto cp = static_cast<char32_t>(strFolded[i]);
        if (NeedsEscape(cp, i == 0)) {
            out.push_back('%');
            core::AppendHex(out, cp, 2, core::HexCase::Upper);
        } else if (!IsEncodableAsUtf8(cp)) {
            out += "%u";
            core::AppendHex(out, cp, 8, core::HexCase::Upper);
        } else {
            out += core::ToUtf8(std::wstring_view(&strFolded[i], 1));
        }
        boundaries.push_back(out.size());
    }
    if (out.size() <= kMaxPlainEntryBytes) {
        return out;
    }
    const auto itCut = std::upper_bound(boundaries.begin(), boundaries.end(), kHashedPrefixBytes);
    const std::size_t uintCut = itCut == boundaries.begin() ? 0 : *(itCut - 1);
    std::string shortened = out.substr(0, uintCut);
    shortened.push_back(kHashMarker);
    core::AppendHex(shortened, StableHash(out), 16, core::HexCase::Upper);
    return shortened;
}

HRESULT CheckName(std::wstring_view strName, std::size_t uintMaxUnits)
{
    if (strName.find(L'\0') != std::wstring_view::npos ||
        core::Utf16Length(strName) > uintMaxUnits) {
        return E_INVALIDARG;
    }
    return S_OK;
}

}  // namespace

std::vector<std::wstring> SplitRegistryPath(std::wstring_view strPath)
{
    std::vector<std::wstring> levels;
    std::size_t uintStart = 0;
    while (uintStart <= strPath.size()) {
        std::size_t uintEnd = strPath.find(L'\\', uintStart);
        if (uintEnd == std::wstring_view::npos) {
            uintEnd = strPath.size();
        }
        if (uintEnd > uintStart) {
            levels.emplace_back(strPath.substr(uintStart, uintEnd - uintStart));
        }
        uintStart = uintEnd + 1;
    }
    return levels;
}

HRESULT CheckRegistryKeyName(std::wstring_view strName)
{
    return strName.empty() ? E_INVALIDARG : CheckName(strName, kMaxRegistryKeyNameUnits);
}

HRESULT CheckRegistryValueName(std::wstring_view strName)
{
    return CheckName(strName, kMaxRegistryValueNameUnits);
}

std::string RegistryKeyEntryName(std::wstring_view strName)
{
    return EncodeName(strName);
}

std::string RegistryValueEntryName(std::wstring_view strName)
{
    return "=" + EncodeName(strName);
}

bool IsHashedRegistryEntryName(std::string_view strEntryName)
{
    return strEntryName.find(kHashMarker) != std::string_view::npos;
}

bool RegistryNameLess(std::wstring_view strLeft, std::wstring_view strRight)
{
    return std::lexicographical_compare(strLeft.begin(), strLeft.end(), strRight.begin(),
                                        strRight.end(), [](wchar_t chLeft, wchar_t chRight) {
                                            return core::ToLowerAscii(chLeft) <
                                                   core::ToLowerAscii(chRight);
                                        });
}

}  // namespace pullbay::platform
