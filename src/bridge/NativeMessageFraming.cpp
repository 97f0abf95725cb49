#include "bridge/NativeMessageFraming.h"

#include <algorithm>
#include <cstring>

namespace pullbay::bridge {

namespace {

// Room for the envelope and the longest escaped UTF-8 sequence (4 x 6 bytes).
constexpr std::size_t kMinLimit = 128;

// The JSON escape of one byte of a UTF-8 text; appends and returns its length.
std::size_t EscapedSize(unsigned char uchByte)
{
    if (uchByte == '"' || uchByte == '\\') {
        return 2;
    }
    return uchByte < 0x20 ? 6 : 1;
}

void AppendEscaped(std::string& strOut, unsigned char uchByte)
{
    static constexpr char kHex[] = "0123456789abcdef";
    if (uchByte == '"' || uchByte == '\\') {
        strOut += '\\';
        strOut += static_cast<char>(uchByte);
    } else if (uchByte < 0x20) {
        strOut += "\\u00";
        strOut += kHex[uchByte >> 4];
        strOut += kHex[uchByte & 0xF];
    } else {
        strOut += static_cast<char>(uchByte);
    }
}

// The length of the UTF-8 sequence that starts with this byte; 1 for a
// byte that starts none, so a broken text still advances.
std::size_t SequenceLength(unsigned char uchLead)
{
    if (uchLead >= 0xF0 && uchLead <= 0xF7) {
        return 4;
    }
    if (uchLead >= 0xE0) {
        return uchLead <= 0xEF ? 3 : 1;
    }
    return uchLead >= 0xC0 ? 2 : 1;
}

}  // namespace

std::string NativeMessageFraming::Frame(std::string_view strPayload)
{
    const auto uintLength = static_cast<std::uint32_t>(strPayload.size());
    std::string strFrame(kLengthBytes, '\0');
    std::memcpy(strFrame.data(), &uintLength, kLengthBytes);  // native byte order
    strFrame.append(strPayload);
    return strFrame;
}

std::vector<std::string> NativeMessageFraming::Encode(std::string_view strJson,
                                                      std::uint32_t uintPartId,
                                                      std::size_t uintLimit)
{
    uintLimit = std::max(uintLimit, kMinLimit);
    if (strJson.size() <= uintLimit) {
        return {Frame(strJson)};
    }
    const std::string strHead = "{\"part\":" + std::to_string(uintPartId) + ",\"more\":";
    // The longest envelope: head, "false", ",\"data\":\"", the slice, "\"}".
    const std::size_t uintEnvelope = strHead.size() + 5 + 9 + 2;
    const std::size_t uintSliceLimit = uintLimit - uintEnvelope;
    std::vector<std::string> frames;
    std::size_t uintPos = 0;
    while (uintPos < strJson.size()) {
        std::string strSlice;
        while (uintPos < strJson.size()) {
            const std::size_t uintSequence =
                std::min(SequenceLength(static_cast<unsigned char>(strJson[uintPos])),
                         strJson.size() - uintPos);
            std::size_t uintEscaped = 0;
            for (std::size_t i = 0; i < uintSequence; ++i) {
                uintEscaped += EscapedSize(static_cast<unsigned char>(strJson[uintPos + i]));
            }
            if (strSlice.size() + uintEscaped > uintSliceLimit) {
                break;
            }
            for (std::size_t i = 0; i < uintSequence; ++i) {
                AppendEscaped(strSlice, static_cast<unsigned char>(strJson[uintPos + i]));
            }
            uintPos += uintSequence;
        }
        const bool bMore = uintPos < strJson.size();
        frames.push_back(
            Frame(strHead + (bMore ? "true" : "false") + ",\"data\":\"" + strSlice + "\"}"));
    }
    return frames;
}

NativeMessageDecoder::NativeMessageDecoder(std::size_t uintMaxBytes) : m_uintMaxBytes(uintMaxBytes)
{
}

void NativeMessageDecoder::Feed(std::string_view bytes)
{
    if (m_overlong) {
        return;
    }
    // Drop what was taken before growing, so a long stream keeps one message.
    if (m_uintPos > 0) {
        m_strBuffer.erase(0, m_uintPos);
        m_uintPos = 0;
    }
    m_strBuffer.append(bytes);
}

std::optional<std::string> NativeMessageDecoder::Next()
{
    if (m_overlong || m_strBuffer.size() - m_uintPos < NativeMessageFraming::kLengthBytes) {
        return std::nullopt;
    }
    std::uint32_t uintLength = 0;
    std::memcpy(&uintLength, m_strBuffer.data() + m_uintPos, NativeMessageFraming::kLengthBytes);
    if (uintLength > m_uintMaxBytes) {
        m_overlong = uintLength;
        return std::nullopt;
    }
    if (m_strBuffer.size() - m_uintPos - NativeMessageFraming::kLengthBytes < uintLength) {
        return std::nullopt;
    }
    std::string strMessage =
        m_strBuffer.substr(m_uintPos + NativeMessageFraming::kLengthBytes, uintLength);
    m_uintPos += NativeMessageFraming::kLengthBytes + uintLength;
    return strMessage;
}

}  // namespace pullbay::bridge
