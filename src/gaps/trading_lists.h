#pragma once
// The rows of the two trading lists beside the gap chart: one row per position the trading
// laws took (the trading list) or per monthly holding segment (the monthly trading list),
// with the texts and style classes of their cells, the trading window's summary and the
// monthly list's comma-separated export. Texts are UTF-8; the export is cp932.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "gaps/display_figures.h"
#include "gaps/windows_performer.h"

namespace vorn {

// Style classes of the list cells; every class is one higher on odd rows.
constexpr std::uint16_t kTradeClassText = 0;
constexpr std::uint16_t kTradeClassPrice = 4;
constexpr std::uint16_t kTradeClassMissing = 6;
constexpr std::uint16_t kTradeClassLoss = 8;
constexpr std::uint16_t kTradeClassDate = 12;
constexpr std::uint16_t kTradeClassGain = 14;

// Odd-row background of both lists.
constexpr ColorRef kTradeListAlternateRowColour = 0x1F1F1F;

// wParam of message 1027 when a list's window is closed.
constexpr std::uintptr_t kTradingListClosed = 1;
constexpr std::uintptr_t kMonthlyTradingListClosed = 2;

// Save dialog filter of the monthly export.
inline constexpr char kMonthlyExportFilter[] = "CSV Files(*.csv)|*.csv||";

struct TradeRow {
    std::uint8_t signal = 0;      // signal flag of the position; buy side in 0x55
    std::uint8_t law = 0;         // law number 1..4
    PackedDate firstDate = 0;     // signal day, or the segment's start
    std::int64_t entryPrice = -1; // times the price scale; -1: none
    PackedDate secondDate = 0;    // execution day, or the segment's end; 0xFFFF: none
    std::int64_t exitPrice = -1;  // -1 while the position is open

    bool IsBuy() const { return IsBuySignal(signal); }
    // Both prices are known.
    bool HasResult() const { return entryPrice >= 0 && exitPrice >= 0; }
    // Exit minus entry for a buy, entry minus exit for a sell; 0 without a result.
    std::int64_t ProfitAndLoss() const;
    // Profit and loss over the entry price (a fraction); 0 without a result or entry price.
    double ProfitRate() const;

    bool operator==(const TradeRow&) const = default;
};

enum class TradeListKind : std::uint8_t { Trading = 0, Monthly = 1 };
enum class CellAlignment : std::uint8_t { Left = 0, Centre = 1, Right = 2 };

struct TradeColumn {
    const char* heading;
    std::uint16_t minimumWidth; // pixels
    std::uint8_t weight;        // share of the spare width; 0 = fixed
    CellAlignment alignment;
};

struct TradeCell {
    std::string text;
    std::uint16_t styleClass = kTradeClassText; // odd rows already included
    CellAlignment alignment = CellAlignment::Left;
};

// Display name of a position's law, by its signal flag and law number.
const char* TradeLawName(std::uint8_t signal, std::uint8_t law);
// The window event a monthly segment's side came from; "開口なし" for anything else.
const char* TradeEventName(std::uint8_t signal);

// The rows of one list in display order and the order they are sorted in.
class CTradeList {
public:
    explicit CTradeList(TradeListKind kind);

    TradeListKind Kind() const { return kind_; }
    static std::span<const TradeColumn> Columns(TradeListKind kind);
    std::span<const TradeColumn> Columns() const { return Columns(kind_); }

    // Trading list: one row per position of `positions` (days counted from the calendar
    // position `firstPosition`); each row's exit is the next position's entry. Prices are
    // multiplied by `priceScale`. Days outside the calendar read as 0xFFFF.
    void LoadPositions(const SecurityRecord* security, std::span<const PositionEntry> positions,
                       const CCalendar& calendar, int firstPosition, std::int64_t priceScale);
    // Monthly list: one row per consecutive pair of segments, from the earlier segment's end
    // day to the later one's, with the later one's side and prices.
    void LoadSegments(const SecurityRecord* security, std::span<const MonthlySegment> segments,
                      const CCalendar& calendar, std::int64_t priceScale);
    // Loads the list from a performer that has just analysed a security.
    void LoadFrom(const CWindowsPerformer& performer);
    void Clear();

    // The order a list starts in: the newest signal, or the newest segment, first.
    void ResetSort();
    // Sorts stably by the column's key; false when there was nothing to sort.
    bool SetSort(int column, bool ascending);
    bool Sort();
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

    const std::vector<TradeRow>& Rows() const { return rows_; }
    std::size_t RowCount() const { return rows_.size(); }
    // The shown security is priced in hundredths.
    bool Hundredths() const { return hundredths_; }
    // Text, style class and alignment of a cell; an empty cell outside the rows.
    TradeCell Cell(std::size_t row, int column) const;

private:
    double SortKey(const TradeRow& row, int column) const;

    TradeListKind kind_;
    std::vector<TradeRow> rows_;
    bool hundredths_ = false;
    int sortColumn_ = 0;
    bool ascending_ = false;
};

struct TradeSummaryField {
    std::string text; // followed by one blank
    ColorRef colour = kTextWhite;
};

// The figures of the trading window over the rows with both prices.
struct TradeSummary {
    int buyCount = 0;
    int sellCount = 0;
    std::int64_t profitAndLoss = 0;
    double totalRate = 0.0;   // percent: compounded rates minus 1, times 100
    TradeSummaryField counts; // after "買い／売り："
    TradeSummaryField profit; // after "損益："
    TradeSummaryField rate;   // after "損益率："
};
TradeSummary SummariseTrades(std::span<const TradeRow> rows, bool hundredths);

// "トレーディング情報 [%s]" with the company name.
std::string TradingWindowTitle(const SecurityRecord* security);

// The monthly export in cp932: one line per row, no heading, prices as held in the rows.
std::string MonthlyTradesCsv(std::span<const TradeRow> rows);
// Writes MonthlyTradesCsv to `path` through a completely written temporary file; false (and
// the file as it was) when that fails.
bool ExportMonthlyTrades(const std::filesystem::path& path, std::span<const TradeRow> rows);

} // namespace vorn
