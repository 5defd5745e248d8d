#pragma once
// The screening conditions: one record that the screening tool bar and dialogs edit, the
// securities list filters by, the contents history copies and the settings file stores.
//
// Everything but the preferred and excluded sets has a fixed 392-byte little-endian stored
// form (ToImage / FromImage). Saved files and history entries rely on every offset below.
#include <array>
#include <cstdint>

#include "screening/security_key_set.h"

namespace vorn {

constexpr std::size_t kScreeningImageSize = 392;
using ScreeningImage = std::array<std::uint8_t, kScreeningImageSize>;

// --- ScreeningRange::flags ---
constexpr std::uint8_t kRangeOn = 1;
constexpr std::uint8_t kRangeRankMode = 2;
// In rank mode the lower bound is the last rank and the upper bound the first rank.
constexpr std::uint8_t kRangeLowerSet = 4;
constexpr std::uint8_t kRangeUpperSet = 8;
// Set by ResetScreening on price, marketCap and analysisPeriod. No test reads it; it is kept
// because stored settings carry it.
constexpr std::uint8_t kRangeResetMark = 16;

// A value range condition. Bounds are inclusive.
struct ScreeningRange {
    std::uint8_t flags = 0;
    double lower = 0.0;
    double upper = 0.0;

    bool IsOn() const { return (flags & kRangeOn) != 0; }
    bool IsRankMode() const { return (flags & kRangeRankMode) != 0; }
    bool HasLower() const { return (flags & kRangeLowerSet) != 0; }
    bool HasUpper() const { return (flags & kRangeUpperSet) != 0; }

    friend bool operator==(const ScreeningRange&, const ScreeningRange&) = default;
};

// --- markets, sectors ---
constexpr std::uint16_t kAllMarkets = 0x7FFF;         // bit (code - 1) for codes 1..15
constexpr std::uint64_t kAllSectors = 0x3FFFFFFFFull; // bit (code - 1) for codes 1..34

// --- laws: the law codes in the low byte ---
constexpr std::uint16_t kLawsAcceptWithoutEvent = 0x8000; // no event on the last day passes
constexpr std::uint16_t kAllLaws = 0x80FF;

// --- positions: bit (code - 1) for position codes 1..6 ---
constexpr std::uint8_t kPositionsNone = 128; // securities without a position pass
constexpr std::uint8_t kAllPositions = 0xBF;

// --- options ---
constexpr std::uint8_t kOptionPreferredMarketOnly = 1;
constexpr std::uint8_t kOptionIncludeDelisted = 2;
constexpr std::uint8_t kOptionMarginTradableOnly = 4;

// --- candleShapes: all twelve shapes and the invalid shape ---
constexpr std::uint16_t kAllCandleShapes = 0x8FFF;

// --- InclinationCondition::flags ---
constexpr std::uint8_t kInclinationCurrentOn = 1;
constexpr std::uint8_t kInclinationPreviousOn = 2;
constexpr std::uint8_t kInclinationCurrentLowerSet = 4;
constexpr std::uint8_t kInclinationCurrentUpperSet = 8;
constexpr std::uint8_t kInclinationPreviousLowerSet = 16;
constexpr std::uint8_t kInclinationPreviousUpperSet = 32;

// --- WindowsAndShadows::flags ---
// Tests, low byte. Every measure is a percentage of the last close.
constexpr std::uint32_t kWsWindowAbove = 0x01; // (AU - AL) / P
constexpr std::uint32_t kWsWindowBelow = 0x02; // (BU - BL) / P
constexpr std::uint32_t kWsSpaceAbove = 0x04;  // (AL - P) / P
constexpr std::uint32_t kWsSpaceBelow = 0x08;  // (P - BU) / P
constexpr std::uint32_t kWsUpperShadow = 0x10; // (H - max(O, P)) / P
constexpr std::uint32_t kWsLowerShadow = 0x20; // (min(O, P) - L) / P
constexpr std::uint32_t kWsBody = 0x40;
constexpr std::uint32_t kWsBlackBody = 0x80; // body test: (O - P) / P, a white body rejects
// Bounds in use.
constexpr std::uint32_t kWsWindowAboveLowerSet = 0x100;
constexpr std::uint32_t kWsWindowAboveUpperSet = 0x200;
constexpr std::uint32_t kWsSpaceAboveLowerSet = 0x400;
constexpr std::uint32_t kWsSpaceAboveUpperSet = 0x800;
constexpr std::uint32_t kWsUpperShadowLowerSet = 0x1000;
constexpr std::uint32_t kWsUpperShadowUpperSet = 0x2000;
constexpr std::uint32_t kWsBodyLowerSet = 0x4000;
constexpr std::uint32_t kWsBodyUpperSet = 0x8000;
constexpr std::uint32_t kWsLowerShadowLowerSet = 0x10000;
constexpr std::uint32_t kWsLowerShadowUpperSet = 0x20000;
constexpr std::uint32_t kWsSpaceBelowLowerSet = 0x40000;
constexpr std::uint32_t kWsSpaceBelowUpperSet = 0x80000;
constexpr std::uint32_t kWsWindowBelowLowerSet = 0x100000;
constexpr std::uint32_t kWsWindowBelowUpperSet = 0x200000;
// Requirements with the window tests.
constexpr std::uint32_t kWsNoWindowAbove = 0x400000;
constexpr std::uint32_t kWsNoWindowBelow = 0x800000;
constexpr std::uint32_t kWsOn = 0x80000000;

// --- the price selector of the inclination parameters ---
constexpr std::uint8_t kSelectorOpen = 1;
constexpr std::uint8_t kSelectorHigh = 2;
constexpr std::uint8_t kSelectorMiddle = 4;
constexpr std::uint8_t kSelectorLow = 8;
constexpr std::uint8_t kSelectorClose = 16;

// Parameters of the price-band inclination index.
struct InclinationParameters {
    std::uint16_t days = 0;          // "日数"
    std::uint8_t priceSelector = 0;  // "株価": one of the kSelector values
    std::uint16_t bands = 0;         // "価格帯分割数"
    std::uint16_t analysedBands = 0; // "分析価格帯数"

    friend bool operator==(const InclinationParameters&, const InclinationParameters&) = default;
};

// The inclination tests on the newest value ("当日") and the one of the day before ("前日").
struct InclinationCondition {
    std::uint8_t flags = 0;
    double currentLower = 0.0;
    double currentUpper = 0.0;
    double previousLower = 0.0;
    double previousUpper = 0.0;

    friend bool operator==(const InclinationCondition&, const InclinationCondition&) = default;
};

// Parameters of the trading-value average.
struct TurnoverParameters {
    std::uint16_t evaluationDays = 0; // "評価日数", the short window
    std::uint16_t baseDays = 0;       // "基準日数", the long window

    friend bool operator==(const TurnoverParameters&, const TurnoverParameters&) = default;
};

struct BoundPair {
    double lower = 0.0;
    double upper = 0.0;

    friend bool operator==(const BoundPair&, const BoundPair&) = default;
};

// The window and shadow tests on the last day; members in stored order.
struct WindowsAndShadows {
    std::uint32_t flags = 0;
    BoundPair windowAbove;
    BoundPair spaceAbove;
    BoundPair upperShadow;
    BoundPair body;
    BoundPair lowerShadow;
    BoundPair spaceBelow;
    BoundPair windowBelow;

    friend bool operator==(const WindowsAndShadows&, const WindowsAndShadows&) = default;
};

// Value-initialised, every condition is zero (nothing passes but the preferred securities).
struct ScreeningSettings {
    std::uint16_t markets = 0;
    std::uint64_t sectors = 0;
    std::uint16_t laws = 0;
    std::uint8_t positions = 0;
    std::uint8_t options = 0;
    ScreeningRange price;          // "投資金額": last close x trading unit
    ScreeningRange marketCap;      // "時価総額": in units of 100,000,000
    ScreeningRange analysisPeriod; // "分析期間": trading days held, bounds truncated
    ScreeningRange annualReturn;   // percent
    ScreeningRange annualRisk;     // percent
    ScreeningRange beta;
    ScreeningRange volumeChange; // bounds are ratios of the last day's volume to the previous
    std::uint16_t candleShapes = 0;
    InclinationParameters inclinationParameters;
    InclinationCondition inclination;
    TurnoverParameters turnoverParameters;
    ScreeningRange turnoverAverage; // percent
    WindowsAndShadows windowsAndShadows;

    // Not part of the stored image.
    SecurityKeySet preferred; // always accepted
    SecurityKeySet excluded;  // always rejected

    friend bool operator==(const ScreeningSettings&, const ScreeningSettings&) = default;
};

// Writes every stored field at its offset; reserved bytes are zero.
void ToImage(const ScreeningSettings& settings, ScreeningImage& image);
ScreeningImage ToImage(const ScreeningSettings& settings);
// Reads every stored field; reserved bytes are ignored. The preferred and excluded sets of
// `settings` are left untouched.
void FromImage(const ScreeningImage& image, ScreeningSettings& settings);

// "条件選択の初期化": switches every condition to its broad default. Bounds, parameters and the
// preferred and excluded sets are left as they are.
void ResetScreening(ScreeningSettings& settings);

// Replaces indicator parameters that are zero or unusable by the indicator defaults: days 60,
// selector close, 80 bands, 10 analysed bands, trading-value windows 3 and 15 days. Runs once
// after the settings have been loaded.
void ApplyStartupParameterDefaults(ScreeningSettings& settings);

// What a first start (or a missing or damaged settings file) begins with: all-zero settings,
// ResetScreening, then ApplyStartupParameterDefaults; empty preferred and excluded sets.
ScreeningSettings MakeDefaultScreeningSettings();

} // namespace vorn
