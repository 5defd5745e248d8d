#pragma once
// The window events of the whole market and the analysis of every security.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "gaps/window_event_map.h"
#include "matrix/market_matrix.h"

namespace vorn {

class CWindowsPerformer;
struct AnalysisResults;

// Status text posted once at the start of the mapping pass (UTF-8, shown as it is).
inline constexpr char kMarketMappingStatusText[] = "マーケット全体の窓をマッピングしています";

class CMarketWindows {
public:
    CMarketWindows();
    virtual ~CMarketWindows();
    CMarketWindows(const CMarketWindows&) = delete;
    CMarketWindows& operator=(const CMarketWindows&) = delete;

    // --- Operations in slot order (per-security analysis, market_windows_analysis.cpp) ---
    // Analyses the security the performer holds; true when a record was stored or cached.
    virtual bool AnalyseListing(const CMarketMatrix& matrix, PeriodKind periodKind,
                                CWindowsPerformer& performer, bool force);
    // Looks the security up by key, makes it the performer's (forcing the analysis when it
    // changed) and analyses it; false for an unknown key.
    virtual bool AnalyseListingByKey(const CMarketMatrix& matrix, SecurityKey key,
                                     PeriodKind periodKind, CWindowsPerformer& performer,
                                     bool force);
    // Starts the worker over all securities; results go into `destination`.
    virtual bool StartMarketAnalysis(const CMarketMatrix& matrix, AnalysisResults& destination,
                                     IMessageSink* sink);
    virtual void OnStartMarketAnalysis() {}

    // --- The mapping pass (market_windows_map.cpp) ---
    // Maps every security's daily history; true when every security was mapped. The sink and
    // the cancel event may be null.
    bool MapMarketWindows(CMarketMatrix& matrix, CEvent* cancel, IMessageSink* sink);
    // Maps one security's daily series; the number of calendar days covered, or 0.
    // Maps every security's series of one period kind into that kind's event and counts
    // maps, leaving the other kinds and the preferred markets alone; false when the calendar
    // is empty, the kind unknown or the cancel event (may be null) was signalled.
    bool MapPeriodWindows(const CMarketMatrix& matrix, PeriodKind periodKind, CEvent* cancel);
    static std::uint16_t MapListingWindows(const SeriesSet& series, SecurityKey keyBase,
                                           const CCalendar& calendar, CWindowEventMap& events,
                                           CWindowCountsMap& counts);

    const CWindowEventMap& EventMap(PeriodKind periodKind = PeriodKind::Daily) const {
        return eventMaps_[PeriodIndex(periodKind)];
    }
    const CWindowCountsMap& CountsMap(PeriodKind periodKind = PeriodKind::Daily) const {
        return countsMaps_[PeriodIndex(periodKind)];
    }
    CEvent& CancelEvent() { return cancel_; }
    // Waits for a running market analysis worker to end.
    void JoinWorker();

private:
    std::array<CWindowEventMap, 3> eventMaps_;
    std::array<CWindowCountsMap, 3> countsMaps_;

    // Benchmark deviations shared by every analysis of the same last day.
    std::vector<double> benchmarkDeviations_;
    double benchmarkSumOfSquares_ = 0.0;
    PackedDate benchmarkDate_ = 0;
    // Guards the three benchmark members: the chart's analysis and the worker may both use them.
    std::mutex benchmarkMutex_;

    std::unique_ptr<CWindowsPerformer> workerPerformer_;
    std::thread worker_;
    CEvent workerEnded_{true, true};
    CEvent cancel_{true, false};
    const CMarketMatrix* workerMatrix_ = nullptr;
    AnalysisResults* workerDestination_ = nullptr;
    IMessageSink* workerSink_ = nullptr;
    double workerProgress_ = 0.0;
    double workerStep_ = 0.0;
    // Set by the destructor. The worker resets the cancel event when it starts, so a stop
    // request must not depend on that event alone.
    std::atomic<bool> stopping_{false};
};

} // namespace vorn
