#pragma once
// A security's last trading day as the screening, the securities list and the reports read
// it: the candle in yen, the shares issued at that day and the figures made of them.
#include <cstdint>

#include "foundation/saturating.h"
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

// Shares issued times the last price, in whole yen: for a security priced in hundredths the
// exact product is divided by 100 and truncated. 0 when either is 0, saturated rather than
// wrapped on overflow. Every list, filter, grid and rank takes this figure.
std::uint64_t MarketCapitalisation(std::uint64_t sharesIssued, const LastQuote& quote);
// Shares issued times the last price truncated to whole yen first, as the signal report ranks
// companies.
std::uint64_t MarketCapitalisationInYen(std::uint64_t sharesIssued, const LastQuote& quote);

// The investment amount: the last price times the trading unit in whole yen (truncated for a
// security priced in hundredths), saturated on overflow.
std::uint64_t PriceTimesUnit(const LastQuote& quote, std::uint32_t tradingUnit);

// a x b / divisor truncated, or the largest value when that does not fit; divisor > 0.
constexpr std::uint64_t SaturatingMultiplyDivide(std::uint64_t a, std::uint64_t b,
                                                 std::uint64_t divisor) {
    const unsigned __int128 quotient =
        static_cast<unsigned __int128>(a) * static_cast<unsigned __int128>(b) / divisor;
    return quotient > UINT64_MAX ? UINT64_MAX : static_cast<std::uint64_t>(quotient);
}

} // namespace vorn
