#pragma once
// A hand-built market that has been through the mapping pass, with a performer to analyse
// its securities as the chart does.
#include <memory>
#include <vector>

#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "support/market_builder.h"

namespace vorn::test {

// An upward window opened on day 1 (a law-1 buy), reduced on day 3 and filled on day 4,
// where a downward window opens (a law-3 sell); that one is reached on day 6, reduced on
// day 7 and filled on day 8.
inline std::vector<Ohlcv> TwoWindowRows() {
    return {
        {100, 105, 95, 100, 1000},  // 0
        {110, 115, 108, 112, 1000}, // 1: up 108/105
        {112, 116, 109, 114, 1000}, // 2
        {110, 112, 107, 108, 1000}, // 3: reduced to 107/105
        {100, 101, 90, 95, 1000},   // 4: filled; down 107/101
        {96, 99, 94, 97, 1000},     // 5
        {98, 101, 96, 100, 1000},   // 6: reached
        {100, 104, 99, 103, 1000},  // 7: reduced to 107/104
        {105, 108, 104, 107, 1000}, // 8: filled
        {107, 108, 106, 107, 1500}, // 9
    };
}

class CAnalysedMarket {
public:
    explicit CAnalysedMarket(const CMarketBuilder& builder) : matrix_(builder.Build()) {
        mapped_ = windows_.MapMarketWindows(*matrix_, nullptr, nullptr);
    }

    // The forced analysis of one security; null when it failed.
    const ListingAnalysis* Analyse(std::uint16_t code, std::uint8_t market = 1) {
        const SecurityKey key = MakeSecurityKey(code, market);
        if (!windows_.AnalyseListingByKey(*matrix_, key, PeriodKind::Daily, performer_, true))
            return nullptr;
        return performer_.FindResult(key);
    }

    bool Mapped() const { return mapped_; }
    CMarketMatrix& Matrix() { return *matrix_; }
    CMarketWindows& Windows() { return windows_; }
    CWindowsPerformer& Performer() { return performer_; }
    const CCalendar& Calendar() const { return matrix_->DailyCalendar(); }

private:
    std::unique_ptr<CMarketMatrix> matrix_;
    CMarketWindows windows_;
    CWindowsPerformer performer_;
    bool mapped_ = false;
};

} // namespace vorn::test
