#include "gaps/law_performance_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "matrix/name_tables.h"
#include "matrix/stock_code.h"

namespace vorn {
namespace {

constexpr char kZeroPercent[] = "0.00%";

// "[n]" of a law code: n is the law's number 1..4.
std::string LawNumberLabel(LawCode lawCode) {
    char text[8];
    std::snprintf(text, sizeof text, "[%d]", LawStatsIndex(lawCode) / 2 + 1);
    return text;
}

LawPerformanceCell CountCell(unsigned count, bool traded) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", count);
    return {text, traded ? kTextWhite : kTextGrey};
}

} // namespace

std::array<LawPerformanceRow, kLawCount>
BuildLawPerformanceRows(const std::array<LawStats, kLawCount>& stats) {
    std::array<LawPerformanceRow, kLawCount> rows;
    for (int i = 0; i < kLawCount; ++i) {
        LawPerformanceRow& row = rows[static_cast<std::size_t>(i)];
        const LawCode code = kLawRowCodes[i];
        row.lawCode = code;
        row.axisLabel = LawNumberLabel(code);
        row.label = row.axisLabel + LawNameOfCode(code);
        row.labelColour = IsBuySignal(code) ? kBuyLawColour : kSellLawColour;
        row.stats = stats[static_cast<std::size_t>(LawStatsIndex(code))];
        row.trades = static_cast<unsigned>(row.stats.wins) + row.stats.losses + row.stats.evens;
        const bool traded = row.trades > 0;
        if (traded) {
            row.winRate = static_cast<double>(row.stats.wins) / row.trades * 100.0;
            row.averageReturn = row.stats.sumOfReturns / row.trades * 100.0;
        }
        row.wins = CountCell(row.stats.wins, traded);
        row.losses = CountCell(row.stats.losses, traded);
        row.evens = CountCell(row.stats.evens, traded);
        if (!traded) {
            row.winRateCell = {kZeroPercent, kTextGrey};
            row.averageReturnCell = {kZeroPercent, kTextGrey};
            continue;
        }
        row.winRateCell = {GroupedReal(row.winRate, "%.02f%%"), kTextWhite};
        if (row.averageReturn == 0.0)
            row.averageReturnCell = {kZeroPercent, kTextWhite};
        else
            row.averageReturnCell = {GroupedReal(row.averageReturn, "%+.02f%%"),
                                     row.averageReturn > 0 ? kGainColour : kLossColour};
    }
    return rows;
}

RadarPoint RadarVertex(int axis, double value, double scale, double centreX, double centreY,
                       double radius) {
    double distance = 0.0;
    // A NaN compares false everywhere and stays at the centre with the negative values.
    if (value > 0 && scale > 0 && axis >= 0 && axis < kLawCount)
        distance = radius * std::min(value / scale, 1.0);
    const double angle = axis >= 0 && axis < kLawCount ? kRadarAxisAngles[axis] : 0.0;
    const double x = centreX + distance * std::cos(angle);
    const double y = centreY + distance * std::sin(angle);
    return {static_cast<int>(x) - 1, static_cast<int>(y) - 1};
}

CLawPerformanceModel::CLawPerformanceModel()
    : title_(kLawPerformanceTitle), rows_(BuildLawPerformanceRows({})) {}

bool CLawPerformanceModel::SetListing(const SecurityRecord* security,
                                      const AnalysisResults& results, MarketNaming naming) {
    if (security == listing_)
        return false;
    listing_ = security;
    const ListingAnalysis* record = nullptr;
    if (security != nullptr) {
        const auto found = results.records.find(security->Key());
        if (found != results.records.end())
            record = &found->second;
    }
    if (record == nullptr) {
        title_ = kLawPerformanceTitle;
        rows_ = BuildLawPerformanceRows({});
        return true;
    }
    title_ = std::string(kLawPerformanceTitle) + " [" + FormatStockCode(security->Code()) + "：" +
             naming.Name(security->market) + "]";
    rows_ = BuildLawPerformanceRows(record->lawStats);
    return true;
}

const LawPerformanceRow* CLawPerformanceModel::RowOf(LawCode lawCode) const {
    for (const LawPerformanceRow& row : rows_)
        if (row.lawCode == lawCode && lawCode != kLawNone)
            return &row;
    return nullptr;
}

RadarPolygon CLawPerformanceModel::WinRatePolygon(double centreX, double centreY,
                                                  double radius) const {
    RadarPolygon polygon;
    for (int k = 0; k < kLawCount; ++k)
        polygon[static_cast<std::size_t>(k)] = RadarVertex(k, RowOf(kRadarAxisLaws[k])->winRate,
                                                           kWinRateScale, centreX, centreY, radius);
    return polygon;
}

RadarPolygon CLawPerformanceModel::AverageReturnPolygon(double centreX, double centreY,
                                                        double radius) const {
    RadarPolygon polygon;
    for (int k = 0; k < kLawCount; ++k)
        polygon[static_cast<std::size_t>(k)] =
            RadarVertex(k, RowOf(kRadarAxisLaws[k])->averageReturn, kAverageReturnScale, centreX,
                        centreY, radius);
    return polygon;
}

} // namespace vorn
