#pragma once
// Turns the data API's answers (calendar, daily bars, listed-issues master, financial
// summaries, TOPIX) into a market matrix: domestic common stocks by default, stored the way
// the content file holds them.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/packed_date.h"
#include "matrix/market_matrix.h"

namespace vorn {

// The benchmark of beta: the price index 1002 on market 1, industry 34.
constexpr std::uint16_t kBenchmarkIndexCode = 1002;
constexpr std::uint8_t kIndexIndustry = 34;
// The name of the equal-weighted stand-in built when the plan gives no TOPIX.
inline constexpr std::string_view kStandInIndexName = "等加重平均指数（TOPIX代用）";
inline constexpr std::string_view kTopixName = "TOPIX";

struct JQuantsConvertOptions {
    // Product categories taken ("011" domestic shares; "013" REIT, "014" ETF, ...).
    std::set<std::string> productCategories{"011"};
    bool includeProMarket = false;   // TOKYO PRO MARKET
    bool includeOtherMarket = false; // segment "その他"
};

// "etf,reit,..." into product categories and segment switches; false with the unknown word.
bool ParseIncludeList(std::string_view list, JQuantsConvertOptions& options, std::string& unknown);

// Market code of a segment code ("0111" -> 1); 0 for segments left out.
std::uint8_t MarketOfSegment(std::string_view segment, const JQuantsConvertOptions& options);
// Industry 1..33 of a 33-sector code ("0050" -> 1, "9050" -> 33); 0 when unknown.
std::uint8_t IndustryOfSector33(std::string_view sector);

struct JQuantsConvertReport {
    std::string error;
    std::vector<std::string> notes;
    std::size_t securities = 0;
    std::size_t companies = 0;
    std::size_t rows = 0;
    std::size_t otherClasses = 0;    // preferred shares and other suffixes, left out
    std::size_t otherSegments = 0;   // TOKYO PRO MARKET, その他: left out
    std::size_t otherCategories = 0; // product categories not asked for
    std::size_t withoutMaster = 0;   // no master row: left out
    std::size_t noTrades = 0;        // listed but never traded in the range
    bool standInIndex = false;
    std::uint16_t days = 0;
    PackedDate firstDay = kNoDate;
    PackedDate lastDay = kNoDate;
};

enum class ConvertResult : std::uint8_t {
    Ok = 0,
    BadData = 1,  // an answer lacks what the documented shape promises
    TooLarge = 2, // a value the file cannot hold
    NoData = 3,   // no trading day or no security
    NoMemory = 4,
};

class CJQuantsMarket {
public:
    explicit CJQuantsMarket(JQuantsConvertOptions options);

    // Business days ("HolDiv" 1 or 2) between `from` and `to`.
    bool AddCalendarPage(std::string_view body, PackedDate from, PackedDate to, std::string& error);
    bool AddBarsPage(std::string_view body, std::string& error);
    // Keeps the latest-dated row of every code.
    bool AddMasterPage(std::string_view body, std::string& error);
    bool AddStatementsPage(std::string_view body, std::string& error);
    bool AddTopixPage(std::string_view body, std::string& error);

    const std::vector<PackedDate>& TradingDays() const { return days_; }
    // The last trading day any bar is dated on; later days of the calendar (not published
    // yet) are dropped.
    PackedDate LastDayWithBars();
    // Codes with bars but no master row, each with its last day with a bar.
    std::vector<std::pair<std::string, PackedDate>> CodesWithoutMaster() const;

    // Fills `matrix` (cleared) with every day of the calendar.
    ConvertResult Build(CMarketMatrix& matrix, JQuantsConvertReport& report);
    // Fills `update` for the update merge into `main`: main's calendar and the new days, the
    // securities with their new days only (continuing from main's last closes). Securities of
    // `main` that need it are brought forward or moved to hundredths first.
    ConvertResult BuildUpdate(CMarketMatrix& main, CMarketMatrix& update,
                              JQuantsConvertReport& report);

    struct Bar {
        PackedDate date = 0;
        bool traded = false;
        bool hundredths = false;
        std::uint64_t open = 0, high = 0, low = 0, close = 0; // hundredths of a yen
        std::uint64_t volume = 0;
        double factor = 1.0;
    };
    struct Master {
        PackedDate date = 0;
        std::string name; // UTF-8
        std::string sector33;
        std::string segment;
        std::string margin;
        std::string category;
    };

private:
    struct Issue;
    ConvertResult Convert(CMarketMatrix& target, CMarketMatrix* main, JQuantsConvertReport& report);
    ConvertResult Fail(ConvertResult result, JQuantsConvertReport& report, std::string error);

    JQuantsConvertOptions options_;
    std::vector<PackedDate> days_;
    std::unordered_map<std::string, std::vector<Bar>> bars_;
    std::unordered_map<std::string, Master> masters_;
    std::unordered_map<std::string, std::vector<std::pair<PackedDate, std::uint64_t>>> shares_;
    std::vector<Bar> topix_;
};

// "YYYY-MM-DD" or "YYYYMMDD" into a date; kNoDate for anything else or a date outside the
// years a packed date holds.
PackedDate ParseApiDate(std::string_view text);
std::string FormatApiDate(PackedDate date);

} // namespace vorn
