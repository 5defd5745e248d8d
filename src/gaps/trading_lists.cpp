#include "gaps/trading_lists.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "foundation/file_replacement.h"
#include "foundation/text_encoding.h"
#include "gaps/window_event_map.h"
#include "matrix/name_tables.h"

namespace vorn {
namespace {

constexpr TradeColumn kTradingColumns[] = {
    {"シグナル", 70, 0, CellAlignment::Centre}, {"法則", 65, 100, CellAlignment::Left},
    {"約定日", 70, 0, CellAlignment::Centre},   {"ポジション", 75, 0, CellAlignment::Centre},
    {"新規", 70, 0, CellAlignment::Right},      {"返済", 70, 0, CellAlignment::Right},
    {"損益", 75, 0, CellAlignment::Right},      {"損益率", 65, 0, CellAlignment::Right},
};
constexpr TradeColumn kMonthlyColumns[] = {
    {"状態", 65, 100, CellAlignment::Left},   {"ポジション", 75, 0, CellAlignment::Centre},
    {"約定日", 70, 0, CellAlignment::Centre}, {"新規", 70, 0, CellAlignment::Right},
    {"返済日", 70, 0, CellAlignment::Centre}, {"返済", 70, 0, CellAlignment::Right},
    {"損益", 75, 0, CellAlignment::Right},    {"損益率", 65, 0, CellAlignment::Right},
};
constexpr int kColumnCount = 8;
constexpr int kTradingInitialSortColumn = 0;
constexpr int kMonthlyInitialSortColumn = 2;

constexpr char kMissingDateText[] = "----/--/--";
constexpr char kMissingValueText[] = "---";
constexpr char kBuyText[] = "買い";
constexpr char kSellText[] = "売り";

// What the cells of one list mean, column by column.
enum class Field : std::uint8_t {
    SignalDate,
    Law,
    ExecutionDate,
    Side,
    Entry,
    Exit,
    Profit,
    Rate,
    Event,
    StartDate,
    EndDate
};
constexpr Field kTradingFields[kColumnCount] = {
    Field::SignalDate, Field::Law,  Field::ExecutionDate, Field::Side,
    Field::Entry,      Field::Exit, Field::Profit,        Field::Rate};
constexpr Field kMonthlyFields[kColumnCount] = {Field::Event,  Field::Side,    Field::StartDate,
                                                Field::Entry,  Field::EndDate, Field::Exit,
                                                Field::Profit, Field::Rate};

// Stored price times the scale; -1 for a missing price or one that does not fit.
std::int64_t ScaledPrice(std::uint32_t stored, std::int64_t scale) {
    if (stored == kNoEntryPrice || scale <= 0)
        return -1;
    std::int64_t scaled = 0;
    if (__builtin_mul_overflow(static_cast<std::int64_t>(stored), scale, &scaled))
        return -1;
    return scaled;
}

PackedDate CalendarDay(const CCalendar& calendar, long position) {
    if (position < 0 || position >= calendar.Count())
        return kOpenEnd;
    return calendar[static_cast<std::size_t>(position)];
}

std::int64_t PowerOfTen(unsigned exponent) {
    std::int64_t scale = 1;
    for (unsigned i = 0; i < exponent; ++i)
        if (__builtin_mul_overflow(scale, std::int64_t{10}, &scale))
            return -1;
    return scale;
}

// Style class of a result: gains and losses in their colours, zero plain.
std::uint16_t ResultClass(double value) {
    return value > 0 ? kTradeClassGain : value < 0 ? kTradeClassLoss : kTradeClassPrice;
}

// The export's dates: an unknown first day sorts last, an unknown end is simply absent.
std::string CsvDate(PackedDate date, bool firstDate) {
    if (date == kNoDate)
        return "0000/00/00";
    if (date == kOpenEnd)
        return firstDate ? "9999/99/99" : "0000/00/00";
    return DateText(date);
}

} // namespace

std::int64_t TradeRow::ProfitAndLoss() const {
    if (!HasResult())
        return 0;
    return IsBuy() ? exitPrice - entryPrice : entryPrice - exitPrice;
}

double TradeRow::ProfitRate() const {
    // A zero entry price has no rate (rather than an infinite one).
    if (!HasResult() || entryPrice == 0)
        return 0.0;
    return static_cast<double>(ProfitAndLoss()) / static_cast<double>(entryPrice);
}

const char* TradeLawName(std::uint8_t signal, std::uint8_t law) {
    switch (signal) {
    case kUpWindowOpened:
        return law == 1 ? "窓空け上昇" : "窓空け上昇も上方窓到達";
    case kDownWindowOpened:
        return law == 1 ? "窓空け下落" : "窓空け下落も下方窓到達";
    case kUpWindowReached:
    case kUpWindowReduced:
    case kUpWindowFilled:
        return law == 2 ? "下方窓到達" : "上下窓埋め陰線";
    case kDownWindowReached:
    case kDownWindowReduced:
    case kDownWindowFilled:
        return law == 2 ? "上方窓到達" : "上下窓埋め陽線";
    default:
        return "なし";
    }
}

const char* TradeEventName(std::uint8_t signal) {
    switch (signal) {
    case kUpWindowOpened:
        return "窓空け上昇";
    case kDownWindowOpened:
        return "窓空け下落";
    case kUpWindowReached:
    case kUpWindowReduced:
    case kUpWindowFilled:
        return "下方窓到達";
    case kDownWindowReached:
    case kDownWindowReduced:
    case kDownWindowFilled:
        return "上方窓到達";
    default:
        return "開口なし";
    }
}

CTradeList::CTradeList(TradeListKind kind) : kind_(kind) {
    ResetSort();
}

std::span<const TradeColumn> CTradeList::Columns(TradeListKind kind) {
    if (kind == TradeListKind::Trading)
        return kTradingColumns;
    return kMonthlyColumns;
}

void CTradeList::LoadPositions(const SecurityRecord* security,
                               std::span<const PositionEntry> positions, const CCalendar& calendar,
                               int firstPosition, std::int64_t priceScale) {
    rows_.clear();
    hundredths_ = security != nullptr && (security->listingFlags & kListingHundredths) != 0;
    if (positions.empty())
        return;
    rows_.reserve(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const PositionEntry& p = positions[i];
        const long signalPosition = static_cast<long>(firstPosition) + p.day;
        TradeRow row;
        row.signal = p.signal;
        row.law = p.law;
        row.firstDate = CalendarDay(calendar, signalPosition);
        row.secondDate = CalendarDay(calendar, signalPosition + 1);
        row.entryPrice = ScaledPrice(p.entryPrice, priceScale);
        row.exitPrice =
            i + 1 < positions.size() ? ScaledPrice(positions[i + 1].entryPrice, priceScale) : -1;
        rows_.push_back(row);
    }
    Sort();
}

void CTradeList::LoadSegments(const SecurityRecord* security,
                              std::span<const MonthlySegment> segments, const CCalendar& calendar,
                              std::int64_t priceScale) {
    rows_.clear();
    hundredths_ = security != nullptr && (security->listingFlags & kListingHundredths) != 0;
    if (segments.size() < 2)
        return;
    rows_.reserve(segments.size() - 1);
    for (std::size_t i = 1; i < segments.size(); ++i) {
        const MonthlySegment& earlier = segments[i - 1];
        const MonthlySegment& later = segments[i];
        TradeRow row;
        row.signal = later.side;
        row.firstDate = CalendarDay(calendar, earlier.endPosition);
        row.secondDate = CalendarDay(calendar, later.endPosition);
        row.entryPrice = ScaledPrice(later.startPrice, priceScale);
        row.exitPrice = ScaledPrice(later.endPrice, priceScale);
        rows_.push_back(row);
    }
    Sort();
}

void CTradeList::LoadFrom(const CWindowsPerformer& performer) {
    const CCalendar* calendar = performer.Calendar();
    if (calendar == nullptr) {
        Clear();
        return;
    }
    const std::int64_t scale = PowerOfTen(performer.Series().priceExponent);
    if (kind_ == TradeListKind::Trading)
        LoadPositions(performer.Security(), performer.Positions(), *calendar,
                      performer.FirstPosition(), scale);
    else
        LoadSegments(performer.Security(), performer.Segments(), *calendar, scale);
}

void CTradeList::Clear() {
    rows_.clear();
    hundredths_ = false;
}

void CTradeList::ResetSort() {
    sortColumn_ =
        kind_ == TradeListKind::Trading ? kTradingInitialSortColumn : kMonthlyInitialSortColumn;
    ascending_ = false;
}

bool CTradeList::SetSort(int column, bool ascending) {
    if (column < 0 || column >= kColumnCount)
        return false;
    sortColumn_ = column;
    ascending_ = ascending;
    return Sort();
}

bool CTradeList::Sort() {
    if (rows_.empty())
        return false;
    // Equal keys keep their order ascending; descending is the ascending order reversed.
    std::stable_sort(rows_.begin(), rows_.end(), [this](const TradeRow& a, const TradeRow& b) {
        return SortKey(a, sortColumn_) < SortKey(b, sortColumn_);
    });
    if (!ascending_)
        std::reverse(rows_.begin(), rows_.end());
    return true;
}

double CTradeList::SortKey(const TradeRow& row, int column) const {
    const Field field = (kind_ == TradeListKind::Trading ? kTradingFields : kMonthlyFields)[column];
    switch (field) {
    case Field::SignalDate:
    case Field::StartDate:
        return row.firstDate;
    case Field::ExecutionDate:
    case Field::EndDate:
        return row.secondDate;
    case Field::Law:
        return row.signal * 256.0 + row.law;
    case Field::Event:
        return row.signal;
    case Field::Side:
        return row.IsBuy() ? 0.0 : 1.0;
    case Field::Entry:
        return static_cast<double>(row.entryPrice);
    case Field::Exit:
        return static_cast<double>(row.exitPrice);
    case Field::Profit:
        return row.HasResult() ? static_cast<double>(row.ProfitAndLoss())
                               : -std::numeric_limits<double>::infinity();
    case Field::Rate:
        return row.HasResult() ? row.ProfitRate() : -std::numeric_limits<double>::infinity();
    }
    return 0.0;
}

TradeCell CTradeList::Cell(std::size_t index, int column) const {
    if (index >= rows_.size() || column < 0 || column >= kColumnCount)
        return {};
    const TradeRow& row = rows_[index];
    const Field field = (kind_ == TradeListKind::Trading ? kTradingFields : kMonthlyFields)[column];
    TradeCell cell;
    cell.alignment = Columns()[static_cast<std::size_t>(column)].alignment;
    switch (field) {
    case Field::SignalDate:
    case Field::StartDate:
        cell.text = DateText(row.firstDate);
        cell.styleClass = kTradeClassDate;
        break;
    case Field::ExecutionDate:
    case Field::EndDate:
        if (row.secondDate == kOpenEnd) {
            cell.text = kMissingDateText;
            cell.styleClass = kTradeClassMissing;
        } else {
            cell.text = DateText(row.secondDate);
            cell.styleClass = kTradeClassDate;
        }
        break;
    case Field::Law:
        cell.text = TradeLawName(row.signal, row.law);
        break;
    case Field::Event:
        cell.text = TradeEventName(row.signal);
        break;
    case Field::Side:
        cell.text = row.IsBuy() ? kBuyText : kSellText;
        cell.styleClass = row.IsBuy() ? kTradeClassGain : kTradeClassLoss;
        break;
    case Field::Entry:
    case Field::Exit: {
        const std::int64_t price = field == Field::Entry ? row.entryPrice : row.exitPrice;
        if (price < 0) {
            cell.text = kMissingValueText;
            cell.styleClass = kTradeClassMissing;
        } else {
            cell.text = PriceText(price, hundredths_);
            cell.styleClass = kTradeClassPrice;
        }
        break;
    }
    case Field::Profit:
    case Field::Rate:
        if (!row.HasResult()) {
            cell.text = kMissingValueText;
            cell.styleClass = kTradeClassMissing;
            break;
        }
        if (field == Field::Profit) {
            const std::int64_t profit = row.ProfitAndLoss();
            cell.styleClass = ResultClass(static_cast<double>(profit));
            cell.text = profit == 0 ? "0" : PriceText(profit, hundredths_, true);
        } else {
            const double rate = row.ProfitRate() * 100.0;
            cell.styleClass = ResultClass(rate);
            cell.text = rate == 0.0 ? "0.00" : GroupedReal(rate, "%+.2f");
        }
        break;
    }
    cell.styleClass = static_cast<std::uint16_t>(cell.styleClass + (index & 1));
    return cell;
}

TradeSummary SummariseTrades(std::span<const TradeRow> rows, bool hundredths) {
    TradeSummary summary;
    double product = 1.0;
    for (const TradeRow& row : rows) {
        if (!row.HasResult())
            continue;
        if (row.IsBuy())
            ++summary.buyCount;
        else
            ++summary.sellCount;
        summary.profitAndLoss += row.ProfitAndLoss();
        product *= 1.0 + row.ProfitRate();
    }
    summary.totalRate = (product - 1.0) * 100.0;

    const auto colourOf = [&](bool zero) {
        if (zero || summary.profitAndLoss == 0)
            return kTextWhite;
        return summary.profitAndLoss > 0 ? kGainColour : kLossColour;
    };
    summary.counts.text =
        GroupedInteger(summary.buyCount) + "／" + GroupedInteger(summary.sellCount) + " ";
    summary.counts.colour = colourOf(summary.buyCount == 0 && summary.sellCount == 0);
    summary.profit.text =
        (summary.profitAndLoss == 0 ? std::string("0")
                                    : PriceText(summary.profitAndLoss, hundredths, true)) +
        " ";
    summary.profit.colour = colourOf(summary.profitAndLoss == 0);
    summary.rate.text =
        (summary.totalRate == 0.0 ? std::string("0.00") : GroupedReal(summary.totalRate, "%+.2f")) +
        " ";
    summary.rate.colour = colourOf(summary.totalRate == 0.0);
    return summary;
}

std::string TradingWindowTitle(const SecurityRecord* security) {
    std::string name = kMissingName;
    if (security != nullptr && security->company != nullptr && security->company->name)
        name = Cp932ToUtf8(*security->company->name);
    return "トレーディング情報 [" + name + "]";
}

std::string MonthlyTradesCsv(std::span<const TradeRow> rows) {
    std::string utf8;
    char numbers[96];
    for (const TradeRow& row : rows) {
        utf8 += TradeEventName(row.signal);
        utf8 += ',';
        utf8 += row.IsBuy() ? kBuyText : kSellText;
        utf8 += ',';
        utf8 += CsvDate(row.firstDate, true);
        std::snprintf(numbers, sizeof numbers, ",%" PRId64 ",", row.entryPrice);
        utf8 += numbers;
        utf8 += CsvDate(row.secondDate, false);
        std::snprintf(numbers, sizeof numbers, ",%" PRId64 ",%" PRId64 ",%f\n", row.exitPrice,
                      row.ProfitAndLoss(), row.ProfitRate());
        utf8 += numbers;
    }
    return Utf8ToCp932(utf8);
}

bool ExportMonthlyTrades(const std::filesystem::path& path, std::span<const TradeRow> rows) {
    return ReplaceFileWith(path, MonthlyTradesCsv(rows));
}

} // namespace vorn
