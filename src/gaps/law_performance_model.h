#pragma once
// What the law performance panel shows for one security: per trading law the winning, losing
// and even trades, the win rate and the average return, as table texts in their colours and
// as the radar chart's two octagons. Texts are UTF-8.
#include <array>
#include <cstdint>
#include <string>

#include "gaps/display_figures.h"
#include "gaps/listing_analysis.h"
#include "matrix/market_naming.h"

namespace vorn {

inline constexpr char kLawPerformanceTitle[] = "法則別パフォーマンス";
inline constexpr char kLawPerformanceMenuText[] = "法則別パフォーマンス...";
inline constexpr char kLawPerformanceToolTip[] = "法則別のパフォーマンスデータを表示します";
// wParam of message 1027 when the panel is closed.
constexpr std::uintptr_t kLawPerformanceClosed = 4;

constexpr ColorRef kBuyLawColour = 0x00FF00;
constexpr ColorRef kSellLawColour = 0x00A5FF;
constexpr ColorRef kLawTableOuterBorder = 0x696969;
constexpr ColorRef kLawTableInnerBorder = 0x303030;
constexpr ColorRef kWinRateFill = 0x000088;
constexpr ColorRef kWinRateOutline = 0x0000FF;
constexpr ColorRef kAverageReturnFill = 0x007700;
constexpr ColorRef kAverageReturnOutline = 0x00FF00;

inline constexpr const char* kLawPerformanceHeadings[] = {"法則", "勝ち", "負け",
                                                          "分け", "勝率", "平均リターン"};
// Texts the column widths are measured from: the longest label, a count, a win rate.
inline constexpr char kLawLabelSample[] = "[3]窓空け上昇も上方窓到達";
inline constexpr char kLawCountSample[] = "8,888";
inline constexpr char kLawRateSample[] = "888.88%";
// Legend boxes beside the radar chart: two lines each.
inline constexpr char kWinRateLegend[] = "    勝率    ";
inline constexpr char kWinRateLegendRange[] = "0 ～ 100%";
inline constexpr char kAverageReturnLegend[] = "平均リターン";
inline constexpr char kAverageReturnLegendRange[] = "0 ～ 5%";

// The value at which a radar vertex reaches the octagon's edge, in percent.
constexpr double kWinRateScale = 100.0;
constexpr double kAverageReturnScale = 5.0;

// Law codes of the table rows, top to bottom: the buy laws 1 to 4, then the sell laws.
inline constexpr LawCode kLawRowCodes[kLawCount] = {kLaw1Buy,  kLaw2Buy,  kLaw3Buy,  kLaw4Buy,
                                                    kLaw1Sell, kLaw2Sell, kLaw3Sell, kLaw4Sell};
// Law codes of the radar axes k = 0..7, at the angles kRadarAxisAngles[k] (radians, clockwise
// on the screen from the right: y grows downwards).
inline constexpr LawCode kRadarAxisLaws[kLawCount] = {kLaw3Sell, kLaw4Sell, kLaw4Buy,  kLaw3Buy,
                                                      kLaw2Buy,  kLaw1Buy,  kLaw1Sell, kLaw2Sell};
inline constexpr double kRadarAxisAngles[kLawCount] = {
    0.39269875, 1.17809625, 1.96349375, 2.74889125, 3.53428875, 4.31968625, 5.10508375, 5.89048125};

struct LawPerformanceCell {
    std::string text;
    ColorRef colour = kTextGrey;
};

struct LawPerformanceRow {
    LawCode lawCode = kLawNone;
    std::string label; // "[n]" and the law's name
    ColorRef labelColour = kBuyLawColour;
    std::string axisLabel; // "[n]" at the radar axis end
    LawStats stats;
    unsigned trades = 0;
    double winRate = 0.0;       // percent
    double averageReturn = 0.0; // percent
    LawPerformanceCell wins, losses, evens, winRateCell, averageReturnCell;
};

struct RadarPoint {
    int x = 0;
    int y = 0;
    bool operator==(const RadarPoint&) const = default;
};
using RadarPolygon = std::array<RadarPoint, kLawCount>;

// The eight rows for a set of law statistics (law-code order 1, 2, 4, ..., 128).
std::array<LawPerformanceRow, kLawCount>
BuildLawPerformanceRows(const std::array<LawStats, kLawCount>& stats);

// The vertex of a value on axis k: at r x min(value / scale, 1) from the centre, at the
// centre below 0; truncated to whole pixels and moved up and left by one.
RadarPoint RadarVertex(int axis, double value, double scale, double centreX, double centreY,
                       double radius);

// The panel's state for the security it shows.
class CLawPerformanceModel {
public:
    CLawPerformanceModel();

    // Shows the security's record from `results` (zeros when it has none, or for no security).
    // False, with nothing changed, when the security is the one already shown.
    bool SetListing(const SecurityRecord* security, const AnalysisResults& results,
                    MarketNaming naming = {});

    const SecurityRecord* Listing() const { return listing_; }
    const std::string& Title() const { return title_; }
    const std::array<LawPerformanceRow, kLawCount>& Rows() const { return rows_; }
    // The row of a law code; null for anything but one law bit.
    const LawPerformanceRow* RowOf(LawCode lawCode) const;

    // The win-rate and average-return octagons for a chart centred at (x, y) with radius r.
    RadarPolygon WinRatePolygon(double centreX, double centreY, double radius) const;
    RadarPolygon AverageReturnPolygon(double centreX, double centreY, double radius) const;

private:
    const SecurityRecord* listing_ = nullptr;
    std::string title_;
    std::array<LawPerformanceRow, kLawCount> rows_;
};

} // namespace vorn
