#include "screening/ui/condition_texts.h"

#include <bit>
#include <cstdio>
#include <iterator>

#include "foundation/number_format.h"
#include "gaps/listing_analysis.h"
#include "matrix/name_tables.h"

namespace vorn {
namespace {

constexpr const char* kRangeNames[] = {"投資金額",     "時価総額", "分析期間",  "年平均リターン",
                                       "年平均リスク", "ベータ",   "出来高変化"};
constexpr const char* kRangeUnits[] = {"円", "億円", "日", "％", "％", "", "倍"};

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string Join(const std::string& joined, const char* name) {
    return joined.empty() ? std::string(name) : joined + "、" + name;
}

} // namespace

const char* RangeGroupName(int group) {
    return group >= 0 && group < kRangeGroupCount ? kRangeNames[group] : "";
}

const char* RangeGroupUnit(int group) {
    return group >= 0 && group < kRangeGroupCount ? kRangeUnits[group] : "";
}

bool RangeGroupHasRanks(int group) {
    return group == kRangePrice || group == kRangeMarketCap || group == kRangeAnnualReturn ||
           group == kRangeAnnualRisk || group == kRangeBeta;
}

ScreeningRange& RangeOf(ScreeningSettings& settings, int group) {
    switch (group) {
    case kRangePrice:
        return settings.price;
    case kRangeMarketCap:
        return settings.marketCap;
    case kRangeAnalysisPeriod:
        return settings.analysisPeriod;
    case kRangeAnnualReturn:
        return settings.annualReturn;
    case kRangeAnnualRisk:
        return settings.annualRisk;
    case kRangeBeta:
        return settings.beta;
    default:
        return settings.volumeChange;
    }
}

const ScreeningRange& RangeOf(const ScreeningSettings& settings, int group) {
    return RangeOf(const_cast<ScreeningSettings&>(settings), group);
}

const char* PriceSelectorLabel(std::uint8_t selector) {
    switch (selector) {
    case kSelectorOpen:
        return "始値";
    case kSelectorHigh:
        return "高値";
    case kSelectorMiddle:
        return "中値";
    case kSelectorLow:
        return "安値";
    case kSelectorClose:
        return "終値";
    default:
        return "";
    }
}

std::string InclinationSummaryText(const InclinationParameters& parameters) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "[%s %u日] 価格帯分割数：%u、分析価格帯数：%u",
                  PriceSelectorLabel(parameters.priceSelector), unsigned{parameters.days},
                  unsigned{parameters.bands}, unsigned{parameters.analysedBands});
    return buffer;
}

std::string TurnoverSummaryText(const TurnoverParameters& parameters) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "評価日数：%u日、基準日数：%u日",
                  unsigned{parameters.evaluationDays}, unsigned{parameters.baseDays});
    return buffer;
}

std::string BoundText(bool hasLower, double lower, bool hasUpper, double upper) {
    if (hasLower && hasUpper)
        return Format("%-g％以上、 ", lower) + Format("%-g％以下", upper);
    if (hasLower)
        return Format("%-g％以上", lower);
    if (hasUpper)
        return Format("%-g％以下", upper);
    return {};
}

std::string RangeText(const ScreeningRange& range, int group) {
    if (!range.HasLower() && !range.HasUpper())
        return "指定なし";
    if (range.IsRankMode()) {
        // The upper bound holds the first rank, the lower bound the last.
        std::string text;
        if (range.HasUpper())
            text += Format("%.0f位から", range.upper);
        if (range.HasLower())
            text += Format("%.0f位まで", range.lower);
        return text;
    }
    const std::string unit = RangeGroupUnit(group);
    std::string text;
    if (range.HasLower())
        text += Format("%-g", range.lower) + unit + "以上";
    if (range.HasUpper())
        text += (text.empty() ? "" : "、") + Format("%-g", range.upper) + unit + "以下";
    return text;
}

std::string MarketsText(std::uint16_t markets, MarketNaming naming) {
    if ((markets & kAllMarkets) == kAllMarkets)
        return "全市場";
    std::string text;
    for (unsigned market = 1; market <= 15; ++market)
        if (markets & (1u << (market - 1)))
            text = Join(text, naming.ShortName(market));
    return text.empty() ? "なし" : text;
}

std::string SectorsText(std::uint64_t sectors) {
    if ((sectors & kAllSectors) == kAllSectors)
        return "全業種";
    std::string text;
    for (unsigned sector = 1; sector <= 34; ++sector)
        if (sectors & (std::uint64_t{1} << (sector - 1)))
            text = Join(text, IndustryName(sector));
    return text.empty() ? "なし" : text;
}

std::string LawsText(std::uint16_t laws) {
    if (laws == kAllLaws)
        return "全法則";
    std::string text;
    for (unsigned index = 1; index <= 8; ++index)
        if (laws & (1u << (index - 1)))
            text = Join(text, LawTitle(index));
    if (laws & kLawsAcceptWithoutEvent)
        text = Join(text, "当日シグナルなし");
    return text.empty() ? "なし" : text;
}

std::string PositionsText(std::uint8_t positions) {
    if (positions == kAllPositions)
        return "全ポジション";
    std::string text;
    for (PositionCode position : kHeldPositions)
        if (positions & (1u << (position - 1)))
            text = Join(text, PositionName(position));
    if (positions & kPositionsNone)
        text = Join(text, "ポジションなし");
    return text.empty() ? "なし" : text;
}

std::string OptionsText(std::uint8_t options) {
    std::string text;
    if (options & kOptionPreferredMarketOnly)
        text = Join(text, "優先市場");
    if (options & kOptionIncludeDelisted)
        text = Join(text, "上場廃止");
    if (options & kOptionMarginTradableOnly)
        text = Join(text, "貸借銘柄");
    return text.empty() ? "なし" : text;
}

std::string CandleShapesText(std::uint16_t shapes) {
    if ((shapes & kAllCandleShapes) == kAllCandleShapes)
        return "全形状";
    if (shapes == 0)
        return "なし";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d形状", std::popcount(unsigned{shapes}));
    return buffer;
}

std::string WindowsAndShadowsText(const WindowsAndShadows& tests) {
    const int count = std::popcount(tests.flags & 0x7Fu);
    if (count == 0)
        return "指定なし";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d項目", count);
    return buffer;
}

std::string SecurityCountText(std::size_t count) {
    char buffer[kGroupedIntegerCapacity];
    FormatGroupedInteger(buffer, count);
    return std::string(buffer) + " 銘柄";
}

const char* MarketToggleLabel(unsigned market, MarketNaming naming) {
    if (market == 6)
        return "ヘラクレスＳｔｄ";
    if (market == 7)
        return "ヘラクレスＧｒｓ";
    return naming.Name(market);
}

} // namespace vorn
