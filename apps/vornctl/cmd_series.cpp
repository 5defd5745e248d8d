// vornctl series: one security's daily, weekly or monthly prices as extracted for the engine.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command.h"
#include "matrix/market_matrix.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"

namespace vornctl {
namespace {

template <class Price>
void PrintElements(const vorn::SeriesView& view, const vorn::CCalendar& calendar) {
    const int firstPosition = calendar.PositionOf(view.firstDate);
    const vorn::Candle<Price>* candles = view.Candles<Price>();
    for (std::uint32_t i = 0; i < view.count; ++i) {
        const std::uint32_t position = static_cast<std::uint32_t>(firstPosition) + i;
        const unsigned short day =
            firstPosition >= 0 && position < calendar.Count() ? calendar[position] : 0;
        std::printf("%s,%u,%u,%u,%u,%" PRIu64 "\n", FormatDateArg(day).c_str(),
                    static_cast<unsigned>(candles[i].open), static_cast<unsigned>(candles[i].high),
                    static_cast<unsigned>(candles[i].low), static_cast<unsigned>(candles[i].close),
                    view.volumes[i]);
    }
}

int RunSeries(int argc, char** argv) {
    CArgs args(argc, argv);
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (auto unknown = args.UnknownOption({"period", "from", "to"}); !unknown.empty())
        return UsageError("unknown option " + unknown);
    const auto& positionals = args.Positionals();
    if (positionals.size() != 3)
        return UsageError("series needs FILE CODE MARKET");
    const std::optional<std::uint16_t> code = vorn::ParseStockCode(positionals[1]);
    unsigned long market = 0;
    if (!code)
        return UsageError("bad " + vorn::DescribeBadStockCode(positionals[1]));
    if (!ParseNumber(positionals[2], 15, market) || market == 0)
        return UsageError("bad market code '" + positionals[2] + "'");

    int period = 0;
    if (auto text = args.Option("period")) {
        if (*text == "daily")
            period = 0;
        else if (*text == "weekly")
            period = 1;
        else if (*text == "monthly")
            period = 2;
        else
            return UsageError("bad period '" + *text + "' (daily, weekly or monthly)");
    }
    unsigned short from = vorn::kNoDate;
    unsigned short to = vorn::kOpenEnd;
    if (auto text = args.Option("from"); text && (from = ParseDateArg(*text)) == 0)
        return UsageError("bad date '" + *text + "'");
    if (auto text = args.Option("to"); text && (to = ParseDateArg(*text)) == 0)
        return UsageError("bad date '" + *text + "'");

    vorn::CMarketMatrix matrix;
    const std::uint8_t restored = vorn::RestoreMatrix(matrix, positionals[0], nullptr, nullptr);
    if (restored != vorn::kMatrixOk) {
        std::fprintf(stderr, "vornctl: cannot restore %s (result %u)\n", positionals[0].c_str(),
                     static_cast<unsigned>(restored));
        return 1;
    }

    vorn::SeriesSet series;
    const vorn::SecurityKey key = vorn::MakeSecurityKey(*code, static_cast<std::uint8_t>(market));
    const vorn::SecurityRecord* security = matrix.FindSecurity(key);
    if (security == nullptr || !matrix.GetPeriodSeries(period, series, security, from, to)) {
        std::printf("no series\n");
        return 1;
    }
    const vorn::SeriesView& view = series.View(static_cast<vorn::PeriodKind>(period));
    std::printf("encoding=%u exponent=%u first=%s last=%s count=%u\n",
                static_cast<unsigned>(series.priceEncoding),
                static_cast<unsigned>(series.priceExponent), FormatDateArg(view.firstDate).c_str(),
                FormatDateArg(view.lastDate).c_str(), static_cast<unsigned>(view.count));
    const vorn::CCalendar& calendar = matrix.PeriodCalendar(period);
    switch (series.priceEncoding) {
    case vorn::kPricesU8:
        PrintElements<std::uint8_t>(view, calendar);
        break;
    case vorn::kPricesU16:
        PrintElements<std::uint16_t>(view, calendar);
        break;
    default:
        PrintElements<std::uint32_t>(view, calendar);
        break;
    }
    return 0;
}

const CommandRegistrar kSeries("series",
                               "series FILE CODE MARKET [--period daily|weekly|monthly] "
                               "[--from YYYY/MM/DD] [--to YYYY/MM/DD]",
                               RunSeries);

} // namespace
} // namespace vornctl
