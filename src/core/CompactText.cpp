#include "core/CompactText.h"

#include <cstdint>
#include <cstring>

namespace pullbay::core {

namespace {

// The header is (length << 2 | unit code) in 7-bit groups, low group first,
// the top bit of a byte saying that another follows: one byte up to 31
// characters, two up to 4095.
constexpr unsigned kUnitCodeBits = 2;
constexpr unsigned kGroupBits = 7;
constexpr unsigned char kMoreFlag = 0x80;
constexpr unsigned char kGroupMask = 0x7F;

std::size_t UnitBytesOf(std::wstring_view text)
{
    std::uint32_t uintHighest = 0;
    for (const wchar_t ch : text) {
        uintHighest |= static_cast<std::uint32_t>(ch);
    }
    if (uintHighest <= 0xFF) {
        return 1;
    }
    return uintHighest <= 0xFFFF ? 2 : 4;
}

unsigned UnitCodeOf(std::size_t uintUnitBytes)
{
    return uintUnitBytes == 1 ? 0 : (uintUnitBytes == 2 ? 1 : 2);
}

std::size_t HeaderSize(std::size_t uintValue)
{
    std::size_t uintBytes = 1;
    while (uintValue > kGroupMask) {
        uintValue >>= kGroupBits;
        ++uintBytes;
    }
    return uintBytes;
}

std::size_t HeaderValue(std::size_t uintLength, std::size_t uintUnitBytes)
{
    return uintLength << kUnitCodeBits | UnitCodeOf(uintUnitBytes);
}

}  // namespace

wchar_t CompactTextView::At(std::size_t uintIndex) const
{
    const unsigned char* pUnit = m_pUnits + uintIndex * m_uintUnitBytes;
    if (m_uintUnitBytes == 1) {
        return static_cast<wchar_t>(*pUnit);
    }
    if (m_uintUnitBytes == 2) {
        std::uint16_t uintUnit = 0;
        std::memcpy(&uintUnit, pUnit, sizeof uintUnit);
        return static_cast<wchar_t>(uintUnit);
    }
    wchar_t ch = 0;
    std::memcpy(&ch, pUnit, sizeof ch);
    return ch;
}

std::wstring CompactTextView::Str() const
{
    std::wstring text(m_uintLength, L'\0');
    if (m_uintUnitBytes == 1) {
        for (std::size_t i = 0; i < m_uintLength; ++i) {
            text[i] = static_cast<wchar_t>(m_pUnits[i]);
        }
    } else if (m_uintUnitBytes == 2) {
        for (std::size_t i = 0; i < m_uintLength; ++i) {
            text[i] = At(i);
        }
    } else if (m_uintLength != 0) {
        std::memcpy(text.data(), m_pUnits, m_uintLength * sizeof(wchar_t));
    }
    return text;
}

std::size_t CompactTextView::EncodedSize() const
{
    if (m_pHeader == nullptr) {
        return 1;
    }
    return static_cast<std::size_t>(m_pUnits - m_pHeader) + m_uintLength * m_uintUnitBytes;
}

bool operator==(const CompactTextView& left, std::wstring_view right)
{
    if (left.Length() != right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < right.size(); ++i) {
        if (left.At(i) != right[i]) {
            return false;
        }
    }
    return true;
}

std::size_t CompactTextSize(std::wstring_view text)
{
    const std::size_t uintUnitBytes = UnitBytesOf(text);
    return HeaderSize(HeaderValue(text.size(), uintUnitBytes)) + text.size() * uintUnitBytes;
}

std::size_t CompactTextSize(const CompactTextView& text)
{
    return text.EncodedSize();
}

unsigned char* WriteCompactText(std::wstring_view text, unsigned char* pOut)
{
    const std::size_t uintUnitBytes = UnitBytesOf(text);
    std::size_t uintHeader = HeaderValue(text.size(), uintUnitBytes);
    while (uintHeader > kGroupMask) {
        *pOut++ = static_cast<unsigned char>((uintHeader & kGroupMask) | kMoreFlag);
        uintHeader >>= kGroupBits;
    }
    *pOut++ = static_cast<unsigned char>(uintHeader);
    for (const wchar_t ch : text) {
        if (uintUnitBytes == 1) {
            *pOut = static_cast<unsigned char>(ch);
        } else if (uintUnitBytes == 2) {
            const auto uintUnit = static_cast<std::uint16_t>(ch);
            std::memcpy(pOut, &uintUnit, sizeof uintUnit);
        } else {
            std::memcpy(pOut, &ch, sizeof ch);
        }
        pOut += uintUnitBytes;
    }
    return pOut;
}

unsigned char* WriteCompactText(const CompactTextView& text, unsigned char* pOut)
{
    if (text.EncodedData() == nullptr) {
        return WriteCompactText(std::wstring_view(), pOut);
    }
    const std::size_t uintSize = text.EncodedSize();
    std::memcpy(pOut, text.EncodedData(), uintSize);
    return pOut + uintSize;
}

CompactTextView ReadCompactText(const unsigned char*& pIn)
{
    CompactTextView view;
    view.m_pHeader = pIn;
    std::size_t uintHeader = 0;
    unsigned uintShift = 0;
    unsigned char byte = 0;
    do {
        byte = *pIn++;
        uintHeader |= static_cast<std::size_t>(byte & kGroupMask) << uintShift;
        uintShift += kGroupBits;
    } while ((byte & kMoreFlag) != 0);
    const unsigned uintUnitCode = uintHeader & ((1u << kUnitCodeBits) - 1);
    view.m_uintUnitBytes = uintUnitCode == 0 ? 1 : (uintUnitCode == 1 ? 2 : 4);
    view.m_uintLength = uintHeader >> kUnitCodeBits;
    view.m_pUnits = pIn;
    pIn += view.m_uintLength * view.m_uintUnitBytes;
    return view;
}

}  // namespace pullbay::core
