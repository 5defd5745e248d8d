// vornctl series: one security's daily, weekly or monthly prices as extracted for the engine.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command.h"
#include "gaps/law_backtest.h"
#include "matrix/market_matrix.h"
#include "matrix_input.h"

namespace vornctl {
namespace {

// A stored price in yen: scaled by the series' exponent, in hundredths for a security priced in
// hundredths (two decimals then).
std::string YenText(std::uint64_t stored, unsigned exponent, bool hundredths) {
    for (unsigned i = 0; i < exponent; ++i)
        stored *= 10;
    char text[32];
    if (hundredths)
        std::snprintf(text, sizeof text, "%" PRIu64 ".%02u", stored / 100,
                      static_cast<unsigned>(stored % 100));
    else
        std::snprintf(text, sizeof text, "%" PRIu64, stored);
    return text;
}

// One line a period: the date, open, high, low and close as `price` writes them, and volume.
template <class Price, class PriceText>
void PrintRows(const vorn::SeriesView& view, const vorn::CCalendar& calendar,
               const PriceText& price) {
    const int firstPosition = calendar.PositionOf(view.firstDate);
    const vorn::Candle<Price>* candles = view.Candles<Price>();
    for (std::uint32_t i = 0; i < view.count; ++i) {
        const std::uint32_t position = static_cast<std::uint32_t>(firstPosition) + i;
        const unsigned short day =
            firstPosition >= 0 && position < calendar.Count() ? calendar[position] : 0;
        std::printf("%s,%s,%s,%s,%s,%" PRIu64 "\n", FormatDateArg(day).c_str(),
                    price(candles[i].open).c_str(), price(candles[i].high).c_str(),
                    price(candles[i].low).c_str(), price(candles[i].close).c_str(),
                    view.volumes[i]);
    }
}

int RunSeries(int argc, char** argv) {
    const CArgs args(argc, argv);
    const auto& positionals = args.Positionals();
    if (positionals.size() != 3)
        return UsageError("expected FILE CODE MARKET");
    const std::optional<std::uint16_t> parsedCode = vorn::ParseStockCode(positionals[1]);
    unsigned long market = 0;
    if (!parsedCode)
        return UsageError("bad " + vorn::DescribeBadStockCode(positionals[1]));
    const unsigned long code = *parsedCode;
    if (!ParseNumber(positionals[2], 15, market) || market == 0)
        return UsageError("bad market code '" + positionals[2] + "'");

    vorn::PeriodKind period = vorn::PeriodKind::Daily;
    if (auto text = args.Option("period")) {
        const std::optional<vorn::PeriodKind> kind = vorn::ParsePeriodWord(*text);
        if (!kind)
            return UsageError("bad period '" + *text + "' (daily, weekly or monthly)");
        period = *kind;
    }
    unsigned short from = vorn::kNoDate;
    unsigned short to = vorn::kOpenEnd;
    if (auto text = args.Option("from"); text && (from = ParseDateArg(*text)) == vorn::kNoDate)
        return DateError("from", *text);
    if (auto text = args.Option("to"); text && (to = ParseDateArg(*text)) == vorn::kNoDate)
        return DateError("to", *text);
    if (from != vorn::kNoDate && to != vorn::kOpenEnd && from > to)
        return UsageError("--from " + FormatDateArg(from) + " is after --to " + FormatDateArg(to));

    vorn::CMarketMatrix matrix;
    if (!RestoreOrReport(matrix, positionals[0]))
        return 1;

    vorn::SeriesSet series;
    const vorn::SecurityKey key =
        vorn::MakeSecurityKey(static_cast<std::uint16_t>(code), static_cast<std::uint8_t>(market));
    const vorn::SecurityRecord* security = matrix.FindSecurity(key);
    if (security == nullptr)
        return NoSecurity(static_cast<unsigned>(code), static_cast<unsigned>(market),
                          positionals[0]);
    if (!matrix.GetPeriodSeries(period, series, security, from, to)) {
        std::printf("no series\n");
        return Failure("security " + vorn::FormatStockCode(static_cast<std::uint32_t>(code)) +
                       " on market " + std::to_string(market) + " has no prices in that span");
    }
    const vorn::SeriesView& view = series.View(period);
    std::printf("encoding=%u exponent=%u first=%s last=%s count=%u\n",
                static_cast<unsigned>(series.priceEncoding),
                static_cast<unsigned>(series.priceExponent), FormatDateArg(view.firstDate).c_str(),
                FormatDateArg(view.lastDate).c_str(), static_cast<unsigned>(view.count));
    const vorn::CCalendar& calendar = matrix.PeriodCalendar(period);
    const bool yen = args.Has("yen");
    const bool hundredths = (security->listingFlags & vorn::kListingHundredths) != 0;
    const unsigned exponent = series.priceExponent;
    vorn::VisitPriceWidth(series.priceEncoding, [&]<class Price>(vorn::PriceWidth<Price>) {
        // Stored values by default (the format scripts rely on), decimal yen with --yen.
        PrintRows<Price>(view, calendar, [&](Price stored) {
            return yen ? YenText(stored, exponent, hundredths) : std::to_string(stored);
        });
    });
    return 0;
}

const CommandRegistrar kSeries(
    {"series",
     "series FILE CODE MARKET [--period daily|weekly|monthly] [--from DATE] [--to DATE] [--yen]",
     "prints one security's daily, weekly or monthly prices as extracted for the analysis: a "
     "line of encoding, exponent, first and last date and count, then DATE,OPEN,HIGH,LOW,CLOSE,"
     "VOLUME per period",
     {{"period", "daily|weekly|monthly",
       "the candle period (default daily); a week or month "
       "opens and closes with the body of its days, see the "
       "README"},
      {"from", "DATE",
       "the first day, as YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD (default: the "
       "security's first day)"},
      {"to", "DATE", "the last day, in the same forms (default: the security's last day)"},
      {"yen", nullptr,
       "print the prices in yen, with two decimals for a security priced in "
       "hundredths (default: the stored price units)"}},
     "vornctl series data/Market.kbx 7203 1 --period weekly --from 2024-01-04 --yen",
     "FILE is a market content file; CODE the stock code and MARKET the market number (1..15)."},
    RunSeries);

} // namespace
} // namespace vornctl
