#include "tools/PidlItem.h"

#include <algorithm>
#include <utility>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::tools {

namespace {

constexpr std::size_t kTerminatorBytes = 2;

std::vector<std::uint8_t> ListPrefix(const std::vector<std::uint8_t>& list)
{
    return {list.begin(), list.begin() + PidlItem::ListSize(list)};
}

}  // namespace

PidlItem::PidlItem(std::vector<std::uint8_t> list) : m_list(std::move(list))
{
}

PidlItem::PidlItem(std::size_t uintSize) : m_list(uintSize, 0)
{
}

PidlItem::PidlItem(const PidlItem& other) : m_list(ListPrefix(other.m_list))
{
}

PidlItem& PidlItem::operator=(const PidlItem& other)
{
    if (this != &other) {
        m_list = ListPrefix(other.m_list);
    }
    return *this;
}

PidlItem::PidlItem(PidlItem&& other) noexcept : m_list(std::exchange(other.m_list, {}))
{
}

PidlItem& PidlItem::operator=(PidlItem&& other) noexcept
{
    if (this != &other) {
        m_list = std::exchange(other.m_list, {});
    }
    return *this;
}

std::vector<std::uint8_t> PidlItem::Serialize() const
{
    if (IsEmpty()) {
        PB_THROW(core::ArgumentNullPointerException);
    }
    return ListPrefix(m_list);
}

PidlItem PidlItem::Deserialize(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.empty()) {
        PB_THROW(core::UnexpectedException);
    }
    return PidlItem(std::vector<std::uint8_t>(bytes));
}

std::uint32_t PidlItem::ListSize(std::span<const std::uint8_t> list)
{
    if (list.empty()) {
        return 0;
    }
    // The running sum is also the offset of the next item.
    std::size_t uintSum = 0;
    for (;;) {
        if (uintSum + kTerminatorBytes > list.size()) {
            return static_cast<std::uint32_t>(list.size());
        }
        const std::size_t uintItem = static_cast<std::size_t>(list[uintSum]) |
                                     (static_cast<std::size_t>(list[uintSum + 1]) << 8);
        if (uintItem == 0) {
            return static_cast<std::uint32_t>(uintSum + kTerminatorBytes);
        }
        uintSum += uintItem;
        if (uintSum >= kMaxListBytes) {
            return static_cast<std::uint32_t>(std::min(uintSum + kTerminatorBytes, list.size()));
        }
    }
}

}  // namespace pullbay::tools
