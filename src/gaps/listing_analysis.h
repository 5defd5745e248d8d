#pragma once
// The per-security analysis record: the position the trading laws leave a security in, how
// each law has performed on it, and a few figures of its last days.
#include <array>
#include <bit>
#include <cstdint>
#include <map>

#include "matrix/market_records.h"

namespace vorn {

// One bit per law and side; the signal flags of the buy side are in 0x55, of the sell side
// in 0xAA.
enum LawCode : std::uint8_t {
    kLawNone = 0,
    kLaw1Buy = 1,
    kLaw1Sell = 2,
    kLaw2Buy = 4,
    kLaw2Sell = 8,
    kLaw3Buy = 16,
    kLaw3Sell = 32,
    kLaw4Buy = 64,
    kLaw4Sell = 128,
};
constexpr int kLawCount = 8;
constexpr std::uint8_t kBuySideMask = 0x55;
constexpr std::uint8_t kSellSideMask = 0xAA;

constexpr bool IsBuySignal(std::uint8_t flag) {
    return (flag & kBuySideMask) != 0;
}
constexpr bool IsSellSignal(std::uint8_t flag) {
    return (flag & kSellSideMask) != 0;
}
// Index of a single-bit law code into ListingAnalysis::lawStats (0..7); -1 otherwise.
constexpr int LawStatsIndex(std::uint8_t code) {
    return std::has_single_bit(code) ? std::countr_zero(code) : -1;
}

enum PositionCode : std::uint8_t {
    kPositionNone = 0,
    kPositionNewBuy = 1,     // first position, buy, signalled on the last analysed day
    kPositionNewSell = 2,    // first position, sell, signalled on the last analysed day
    kPositionSwitchBuy = 3,  // a switch to buy on the last analysed day
    kPositionSwitchSell = 4, // a switch to sell on the last analysed day
    kPositionHoldBuy = 5,    // buy signalled before the last analysed day
    kPositionHoldSell = 6,   // sell signalled before the last analysed day
};
// The positions a listing can hold, in code order (bit code - 1 in screening masks).
constexpr PositionCode kHeldPositions[] = {kPositionNewBuy,    kPositionNewSell,
                                           kPositionSwitchBuy, kPositionSwitchSell,
                                           kPositionHoldBuy,   kPositionHoldSell};

// Candle shape codes; a last day without volume has kCandleShapeNoVolume.
enum CandleShape : std::uint16_t {
    kShapeBlack = 1,
    kShapeBlackLowerShadow = 2,
    kShapeBlackBothShadows = 4,
    kShapeBlackUpperShadow = 8,
    kShapeDojiLowerShadow = 16,
    kShapeDojiBothShadows = 32,
    kShapeDoji = 64,
    kShapeDojiUpperShadow = 128,
    kShapeWhiteLowerShadow = 256,
    kShapeWhiteBothShadows = 512,
    kShapeWhiteUpperShadow = 1024,
    kShapeWhite = 2048,
    kCandleShapeNoVolume = 0x8000,
};

struct LawStats {
    std::uint16_t wins = 0;
    std::uint16_t losses = 0;
    std::uint16_t evens = 0;
    double sumOfReturns = 0.0;

    bool operator==(const LawStats&) const = default;
};

struct ListingAnalysis {
    std::uint8_t signal = 0;    // signal flag of the position in force, 0 for none
    std::uint8_t signalLaw = 0; // law number (1..4) of that signal
    PositionCode position = kPositionNone;
    std::uint16_t daysHeld = 0; // positions 5 and 6: days from the signal to the last day
    std::uint8_t lastEventSignal = 0;
    std::uint8_t lastEventLaw = 0;
    // Calendar positions from the last event day to the last day; without any event, the
    // last day's own calendar position.
    std::uint16_t daysSinceEvent = 0;
    double annualReturn = 0.0; // percent
    double annualRisk = 0.0;   // percent
    double beta = 0.0;
    std::array<LawStats, kLawCount> lawStats{}; // law codes 1, 2, 4, ..., 128
    std::uint16_t candleShape = 0;
    double volumeChange = 0.0; // last day's volume over the previous day's, minus 1; -1 unknown
    // Open windows at the last day: downward upper, lower, then upward upper, lower.
    std::array<std::uint32_t, 4> latestWindows{};

    bool operator==(const ListingAnalysis&) const = default;
};

// The application's analysis results: a period kind and one record per security.
struct AnalysisResults {
    PeriodKind periodKind = PeriodKind::Daily;
    std::map<SecurityKey, ListingAnalysis> records;
};

// Law code of a signal (flag, law number 1..4); 0 for a flag that is not one event bit.
LawCode LawCodeOf(std::uint8_t lawNumber, std::uint8_t signalFlag);
// Shape code of a candle; 0 for a candle whose prices are not ordered like a candle's.
std::uint16_t CandleShapeOf(std::uint32_t open, std::uint32_t high, std::uint32_t low,
                            std::uint32_t close);

// Display names (UTF-8). Law names by index 0..8 ("なし" at 0), laws by code, the titles of
// the law choices of the dialogs (index 0 "全法則"), positions 0..6 and candle shapes.
const char* LawName(unsigned index);
const char* LawNameOfCode(LawCode code);
const char* LawTitle(unsigned index);
const char* PositionName(PositionCode position);
const char* CandleShapeName(std::uint16_t shape);
// The shape codes in the order of the screening tool bar's buttons.
extern const std::array<std::uint16_t, 13> kCandleShapeButtonOrder;

} // namespace vorn
