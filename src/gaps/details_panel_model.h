#pragma once
// What the details panel beside the gap chart shows: the security's quote data, the boxes of
// the company's markets, and the profit and loss of the trading laws' positions over three
// look-back periods and the whole analysis period. Texts are UTF-8.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gaps/display_figures.h"
#include "gaps/windows_performer.h"
#include "matrix/market_matrix.h"

namespace vorn {

// Messages the panel posts to its parent.
constexpr std::uint32_t kMsgDetailsSelectListing = 1025; // wParam code, lParam market
constexpr std::uint32_t kMsgDetailsSelectDays = 1026;    // wParam number of days
// How long a clicked heading shows its number of days.
constexpr int kDetailsHeadingFlashMs = 25;

inline constexpr char kDetailsMarketCapLabel[] = "時価総額";
inline constexpr char kDetailsSharesLabel[] = "発行済株式数";
inline constexpr char kDetailsUnitLabel[] = "単元株数";
inline constexpr char kDetailsStatusLabel[] = "ステータス";
inline constexpr char kDetailsChangeLabel[] = "前日比";
inline constexpr char kDetailsVolumeLabel[] = "出来高";
inline constexpr char kDetailsStanceLabel[] = "スタンス";
inline constexpr const char* kDetailsSideLabels[] = {"買", "売", "売買"};
inline constexpr char kDetailsProfitLabelYen[] = "損益(円)";
inline constexpr char kDetailsProfitLabelThousands[] = "損益(千円)";
inline constexpr char kDetailsRateLabel[] = "損益率(％)";
inline constexpr char kDetailsAnnualLabel[] = "年平均";
inline constexpr char kDetailsAnnualReturnLabel[] = "リターン(％)";
inline constexpr char kDetailsAnnualRiskLabel[] = "リスク(％)";

// Profit and loss of the positions counted into one column of the table.
struct TradeTally {
    double buyGrowth = 1.0;     // product of (1 + return) of the buy trades
    double sellGrowth = 1.0;    // the same for the sell trades
    std::int64_t buyProfit = 0; // yen (stored units times ten to the price exponent)
    std::int64_t sellProfit = 0;
    std::uint32_t buyCount = 0;
    std::uint32_t sellCount = 0;

    bool HasTrades() const { return buyCount != 0 || sellCount != 0; }
    bool operator==(const TradeTally&) const = default;
};

// Columns: the last u, 2u and 3u days, then the whole analysis period.
constexpr int kDetailsColumnCount = 4;
constexpr int kDetailsWholePeriod = 3;
using TradeTallies = std::array<TradeTally, kDetailsColumnCount>;

// The tallies of the performer's positions over its analysed series, with the period unit
// `periodUnit` in days. A closed trade that spans a row's boundary counts from the open of
// the boundary day; the position still open counts whole, marked to the last close.
TradeTallies ComputeTradeTallies(const CWindowsPerformer& performer, unsigned periodUnit);

struct DetailsTableColumn {
    std::string heading;                // "%u日", or "Max日" for the whole period
    unsigned days = 0;                  // what a click on the heading selects
    bool blank = true;                  // no trade on either side
    std::array<std::string, 3> profits; // buy, sell, both
    std::array<std::string, 3> rates;   // percent
    std::array<int, 3> profitSigns{};   // -1, 0, +1: the colour of each cell
    std::array<int, 3> rateSigns{};
};

struct DetailsTable {
    std::string profitLabel; // "損益(円)" or "損益(千円)"
    std::array<DetailsTableColumn, kDetailsColumnCount> columns;
};

// The table texts: profits in yen, in thousands of yen for a price exponent above 2, and
// divided by 100 with two decimals for a security priced in hundredths. `analysisDays` is the
// whole period's number of days (last position minus first position, plus 1).
DetailsTable BuildDetailsTable(const TradeTallies& tallies, unsigned periodUnit,
                               unsigned analysisDays, unsigned priceExponent, bool hundredths);
// The table of the performer's current analysis.
DetailsTable BuildDetailsTable(const CWindowsPerformer& performer, unsigned periodUnit);

// "%u日": what a clicked heading flashes.
std::string DetailsHeadingFlashText(unsigned days);
// " ： %s (%u日間)" with the period's text and its number of days.
std::string DetailsAnalysisPeriodText(const std::string& period, unsigned days);
// The "年平均" figures: annual return and risk of the analysis record, "%.02f".
std::array<std::string, 2> DetailsAnnualTexts(const ListingAnalysis& record);

// One box of a market on which the company is listed.
struct DetailsMarketBox {
    std::uint8_t market = 0;
    const char* shortName = ""; // the market's short name in the matrix's naming
    bool shown = false;     // the security the chart shows: framed, not clickable
    bool preferred = false; // the company's preferred market: the emphasised font
};

struct DetailsQuote {
    std::string name; // company name, "#N/A" when missing
    std::string code; // as written: "7203", "130A"
    std::string sector;
    std::string marketCap; // shares issued x last price in yen, grouped; "－" when unknown
    std::string shares;    // grouped, "株"
    std::string unit;      // trading unit, grouped, "株"
    std::string status;    // "貸借銘柄" or "―"
    std::string price;     // last close, "円 "
    std::string change;    // against the previous day, with the percentage
    int changeSign = 0;    // -1, 0, +1: the colour of the change
    std::string volume;    // last day's volume, "株 "
    std::vector<DetailsMarketBox> markets; // at most three, in market order
};

// The quote data of a security at its last day; false (and `quote` with what was found)
// when its last days cannot be read.
bool BuildDetailsQuote(const CMarketMatrix& matrix, const SecurityRecord& security,
                       DetailsQuote& quote);

} // namespace vorn
