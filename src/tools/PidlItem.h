#pragma once
// Owns one shell item identifier list (or none): the form in which a folder
// is kept and stored as the last-visited folder. A value type; an instance is
// used by one thread at a time.
//
// A list is a sequence of items, each starting with its own total length as a
// little-endian u16 (the two length bytes included), ended by a u16 zero.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pullbay::tools {

class PidlItem {
public:
    // Lists above this size are not supported.
    static constexpr std::uint32_t kMaxListBytes = 32000;

    PidlItem() = default;
    // Takes the bytes of a list; no bytes means no list.
    explicit PidlItem(std::vector<std::uint8_t> list);
    // A zero-filled list of that many bytes for the caller to fill; 0 means
    // no list.
    explicit PidlItem(std::size_t uintSize);
    // A copy holds GetSize() bytes of the source: its list, not whatever
    // followed the terminator in the source's buffer.
    PidlItem(const PidlItem& other);
    PidlItem& operator=(const PidlItem& other);
    PidlItem(PidlItem&& other) noexcept;
    PidlItem& operator=(PidlItem&& other) noexcept;
    ~PidlItem() = default;

    bool IsEmpty() const { return m_list.empty(); }
    // The owned bytes, null when there is no list.
    const std::uint8_t* Data() const { return m_list.empty() ? nullptr : m_list.data(); }
    std::uint8_t* Data() { return m_list.empty() ? nullptr : m_list.data(); }
    std::size_t OwnedSize() const { return m_list.size(); }

    // The list's size in bytes (see ListSize).
    std::uint32_t GetSize() const { return ListSize(m_list); }

    // The first GetSize() bytes: the list with its terminator. Throws
    // core::ArgumentNullPointerException (no argument name) without a list.
    std::vector<std::uint8_t> Serialize() const;
    // A list holding a copy of the bytes; throws core::UnexpectedException
    // for no bytes.
    static PidlItem Deserialize(const std::vector<std::uint8_t>& bytes);

    // The size of the list in the bytes: 0 for no bytes; otherwise the item
    // lengths summed item by item, stopping once the sum has reached
    // kMaxListBytes, plus 2 for the terminator. Only the given bytes are read:
    // when a length or an item runs past them (a list without its
    // terminator), the result is the number of bytes given, and it is never
    // more than that.
    static std::uint32_t ListSize(std::span<const std::uint8_t> list);

private:
    std::vector<std::uint8_t> m_list;
};

}  // namespace pullbay::tools
