#include "chart/ui/quotes_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "foundation/text_encoding.h"
#include "matrix/market_naming.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"

namespace vorn {
namespace {

constexpr unsigned kLargestExponent = 9;

std::uint64_t PowerOfTen(unsigned exponent) {
    std::uint64_t power = 1;
    for (unsigned i = 0; i < std::min(exponent, kLargestExponent); ++i)
        power *= 10;
    return power;
}

const AdjustmentEntry* AdjustmentOn(const SecurityRecord& security, PackedDate date) {
    if (!HasAdjustments(security.adjustments))
        return nullptr;
    for (const AdjustmentEntry& entry : security.adjustments->entries)
        if (entry.date == date)
            return &entry;
    return nullptr;
}

template <class Price, class Volume>
void AppendQuotes(const SecurityRecord& s, const CCalendar& calendar, int firstPosition,
                  std::uint16_t count, std::string& text) {
    const auto* candles = s.prices.As<Candle<Price>>();
    const auto* volumes = s.volumes.As<Volume>();
    const std::uint64_t priceScale = PowerOfTen(s.prices.attribute);
    const std::uint64_t volumeScale = PowerOfTen(s.volumes.attribute);
    const bool hundredths = (s.listingFlags & kListingHundredths) != 0;
    char line[256];
    for (int i = count - 1; i >= 0; --i) {
        const PackedDate date = calendar[static_cast<std::size_t>(firstPosition + i)];
        const Candle<Price>& c = candles[i];
        const std::uint64_t open = c.open * priceScale, high = c.high * priceScale,
                            low = c.low * priceScale, close = c.close * priceScale;
        const std::uint64_t volume = std::uint64_t{volumes[i]} * volumeScale;
        const unsigned y = DateYear(date), m = DateMonth(date), d = DateDay(date);
        if (hundredths) {
            std::snprintf(line, sizeof line, "%04u%02u%02u,%.02f,%.02f,%.02f,%.02f,%" PRIu64 ",\n",
                          y, m, d, open / 100.0, high / 100.0, low / 100.0, close / 100.0, volume);
        } else if (const AdjustmentEntry* adjustment = AdjustmentOn(s, date)) {
            std::snprintf(line, sizeof line,
                          "%04u%02u%02u,%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64
                          ",%f\n",
                          y, m, d, open, high, low, close, volume, adjustment->ratio);
        } else {
            std::snprintf(line, sizeof line,
                          "%04u%02u%02u,%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64
                          ",\n",
                          y, m, d, open, high, low, close, volume);
        }
        text += line;
    }
}

using QuoteWriter = void (*)(const SecurityRecord&, const CCalendar&, int, std::uint16_t,
                             std::string&);
// By price element type (rows) and volume element type (columns).
constexpr QuoteWriter kQuoteWriters[3][4] = {
    {AppendQuotes<std::uint8_t, std::uint8_t>, AppendQuotes<std::uint8_t, std::uint16_t>,
     AppendQuotes<std::uint8_t, std::uint32_t>, AppendQuotes<std::uint8_t, std::uint64_t>},
    {AppendQuotes<std::uint16_t, std::uint8_t>, AppendQuotes<std::uint16_t, std::uint16_t>,
     AppendQuotes<std::uint16_t, std::uint32_t>, AppendQuotes<std::uint16_t, std::uint64_t>},
    {AppendQuotes<std::uint32_t, std::uint8_t>, AppendQuotes<std::uint32_t, std::uint16_t>,
     AppendQuotes<std::uint32_t, std::uint32_t>, AppendQuotes<std::uint32_t, std::uint64_t>},
};

} // namespace

std::string QuotesAsText(const CMarketMatrix& matrix, const SecurityRecord& security) {
    const TypedArray& prices = security.prices;
    const TypedArray& volumes = security.volumes;
    if (prices.Empty() || volumes.Empty() || !IsPriceType(prices.elementType) ||
        !IsValueType(volumes.elementType))
        return {};
    const CCalendar& calendar = matrix.DailyCalendar();
    const int firstPosition = calendar.PositionOf(security.firstDate);
    if (firstPosition < 0)
        return {};
    // Never past either array or the calendar.
    const int count =
        std::min({int{prices.count}, int{volumes.count}, int{calendar.Count()} - firstPosition});

    const CompanyRecord* company = security.company;
    const std::string name =
        company != nullptr && company->name ? Cp932ToUtf8(*company->name) : std::string();
    std::string text = FormatStockCode(security.Code()) + ",";
    text += name;
    text += ",";
    text += MarketNamingOf(matrix).Name(security.market);
    text += ",";
    text += IndustryName(company != nullptr ? company->industry : 0);
    text += "\n";
    if (count > 0)
        kQuoteWriters[prices.elementType][volumes.elementType - kValueU8](
            security, calendar, firstPosition, static_cast<std::uint16_t>(count), text);
    return text;
}

} // namespace vorn
