#pragma once
// The per-security window tracker: the windows of the security under analysis with their
// identifiers and state history, the positions the trading laws derive from them, the
// monthly holding segments, and a cache of finished analyses.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "gaps/listing_analysis.h"
#include "matrix/historical_manager.h"
#include "matrix/market_records.h"

namespace vorn {

// Window directions.
constexpr std::uint8_t kUpwardWindow = 1;
constexpr std::uint8_t kDownwardWindow = 2;

// A window still open while the events are replayed.
struct OpenWindow {
    std::uint8_t direction = 0;
    std::uint16_t identifier = 0;
    std::uint32_t upperBound = 0;
    std::uint32_t lowerBound = 0;
};

// One change of a window. State 1 or 2 opens it (with the bound the previous day set),
// state 0 follows on the same day with the other bound, 16 / 32 reduce it and 64 / 128
// fill it.
struct WindowStateRecord {
    std::uint16_t identifier = 0;
    std::uint8_t state = 0;
    std::uint16_t day = 0; // index from the analysed series' first day
    std::uint32_t price = 0;
};

// The bounds of a window open at some day, as collected for the chart.
struct OpenWindowBounds {
    std::uint8_t direction = 0;
    std::uint32_t upperBound = 0;
    std::uint32_t lowerBound = 0;
};
// Ordered by direction (upward first), within a direction by identifier.
using OpenWindowList = std::vector<OpenWindowBounds>;

// Entry price of a position signalled on the series' last day (no next open yet).
constexpr std::uint32_t kNoEntryPrice = 0xFFFFFFFFu;

struct PositionEntry {
    std::uint16_t day = 0; // signal day, index from the series' first day
    std::uint8_t signal = 0;
    std::uint8_t law = 0;
    std::uint32_t entryPrice = 0; // open of the day after the signal, stored price units
};

// A stretch of holding that ends at a month start or where a new position takes over.
struct MonthlySegment {
    std::uint16_t endPosition = 0; // calendar position of the day the segment ends on
    std::uint8_t side = 0;         // signal flag of the position in force
    std::uint32_t startPrice = 0;  // stored price units
    std::uint32_t endPrice = 0;
};

struct CachedAnalysis {
    SecurityKey key = 0;
    ListingAnalysis record;
};

class CWindowsPerformer {
public:
    CWindowsPerformer() = default;
    virtual ~CWindowsPerformer() = default;
    CWindowsPerformer(const CWindowsPerformer&) = delete;
    CWindowsPerformer& operator=(const CWindowsPerformer&) = delete;

    // --- Operations in slot order ---
    // Bounds of the most recently opened downward and upward windows open at a calendar
    // position: downward upper, lower, upward upper, lower; zeros for a missing direction.
    virtual std::array<std::uint32_t, 4> GetLatestWindowsAt(int position) const;
    // The same for a date; four zeros for a date the calendar in use does not hold.
    virtual std::array<std::uint32_t, 4> GetLatestWindows(PackedDate date) const;
    // All windows open at a calendar position (negative: none).
    virtual void CollectOpenWindowsAt(OpenWindowList& out, int position) const;
    virtual void CollectOpenWindows(OpenWindowList& out, PackedDate date) const;
    // Diagnostic dumps to log channel 1.
    virtual void DumpOpenWindows(const OpenWindowList& list) const;
    virtual void DumpHistory() const;

    // Forgets the calendar, the positions, the window history, the position map and the
    // monthly segments; the results cache and the series stay.
    void Reset();

    // --- The security under analysis ---
    const SecurityRecord* Security() const { return security_; }
    void SetSecurity(const SecurityRecord* security) { security_ = security; }
    PeriodKind Period() const { return periodKind_; }
    void SetPeriod(PeriodKind periodKind) { periodKind_ = periodKind; }
    const CCalendar* Calendar() const { return calendar_; }
    void SetCalendar(const CCalendar* calendar) { calendar_ = calendar; }
    // Calendar positions of the analysed series' first and last days; -1 until set.
    int FirstPosition() const { return firstPosition_; }
    int LastPosition() const { return lastPosition_; }
    void SetPositions(int first, int last) {
        firstPosition_ = first;
        lastPosition_ = last;
    }
    SeriesSet& Series() { return series_; }
    const SeriesSet& Series() const { return series_; }

    // --- Window history, grouped by identifier, each window's records in written order ---
    void AppendRecord(const WindowStateRecord& record);
    // Groups the records written since the last Reset by identifier; call once the replay
    // has written them all.
    void FinishHistory();
    // Multiplies every recorded price by `factor`.
    void ScaleHistory(std::uint32_t factor);
    const std::vector<WindowStateRecord>& History() const { return history_; }
    std::size_t WindowCount() const { return windowStarts_.empty() ? 0 : windowStarts_.size() - 1; }
    std::span<const WindowStateRecord> RecordsOf(std::uint16_t identifier) const;

    // --- Positions (ascending by day) and monthly segments (ascending by end position) ---
    void AddPosition(const PositionEntry& entry) { positions_.push_back(entry); }
    const std::vector<PositionEntry>& Positions() const { return positions_; }
    void AddSegment(const MonthlySegment& segment);
    const std::vector<MonthlySegment>& Segments() const { return segments_; }

    // --- Results cache, ascending by key ---
    const ListingAnalysis* FindResult(SecurityKey key) const;
    void StoreResult(SecurityKey key, const ListingAnalysis& record);
    void ClearResults() { results_.clear(); }
    const std::vector<CachedAnalysis>& Results() const { return results_; }

private:
    std::vector<CachedAnalysis> results_;
    const SecurityRecord* security_ = nullptr;
    PeriodKind periodKind_ = PeriodKind::Daily;
    const CCalendar* calendar_ = nullptr;
    int firstPosition_ = -1;
    int lastPosition_ = -1;
    SeriesSet series_;
    std::vector<WindowStateRecord> history_;
    // windowStarts_[id] .. windowStarts_[id + 1] are the records of window `id`.
    std::vector<std::uint32_t> windowStarts_;
    std::vector<PositionEntry> positions_;
    std::vector<MonthlySegment> segments_;
};

} // namespace vorn
