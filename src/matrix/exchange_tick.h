#pragma once
// The price steps at which the exchanges quote a share: one table for market 15, one for
// every other market. Each row applies to prices strictly above its limit.
#include <cstddef>
#include <cstdint>

namespace vorn {

struct TickStep {
    std::uint64_t aboveYen;
    std::uint64_t tickYen;
};
constexpr TickStep kTicksMarket15[] = {{10000000, 50000}, {1000000, 10000}, {100000, 1000},
                                     {10000, 100},      {1000, 10},       {0, 1}};
constexpr TickStep kTicksExchange[] = {{30000000, 100000}, {20000000, 50000}, {1000000, 10000},
                                       {100000, 1000},     {50000, 100},      {30000, 50},
                                       {3000, 10},         {2000, 5},         {0, 1}};
constexpr std::uint8_t kMarket15 = 15;

template <std::size_t N>
constexpr std::uint64_t TickInTable(const TickStep (&table)[N], std::uint64_t priceYen) {
    for (const TickStep& step : table)
        if (priceYen > step.aboveYen)
            return step.tickYen;
    return table[N - 1].tickYen; // a price of 0
}

// The quoting step for a price on the given market.
constexpr std::uint64_t ExchangeTick(std::uint8_t market, std::uint64_t priceYen) {
    return market == kMarket15 ? TickInTable(kTicksMarket15, priceYen)
                                   : TickInTable(kTicksExchange, priceYen);
}

} // namespace vorn
