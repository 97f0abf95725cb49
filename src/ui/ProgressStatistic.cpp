#include "ui/ProgressStatistic.h"

#include <chrono>
#include <utility>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::ui {

namespace {

ProgressStatistic::MillisecondClock ClockOrDefault(ProgressStatistic::MillisecondClock clock)
{
    if (!clock) {
        return &ProgressStatistic::SteadyClockMilliseconds;
    }
    return clock;
}

bool IsCurrent(const std::weak_ptr<const void>& pCurrentItem,
               const std::shared_ptr<const void>& pItem)
{
    // lock() rather than an address compare: a new item allocated where a
    // destroyed current item lived is a different file.
    return pCurrentItem.lock().get() == pItem.get();
}

}  // namespace

ProgressStatistic::ProgressStatistic(std::uint64_t uintTotal, MillisecondClock clock)
    : m_clock(ClockOrDefault(std::move(clock))), m_intStartTime(m_clock()), m_uintTotal(uintTotal)
{
}

std::int64_t ProgressStatistic::SteadyClockMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t ProgressStatistic::ElapsedMilliseconds() const
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(m_clock()) -
                                     static_cast<std::uint64_t>(m_intStartTime));
}

ProgressStatistic::ItemCount& ProgressStatistic::EntryOf(const std::shared_ptr<const void>& pItem)
{
    for (ItemCount& entry : m_counts) {
        if (IsCurrent(entry.pItem, pItem)) {
            return entry;
        }
    }
    // An item that went away can report no more: its bytes stay counted.
    std::erase_if(m_counts, [](const ItemCount& entry) { return entry.pItem.expired(); });
    return m_counts.emplace_back(ItemCount{pItem, 0, 0});
}

std::uint64_t ProgressStatistic::RemoveEntry(const std::shared_ptr<const void>& pItem)
{
    for (auto it = m_counts.begin(); it != m_counts.end(); ++it) {
        if (IsCurrent(it->pItem, pItem)) {
            const std::uint64_t uintDone = it->uintDone;
            m_counts.erase(it);
            return uintDone;
        }
    }
    return 0;
}

void ProgressStatistic::PublishCurrent(const ItemCount* pEntry)
{
    if (pEntry == nullptr) {
        m_uintCurrentItemBytes.store(0);
        m_dblItemFraction.store(0.0);
        return;
    }
    m_uintCurrentItemBytes.store(pEntry->uintDone);
    m_dblItemFraction.store(static_cast<double>(pEntry->uintDone) /
                            static_cast<double>(pEntry->uintExpected));
}

void ProgressStatistic::PublishTotals(std::uint64_t uintTransferred)
{
    m_uintTransferred.store(uintTransferred);
    const double dblElapsedSeconds = static_cast<double>(ElapsedMilliseconds()) / 1000.0;
    m_dblRate.store(static_cast<double>(uintTransferred) / dblElapsedSeconds);
    m_dblTotalFraction.store(static_cast<double>(uintTransferred) /
                             static_cast<double>(m_uintTotal.load()));
}

void ProgressStatistic::UpdateItemProgress(const std::shared_ptr<const void>& pItem,
                                           std::uint64_t uintDone, std::uint64_t uintExpected)
{
    if (!pItem) {
        PB_THROW(core::ArgumentNullPointerException, L"pItem");
    }
    const std::lock_guard<std::mutex> lock(m_writerLock);
    if (!m_bSeveral && !IsCurrent(m_pCurrentItem, pItem)) {
        // One file at a time: the last file is done with, whatever it got.
        m_counts.clear();
        m_pCurrentItem = pItem;
    }
    ItemCount& entry = EntryOf(pItem);
    // Modulo 2^64 on purpose: a restart that reports fewer bytes than were
    // counted for this item lowers the transferred count by the difference.
    const std::uint64_t uintTransferred = m_uintTransferred.load() + uintDone - entry.uintDone;
    entry.uintDone = uintDone;
    entry.uintExpected = uintExpected;
    if (IsCurrent(m_pCurrentItem, pItem)) {
        PublishCurrent(&entry);
    }
    PublishTotals(uintTransferred);
}

void ProgressStatistic::CancelItemProgress(const std::shared_ptr<const void>& pItem,
                                           std::uint64_t uintDeclaredSize)
{
    if (!pItem) {
        PB_THROW(core::ArgumentNullPointerException, L"pItem");
    }
    const std::lock_guard<std::mutex> lock(m_writerLock);
    const std::uint64_t uintTotal = m_uintTotal.load();
    m_uintTotal.store(uintTotal > uintDeclaredSize ? uintTotal - uintDeclaredSize : 0);
    m_uintTransferred.store(m_uintTransferred.load() - RemoveEntry(pItem));
    if (IsCurrent(m_pCurrentItem, pItem)) {
        m_uintCurrentItemBytes.store(0);
    }
}

void ProgressStatistic::SetCurrentItem(const std::shared_ptr<const void>& pItem)
{
    const std::lock_guard<std::mutex> lock(m_writerLock);
    m_bSeveral = true;
    m_pCurrentItem = pItem;
    for (const ItemCount& entry : m_counts) {
        if (pItem && IsCurrent(entry.pItem, pItem)) {
            PublishCurrent(&entry);
            return;
        }
    }
    PublishCurrent(nullptr);
}

void ProgressStatistic::EndItemProgress(const std::shared_ptr<const void>& pItem)
{
    if (!pItem) {
        PB_THROW(core::ArgumentNullPointerException, L"pItem");
    }
    const std::lock_guard<std::mutex> lock(m_writerLock);
    RemoveEntry(pItem);
}

double ProgressStatistic::GetTimeLeft() const
{
    const double dblRate = m_dblRate.load();
    if (!(dblRate > 0.0)) {
        return 0.0;
    }
    // More bytes than declared (a server sending a larger file) leaves
    // nothing to wait for; an unsigned difference would wrap to ~1.8e19.
    const std::uint64_t uintTotal = m_uintTotal.load();
    const std::uint64_t uintTransferred = m_uintTransferred.load();
    const std::uint64_t uintLeft = uintTotal > uintTransferred ? uintTotal - uintTransferred : 0;
    return static_cast<double>(uintLeft) / dblRate;
}

}  // namespace pullbay::ui
