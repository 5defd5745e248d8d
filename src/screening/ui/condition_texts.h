#pragma once
// The texts of the screening panel that describe the current conditions (UTF-8).
#include <cstdint>
#include <string>

#include "matrix/market_naming.h"
#include "screening/screening_settings.h"

namespace vorn {

// The range groups in the order of the tool bar's message 1040.
enum RangeGroup : int {
    kRangePrice = 0,
    kRangeMarketCap,
    kRangeAnalysisPeriod,
    kRangeAnnualReturn,
    kRangeAnnualRisk,
    kRangeBeta,
    kRangeVolumeChange,
    kRangeGroupCount
};

const char* RangeGroupName(int group);
// The unit shown after a value bound; empty for beta.
const char* RangeGroupUnit(int group);
// Only these groups have a rank index.
bool RangeGroupHasRanks(int group);
ScreeningRange& RangeOf(ScreeningSettings& settings, int group);
const ScreeningRange& RangeOf(const ScreeningSettings& settings, int group);

// "始値", "高値", "中値", "安値", "終値"; empty for another selector.
const char* PriceSelectorLabel(std::uint8_t selector);

// "[終値 60日] 価格帯分割数：80、分析価格帯数：10"
std::string InclinationSummaryText(const InclinationParameters& parameters);
// "評価日数：3日、基準日数：15日"
std::string TurnoverSummaryText(const TurnoverParameters& parameters);
// "%-g％以上", "%-g％以下", "%-g％以上、 %-g％以下", or empty when neither bound is set.
std::string BoundText(bool hasLower, double lower, bool hasUpper, double upper);
// A range group's bounds in its unit, or its ranks in rank mode; "指定なし" without bounds.
std::string RangeText(const ScreeningRange& range, int group);

// Summaries of the bit sets: "全市場" / "なし" / the chosen names joined by "、".
std::string MarketsText(std::uint16_t markets, MarketNaming naming = {});
std::string SectorsText(std::uint64_t sectors);
std::string LawsText(std::uint16_t laws);
std::string PositionsText(std::uint8_t positions);
std::string OptionsText(std::uint8_t options);
std::string CandleShapesText(std::uint16_t shapes);
std::string WindowsAndShadowsText(const WindowsAndShadows& tests);
// "%u 銘柄" with thousands separators.
std::string SecurityCountText(std::size_t count);

// Labels of the market toggles: the long market names, with the two that do not fit shortened.
const char* MarketToggleLabel(unsigned market, MarketNaming naming = {});

} // namespace vorn
