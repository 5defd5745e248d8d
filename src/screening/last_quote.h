#pragma once
// A security's last trading day as the screening, the securities list and the reports read
// it: the candle in yen, the shares issued at that day and the figures made of them.
#include <cstdint>

#include "matrix/market_records.h"

namespace vorn {

// The stored last candle times 10 to the security's price exponent. For a security priced in
// hundredths (kListingHundredths) the numbers are hundredths of a yen.
struct LastQuote {
    std::uint64_t open = 0;
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::uint64_t close = 0; // the last price
    bool hundredths = false;

    // The last price in whole yen: a price in hundredths is divided by 100 and truncated.
    std::uint64_t CloseInYen() const { return hundredths ? close / 100 : close; }
};

// All zeros for a security without prices, with an unknown price encoding or with an exponent
// above 9 (which no real price needs and which could overflow).
LastQuote ReadLastQuote(const SecurityRecord& security);

// The value of the company's history at the security's last date; 0 without a company.
std::uint64_t SharesIssued(const SecurityRecord& security);

// Shares issued times the last price as held (hundredths of a yen for a security priced in
// hundredths, as the list and the screening take it); 0 when either is 0, saturated rather
// than wrapped on overflow.
std::uint64_t MarketCapitalisation(std::uint64_t sharesIssued, const LastQuote& quote);
// The same with the last price in whole yen, as the signal report ranks companies.
std::uint64_t MarketCapitalisationInYen(std::uint64_t sharesIssued, const LastQuote& quote);

// The last price times the trading unit in the units of the price (hundredths for a security
// priced in hundredths), saturated on overflow.
std::uint64_t PriceTimesUnit(const LastQuote& quote, std::uint32_t tradingUnit);

// a x b, or the largest value when that does not fit.
constexpr std::uint64_t SaturatingMultiply(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

} // namespace vorn
