#pragma once
// Which names the market codes carry. The Tokyo and Nagoya exchanges renamed their sections on
// 2022/04/04; a content file whose last day is on or after that day shows the present-day
// names, an older file the names it was recorded under. The stored market codes never change.
#include "foundation/packed_date.h"

namespace vorn {

class CMarketMatrix;

constexpr PackedDate kPresentDaySegmentsStart = MakePackedDate(2022, 4, 4);

class MarketNaming final {
public:
    MarketNaming() = default; // the names before 2022/04/04
    // The names that apply to a market whose last trading day is `lastDay`.
    static MarketNaming ForLastDay(PackedDate lastDay) {
        return MarketNaming(lastDay != kNoDate && lastDay >= kPresentDaySegmentsStart);
    }

    bool PresentDay() const { return presentDay_; }
    const char* Name(unsigned market) const;      // 0..15, long form
    const char* ShortName(unsigned market) const; // 0..15

private:
    explicit MarketNaming(bool presentDay) : presentDay_(presentDay) {}
    bool presentDay_ = false;
};

// The naming of the matrix's last real trading day (forecast days projected onto the end of
// the calendar do not count).
MarketNaming MarketNamingOf(const CMarketMatrix& matrix);

} // namespace vorn
