#pragma once
// Native messaging's framing: each message is a 32-bit length in the
// machine's byte order followed by that many bytes of UTF-8 JSON. The
// browser takes at most kMaxToBrowserBytes per message from a host, so a
// longer message goes out as a sequence of part messages
//   {"part":ID,"more":true|false,"data":"<a slice of the JSON text>"}
// that the extension joins and parses again. Pure functions and a decoder
// object without threads of its own: the decoder belongs to one thread at
// a time, the functions to any thread.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pullbay::bridge {

class NativeMessageFraming {
public:
    // The browser's limit for a message from the host.
    static constexpr std::size_t kMaxToBrowserBytes = 1024 * 1024;
    // The browser sends at most 64 MiB; a longer length is not its framing.
    static constexpr std::size_t kMaxFromBrowserBytes = 64 * 1024 * 1024;
    static constexpr std::size_t kLengthBytes = 4;

    // The frames (length prefix and payload) that carry strJson: one frame
    // when the payload fits uintLimit, otherwise part messages tagged with
    // uintPartId, each of whose payloads fits uintLimit. A slice never
    // splits a UTF-8 sequence. uintLimit below 128 is raised to 128.
    static std::vector<std::string> Encode(std::string_view strJson, std::uint32_t uintPartId,
                                           std::size_t uintLimit = kMaxToBrowserBytes);

    // The frame of one payload as it stands.
    static std::string Frame(std::string_view strPayload);
};

// Splits the bytes read from the browser into messages. Feed what arrives,
// then take every complete message; a length above the limit puts the
// decoder into its failed state, for a stream that cannot be resynchronised.
class NativeMessageDecoder {
public:
    explicit NativeMessageDecoder(
        std::size_t uintMaxBytes = NativeMessageFraming::kMaxFromBrowserBytes);

    void Feed(std::string_view bytes);
    // The next complete message, or nullopt (need more bytes, or failed).
    std::optional<std::string> Next();
    // A length above the limit was read; its value.
    std::optional<std::uint64_t> OverlongLength() const { return m_overlong; }
    // Bytes of an unfinished message are held (at the end of input: truncated).
    bool HasPartial() const { return m_uintPos < m_strBuffer.size(); }

private:
    const std::size_t m_uintMaxBytes;
    std::string m_strBuffer;
    std::size_t m_uintPos = 0;
    std::optional<std::uint64_t> m_overlong;
};

}  // namespace pullbay::bridge
