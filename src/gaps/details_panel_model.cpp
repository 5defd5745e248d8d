#include "gaps/details_panel_model.h"

#include <cstdio>

#include "foundation/text_encoding.h"
#include "matrix/market_naming.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"

namespace vorn {
namespace {

constexpr int kLookBackRows = 3;
constexpr std::size_t kMaxMarketBoxes = 3;
constexpr unsigned kLargestExponent = 18; // 10^18 still fits a signed 64-bit value

std::int64_t PowerOfTen(unsigned exponent) {
    std::int64_t scale = 1;
    for (unsigned i = 0; i < exponent && i < kLargestExponent; ++i)
        scale *= 10;
    return scale;
}

// Adds one trade from `from` to `to` on a side. A zero starting price has no growth.
void AddTrade(TradeTally& tally, bool buy, std::uint32_t from, std::uint32_t to) {
    const std::int64_t result =
        buy ? static_cast<std::int64_t>(to) - from : static_cast<std::int64_t>(from) - to;
    const double growth = from != 0 ? 1.0 + static_cast<double>(result) / from : 1.0;
    if (buy) {
        tally.buyProfit += result;
        tally.buyGrowth *= growth;
        ++tally.buyCount;
    } else {
        tally.sellProfit += result;
        tally.sellGrowth *= growth;
        ++tally.sellCount;
    }
}

template <class Price>
TradeTallies Tally(const SeriesView& view, std::span<const PositionEntry> positions,
                   unsigned periodUnit) {
    TradeTallies tallies{};
    if (positions.empty() || view.count == 0 || !view.prices)
        return tallies;
    const Candle<Price>* candles = view.Candles<Price>();
    const long lastDay = view.count - 1;
    for (const PositionEntry& p : positions)
        if (p.day > lastDay)
            return tallies; // positions of another series
    std::size_t open = positions.size() - 1;
    if (positions[open].day == lastDay || positions[open].entryPrice == kNoEntryPrice) {
        // Signalled on the last day: not entered yet.
        if (open == 0)
            return tallies;
        --open;
    }
    for (std::size_t j = 0; j <= open; ++j)
        if (positions[j].entryPrice == kNoEntryPrice)
            return tallies;

    TradeTally& whole = tallies[kDetailsWholePeriod];
    AddTrade(whole, IsBuySignal(positions[open].signal), positions[open].entryPrice,
             candles[lastDay].close);

    int row = 0;
    long boundary = lastDay - static_cast<long>(periodUnit);
    for (std::size_t j = open; j-- > 0;) {
        const PositionEntry& trade = positions[j];
        const PositionEntry& next = positions[j + 1];
        const bool buy = IsBuySignal(trade.signal);
        while (row < kLookBackRows && boundary >= trade.day) {
            TradeTally& tally = tallies[static_cast<std::size_t>(row)];
            tally = whole;
            // A boundary after this trade lies in the position still open, which counts
            // whole; the open of such a day belongs to no closed trade.
            if (boundary <= next.day)
                AddTrade(tally, buy, candles[boundary].open, next.entryPrice);
            ++row;
            boundary -= periodUnit;
        }
        AddTrade(whole, buy, trade.entryPrice, next.entryPrice);
    }
    for (; row < kLookBackRows && boundary >= 0; ++row, boundary -= periodUnit)
        tallies[static_cast<std::size_t>(row)] = whole;
    return tallies;
}

int SignOf(double value) {
    return value > 0 ? 1 : value < 0 ? -1 : 0;
}

std::string ProfitText(std::int64_t profit, unsigned priceExponent, bool hundredths) {
    if (priceExponent > 2)
        return GroupedInteger(profit / 1000);
    return PriceText(profit, hundredths);
}

std::string DaysText(unsigned days) {
    char text[24];
    std::snprintf(text, sizeof text, "%u日", days);
    return text;
}

// "%+d" or "%+.02f" of the change, then " (%+.02f%%) "; the plain zero forms when unchanged.
std::string ChangeText(std::int64_t change, std::int64_t previous, bool hundredths) {
    if (change == 0)
        return hundredths ? "0.00 (0.00%) " : "0 (0.00%) ";
    const double percent =
        previous != 0 ? static_cast<double>(change) / static_cast<double>(previous) * 100.0 : 0.0;
    return PriceText(change, hundredths, true) + GroupedReal(percent, " (%+.02f%%) ");
}

} // namespace

TradeTallies ComputeTradeTallies(const CWindowsPerformer& performer, unsigned periodUnit) {
    const SeriesSet& series = performer.Series();
    const PeriodKind kind = performer.Period();
    if (series.priceEncoding > 2 || !IsPeriodKind(kind))
        return TradeTallies{};
    const SeriesView& view = series.View(kind);
    TradeTallies tallies =
        VisitPriceWidth(series.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
            return Tally<Price>(view, performer.Positions(), periodUnit);
        });
    const std::int64_t scale = PowerOfTen(series.priceExponent);
    for (TradeTally& tally : tallies) {
        tally.buyProfit *= scale;
        tally.sellProfit *= scale;
    }
    return tallies;
}

DetailsTable BuildDetailsTable(const TradeTallies& tallies, unsigned periodUnit,
                               unsigned analysisDays, unsigned priceExponent, bool hundredths) {
    DetailsTable table;
    table.profitLabel = priceExponent > 2 ? kDetailsProfitLabelThousands : kDetailsProfitLabelYen;
    for (int i = 0; i < kDetailsColumnCount; ++i) {
        DetailsTableColumn& column = table.columns[static_cast<std::size_t>(i)];
        column.days = i == kDetailsWholePeriod ? analysisDays : periodUnit * (i + 1);
        column.heading = i == kDetailsWholePeriod ? std::string("Max日") : DaysText(column.days);
        const TradeTally& tally = tallies[static_cast<std::size_t>(i)];
        column.blank = !tally.HasTrades();
        if (column.blank)
            continue;
        const std::int64_t profits[3] = {tally.buyProfit, tally.sellProfit,
                                         tally.buyProfit + tally.sellProfit};
        const double rates[3] = {(tally.buyGrowth - 1.0) * 100.0, (tally.sellGrowth - 1.0) * 100.0,
                                 (tally.buyGrowth * tally.sellGrowth - 1.0) * 100.0};
        for (std::size_t k = 0; k < 3; ++k) {
            column.profits[k] = ProfitText(profits[k], priceExponent, hundredths);
            column.profitSigns[k] = SignOf(static_cast<double>(profits[k]));
            column.rates[k] = GroupedReal(rates[k], "%.02f");
            column.rateSigns[k] = SignOf(rates[k]);
        }
    }
    return table;
}

DetailsTable BuildDetailsTable(const CWindowsPerformer& performer, unsigned periodUnit) {
    const SecurityRecord* security = performer.Security();
    const bool hundredths =
        security != nullptr && (security->listingFlags & kListingHundredths) != 0;
    const int first = performer.FirstPosition();
    const int last = performer.LastPosition();
    const unsigned days = first >= 0 && last >= first ? static_cast<unsigned>(last - first + 1) : 0;
    return BuildDetailsTable(ComputeTradeTallies(performer, periodUnit), periodUnit, days,
                             performer.Series().priceExponent, hundredths);
}

std::string DetailsHeadingFlashText(unsigned days) {
    return DaysText(days);
}

std::string DetailsAnalysisPeriodText(const std::string& period, unsigned days) {
    char text[24];
    std::snprintf(text, sizeof text, " (%u日間)", days);
    return " ： " + period + text;
}

std::array<std::string, 2> DetailsAnnualTexts(const ListingAnalysis& record) {
    return {GroupedReal(record.annualReturn, "%.02f"), GroupedReal(record.annualRisk, "%.02f")};
}

bool BuildDetailsQuote(const CMarketMatrix& matrix, const SecurityRecord& security,
                       DetailsQuote& quote) {
    quote = DetailsQuote{};
    const CompanyRecord* company = security.company;
    quote.code = FormatStockCode(security.Code());
    quote.name = company != nullptr && company->name ? Cp932ToUtf8(*company->name) : kMissingName;
    quote.sector = IndustryName(company != nullptr ? company->industry : 0);
    quote.unit = GroupedUnsigned(security.TradingUnit()) + "株";
    quote.status = (security.listingFlags & kListingMarginTradable) != 0 ? "貸借銘柄" : "―";
    const std::uint64_t shares =
        company != nullptr ? company->HistoryValueAt(security.lastDate) : 0;
    quote.shares = GroupedUnsigned(shares) + "株";
    quote.marketCap = "－";

    if (company != nullptr) {
        const MarketNaming naming = MarketNamingOf(matrix);
        const auto preferred = matrix.PreferredMarkets().find(company->code);
        const SecurityKey first = MakeSecurityKey(company->code, 0);
        for (auto it = matrix.Securities().lower_bound(first);
             it != matrix.Securities().end() && CodeOfKey(it->first) == company->code &&
             quote.markets.size() < kMaxMarketBoxes;
             ++it) {
            const std::uint8_t market = it->second.market;
            quote.markets.push_back(
                {market, naming.ShortName(market), &it->second == &security,
                 preferred != matrix.PreferredMarkets().end() && preferred->second == market});
        }
    }

    // The last two days as the chart reads them, adjustments applied.
    const CCalendar& calendar = matrix.DailyCalendar();
    const int lastPosition = calendar.PositionOf(security.lastDate);
    if (lastPosition < 0)
        return false;
    PackedDate from = security.lastDate;
    if (lastPosition > 0 &&
        calendar[static_cast<std::size_t>(lastPosition - 1)] >= security.firstDate)
        from = calendar[static_cast<std::size_t>(lastPosition - 1)];
    SeriesSet series;
    if (!matrix.GetSeries(series, &security, from, security.lastDate) || series.priceEncoding > 2 ||
        series.daily.count == 0 || !series.daily.prices || !series.daily.volumes ||
        series.priceExponent > kLargestExponent)
        return false;
    const SeriesView& view = series.daily;
    const std::size_t lastDay = view.count - 1u;
    std::uint64_t closes[2] = {0, 0}; // previous, last
    for (std::size_t k = 0; k < 2; ++k) {
        if (k == 0 && lastDay == 0)
            continue;
        const std::size_t day = k == 0 ? lastDay - 1 : lastDay;
        closes[k] = VisitPriceWidth(series.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
            return std::uint64_t{view.Candles<Price>()[day].close};
        });
    }
    if (lastDay == 0)
        closes[0] = closes[1]; // no previous day: unchanged
    const std::int64_t scale = PowerOfTen(series.priceExponent);
    const std::int64_t last = static_cast<std::int64_t>(closes[1]) * scale;
    const std::int64_t previous = static_cast<std::int64_t>(closes[0]) * scale;
    const bool hundredths = (security.listingFlags & kListingHundredths) != 0;
    quote.price = PriceText(last, hundredths) + "円 ";
    quote.change = ChangeText(last - previous, previous, hundredths);
    quote.changeSign = SignOf(static_cast<double>(last - previous));
    quote.volume = GroupedUnsigned(view.volumes[lastDay]) + "株 ";
    // In whole yen from the exact price (its hundredths included), saturated.
    if (shares != 0 && last > 0) {
        const unsigned __int128 exact = static_cast<unsigned __int128>(shares) *
                                        static_cast<std::uint64_t>(last) / (hundredths ? 100 : 1);
        const std::uint64_t capitalisation =
            exact > UINT64_MAX ? UINT64_MAX : static_cast<std::uint64_t>(exact);
        if (capitalisation != 0)
            quote.marketCap = GroupedUnsigned(capitalisation);
    }
    return true;
}

} // namespace vorn
