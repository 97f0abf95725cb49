#include "platform/com/StreamPersistence.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <utility>
#include <vector>

namespace pullbay::com {

namespace {

constexpr std::uint32_t kNullTextLength = 0xFFFFFFFFu;
// Texts are read in slices of this size, so a length that the stream does
// not back costs no more memory than the bytes actually there.
constexpr std::uint32_t kReadSliceBytes = 64u * 1024u;
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Streams may move fewer bytes than asked; go on until all are moved.
HRESULT WriteAll(core::IStream& stream, const std::uint8_t* pData, std::size_t uintSize)
{
    while (uintSize > 0) {
        const auto uintAsk =
            static_cast<std::uint32_t>(std::min<std::size_t>(uintSize, 0x7FFFFFFFu));
        std::uint32_t uintWritten = 0;
        const HRESULT hr = stream.Write(pData, uintAsk, &uintWritten);
        if (Failed(hr)) {
            return hr;
        }
        if (uintWritten == 0 || uintWritten > uintAsk) {
            return STG_E_WRITEFAULT;
        }
        pData += uintWritten;
        uintSize -= uintWritten;
    }
    return S_OK;
}

HRESULT ReadAll(core::IStream& stream, std::uint8_t* pData, std::size_t uintSize)
{
    while (uintSize > 0) {
        const auto uintAsk =
            static_cast<std::uint32_t>(std::min<std::size_t>(uintSize, 0x7FFFFFFFu));
        std::uint32_t uintRead = 0;
        const HRESULT hr = stream.Read(pData, uintAsk, &uintRead);
        if (Failed(hr)) {
            return hr;
        }
        if (uintRead == 0 || uintRead > uintAsk) {
            return STG_E_READFAULT;
        }
        pData += uintRead;
        uintSize -= uintRead;
    }
    return S_OK;
}

template <typename Unsigned>
void AppendLittleEndian(std::vector<std::uint8_t>& bytes, Unsigned uintValue)
{
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
        bytes.push_back(static_cast<std::uint8_t>(uintValue >> (8 * i)));
    }
}

template <typename Unsigned>
HRESULT ReadLittleEndian(core::IStream& stream, Unsigned& uintValue)
{
    std::array<std::uint8_t, sizeof(Unsigned)> bytes{};
    const HRESULT hr = ReadAll(stream, bytes.data(), bytes.size());
    if (Failed(hr)) {
        return hr;
    }
    Unsigned uintResult = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        uintResult = static_cast<Unsigned>(uintResult | static_cast<Unsigned>(bytes[i]) << (8 * i));
    }
    uintValue = uintResult;
    return S_OK;
}

bool IsEncodable(char32_t cp)
{
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

std::uint64_t Utf16UnitCount(const std::wstring& strText)
{
    std::uint64_t uintUnits = 0;
    for (wchar_t ch : strText) {
        const auto cp = static_cast<char32_t>(ch);
        uintUnits += IsEncodable(cp) && cp > 0xFFFF ? 2 : 1;
    }
    return uintUnits;
}

std::u16string ToUtf16(const std::wstring& strText)
{
    std::u16string units;
    units.reserve(strText.size());
    for (wchar_t ch : strText) {
        char32_t cp = static_cast<char32_t>(ch);
        if (!IsEncodable(cp)) {
            cp = kReplacementCharacter;
        }
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(cp));
        }
    }
    return units;
}

std::wstring FromUtf16(const std::u16string& units)
{
    std::wstring text;
    text.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                (static_cast<char32_t>(units[i + 1]) - 0xDC00);
            text.push_back(static_cast<wchar_t>(cp));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            text.push_back(static_cast<wchar_t>(kReplacementCharacter));
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
    return text;
}

HRESULT ReadText(core::IStream& stream, NullableString& strText)
{
    std::uint32_t uintBytes = 0;
    HRESULT hr = ReadLittleEndian(stream, uintBytes);
    if (Failed(hr)) {
        return hr;
    }
    if (uintBytes == kNullTextLength) {
        strText = NullableString();
        return S_OK;
    }
    if (uintBytes % 2 != 0 || uintBytes > kMaxPersistedTextBytes) {
        return E_FAIL;
    }
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < uintBytes) {
        const std::size_t uintDone = bytes.size();
        const std::size_t uintSlice = std::min<std::size_t>(uintBytes - uintDone, kReadSliceBytes);
        bytes.resize(uintDone + uintSlice);
        hr = ReadAll(stream, bytes.data() + uintDone, uintSlice);
        if (Failed(hr)) {
            return hr;
        }
    }
    std::u16string units(uintBytes / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    strText = NullableString(FromUtf16(units));
    return S_OK;
}

}  // namespace

HRESULT WriteVersion(core::IStream& stream)
{
    return WriteUInt32(stream, kPersistVersion);
}

HRESULT ReadVersion(core::IStream& stream)
{
    std::uint32_t uintVersion = 0;
    const HRESULT hr = ReadUInt32(stream, uintVersion);
    if (Failed(hr)) {
        return hr;
    }
    return uintVersion > kPersistVersion ? E_FAIL : S_OK;
}

HRESULT WriteUInt32(core::IStream& stream, std::uint32_t uintValue)
{
    std::vector<std::uint8_t> bytes;
    AppendLittleEndian(bytes, uintValue);
    return WriteAll(stream, bytes.data(), bytes.size());
}

HRESULT ReadUInt32(core::IStream& stream, std::uint32_t& uintValue)
{
    return ReadLittleEndian(stream, uintValue);
}

HRESULT WriteVariant(core::IStream& stream, const Variant& value)
{
    std::vector<std::uint8_t> bytes;
    AppendLittleEndian(bytes, static_cast<std::uint16_t>(value.Type()));
    switch (value.Type()) {
    case VarType::Empty:
        break;
    case VarType::I4:
        AppendLittleEndian(bytes, static_cast<std::uint32_t>(value.I4()));
        break;
    case VarType::UI4:
        AppendLittleEndian(bytes, value.UI4());
        break;
    case VarType::R8:
        AppendLittleEndian(bytes, std::bit_cast<std::uint64_t>(value.R8()));
        break;
    case VarType::Bool:
        AppendLittleEndian(bytes,
                           static_cast<std::uint16_t>(value.Bool() ? kVariantTrue : kVariantFalse));
        break;
    case VarType::BStr: {
        if (value.String().IsNull()) {
            AppendLittleEndian(bytes, kNullTextLength);
            break;
        }
        const std::u16string units = ToUtf16(value.String().Value());
        if (units.size() > kMaxPersistedTextBytes / 2) {
            return E_INVALIDARG;
        }
        AppendLittleEndian(bytes, static_cast<std::uint32_t>(units.size() * 2));
        bytes.reserve(bytes.size() + units.size() * 2);
        for (char16_t unit : units) {
            AppendLittleEndian(bytes, static_cast<std::uint16_t>(unit));
        }
        break;
    }
    }
    return WriteAll(stream, bytes.data(), bytes.size());
}

HRESULT ReadVariant(core::IStream& stream, Variant& value)
{
    std::uint16_t uintType = 0;
    HRESULT hr = ReadLittleEndian(stream, uintType);
    if (Failed(hr)) {
        return hr;
    }
    switch (static_cast<VarType>(uintType)) {
    case VarType::Empty:
        value = Variant();
        return S_OK;
    case VarType::I4: {
        std::uint32_t uintValue = 0;
        hr = ReadLittleEndian(stream, uintValue);
        if (Succeeded(hr)) {
            value = Variant::FromI4(static_cast<std::int32_t>(uintValue));
        }
        return hr;
    }
    case VarType::UI4: {
        std::uint32_t uintValue = 0;
        hr = ReadLittleEndian(stream, uintValue);
        if (Succeeded(hr)) {
            value = Variant::FromUI4(uintValue);
        }
        return hr;
    }
    case VarType::R8: {
        std::uint64_t uintBits = 0;
        hr = ReadLittleEndian(stream, uintBits);
        if (Succeeded(hr)) {
            value = Variant::FromR8(std::bit_cast<double>(uintBits));
        }
        return hr;
    }
    case VarType::Bool: {
        std::uint16_t uintValue = 0;
        hr = ReadLittleEndian(stream, uintValue);
        if (Succeeded(hr)) {
            value = Variant::FromBool(uintValue != 0);
        }
        return hr;
    }
    case VarType::BStr: {
        NullableString strText;
        hr = ReadText(stream, strText);
        if (Succeeded(hr)) {
            value = Variant::FromString(std::move(strText));
        }
        return hr;
    }
    }
    return E_FAIL;
}

std::uint64_t VariantSizeEstimate(const Variant& value)
{
    switch (value.Type()) {
    case VarType::Empty:
        return 2;
    case VarType::I4:
    case VarType::UI4:
        return 2 + 4;
    case VarType::R8:
        return 2 + 8;
    case VarType::Bool:
        return 2 + 2;
    case VarType::BStr:
        return 2 + 4 + 2 * Utf16UnitCount(value.String().Value());
    }
    return 2;
}

}  // namespace pullbay::com
