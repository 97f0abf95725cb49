#pragma once
// Byte counters, average rate, fractions and time left of one download run.
// Threads: the download engine writes (UpdateItemProgress, CancelItemProgress)
// on its worker thread; the progress dialog and the control read the getters
// on the GUI thread without a lock. Every field is atomic, so each value is
// read whole; a reader may see a fraction from one block and a byte count
// from the next, which the readers tolerate. Writers are serialised among
// themselves by a lock that readers never take.
//
// The statistic does not know the file item class: an item is identified by
// its shared pointer (a std::shared_ptr<FileItem> converts implicitly to
// std::shared_ptr<const void>), and the statistic keeps only weak references
// to the items it counts, so a finished item is not kept alive.
//
// One file at a time, a report for another item than the last one starts a
// new file. A run with several files in flight names the file it shows
// (SetCurrentItem): from then on every item keeps its own count until
// EndItemProgress or CancelItemProgress retires it, the transferred count is
// the sum over all of them, and the item fraction and the current bytes are
// those of the item shown.
//
// The rate, the fractions and the time left are reported as computed: they
// are not finite when no time has elapsed yet or when a total or an expected
// size is 0. Readers show a neutral value for them (see TextFormatters.h).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pullbay::ui {

class ProgressStatistic {
public:
    // Milliseconds of a monotonic clock; only differences are used. Called on
    // the constructing thread and on the writing thread.
    using MillisecondClock = std::function<std::int64_t()>;

    // uintTotal: the declared sizes of all files of the run. An empty clock
    // selects SteadyClockMilliseconds.
    explicit ProgressStatistic(std::uint64_t uintTotal, MillisecondClock clock = {});

    ProgressStatistic(const ProgressStatistic&) = delete;
    ProgressStatistic& operator=(const ProgressStatistic&) = delete;

    // One block of pItem received: uintDone of uintExpected bytes of that file
    // so far. A report of fewer bytes for the same item (a restart) lowers
    // the transferred count. Throws ArgumentNullPointerException for a null
    // item.
    void UpdateItemProgress(const std::shared_ptr<const void>& pItem, std::uint64_t uintDone,
                            std::uint64_t uintExpected);

    // Takes a file that did not succeed out of the run: its declared size
    // leaves the total (never below 0) and the bytes counted for it leave the
    // transferred count. Throws ArgumentNullPointerException for a null item.
    void CancelItemProgress(const std::shared_ptr<const void>& pItem,
                            std::uint64_t uintDeclaredSize);

    // Several files in flight: the file the item fraction and the current
    // bytes follow (null: none yet). Its count is kept from its own reports.
    void SetCurrentItem(const std::shared_ptr<const void>& pItem);
    // A file that ended whole: its bytes stay counted, its entry goes.
    void EndItemProgress(const std::shared_ptr<const void>& pItem);

    std::uint64_t GetTransferred() const { return m_uintTransferred.load(); }
    std::uint64_t GetTotal() const { return m_uintTotal.load(); }
    std::uint64_t GetCurrentItemBytes() const { return m_uintCurrentItemBytes.load(); }
    // Average bytes per second since construction.
    double GetRate() const { return m_dblRate.load(); }
    double GetItemFraction() const { return m_dblItemFraction.load(); }
    double GetTotalFraction() const { return m_dblTotalFraction.load(); }

    // Seconds until the total is reached at the average rate; 0 while the
    // rate is not positive and once the transferred bytes reach the total.
    double GetTimeLeft() const;

    static std::int64_t SteadyClockMilliseconds();

private:
    // Milliseconds since construction; the difference wraps instead of
    // overflowing when an injected clock jumps.
    std::int64_t ElapsedMilliseconds() const;

    const MillisecondClock m_clock;
    const std::int64_t m_intStartTime;

    std::atomic<std::uint64_t> m_uintTransferred{0};
    std::atomic<std::uint64_t> m_uintTotal;
    std::atomic<std::uint64_t> m_uintCurrentItemBytes{0};
    std::atomic<double> m_dblRate{0.0};
    std::atomic<double> m_dblItemFraction{0.0};
    std::atomic<double> m_dblTotalFraction{0.0};

    struct ItemCount {
        std::weak_ptr<const void> pItem;
        std::uint64_t uintDone = 0;
        std::uint64_t uintExpected = 0;
    };
    // The entry of pItem (added when absent, dropping entries of items that
    // went away). Under m_writerLock.
    ItemCount& EntryOf(const std::shared_ptr<const void>& pItem);
    // Removes the entry of pItem; its bytes, 0 when there was none.
    std::uint64_t RemoveEntry(const std::shared_ptr<const void>& pItem);
    void PublishCurrent(const ItemCount* pEntry);
    void PublishTotals(std::uint64_t uintTransferred);

    // Serialises the writers; guards what follows, which readers never see.
    std::mutex m_writerLock;
    std::vector<ItemCount> m_counts;
    // Set by SetCurrentItem: several files are counted side by side.
    bool m_bSeveral = false;
    std::weak_ptr<const void> m_pCurrentItem;
};

}  // namespace pullbay::ui
