#include "screening/last_quote.h"

#include <array>

namespace vorn {
namespace {

constexpr std::array<std::uint64_t, 10> kPowersOfTen = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

template <class Price> LastQuote ReadLast(const TypedArray& prices, std::uint64_t scale) {
    const Candle<Price>& last = prices.As<Candle<Price>>()[prices.count - 1];
    LastQuote quote;
    quote.open = last.open * scale;
    quote.high = last.high * scale;
    quote.low = last.low * scale;
    quote.close = last.close * scale;
    return quote;
}

} // namespace

LastQuote ReadLastQuote(const SecurityRecord& security) {
    const TypedArray& prices = security.prices;
    if (prices.Empty() || !IsPriceType(prices.elementType) ||
        prices.attribute >= kPowersOfTen.size())
        return {};
    const std::uint64_t scale = kPowersOfTen[prices.attribute];
    LastQuote quote = VisitPriceWidth(prices.elementType, [&]<class Price>(PriceWidth<Price>) {
        return ReadLast<Price>(prices, scale);
    });
    quote.hundredths = (security.listingFlags & kListingHundredths) != 0;
    return quote;
}

std::uint64_t SharesIssued(const SecurityRecord& security) {
    return security.company ? security.company->HistoryValueAt(security.lastDate) : 0;
}

std::uint64_t MarketCapitalisation(std::uint64_t sharesIssued, const LastQuote& quote) {
    return SaturatingMultiplyDivide(sharesIssued, quote.close, quote.hundredths ? 100 : 1);
}

std::uint64_t PriceTimesUnit(const LastQuote& quote, std::uint32_t tradingUnit) {
    return SaturatingMultiplyDivide(quote.close, tradingUnit, quote.hundredths ? 100 : 1);
}

std::uint64_t MarketCapitalisationInYen(std::uint64_t sharesIssued, const LastQuote& quote) {
    return SaturatingMultiply(sharesIssued, quote.CloseInYen());
}

} // namespace vorn
