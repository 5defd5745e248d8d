#pragma once
// A deterministic synthetic market that behaves like the real one for the gap engine.
#include <cstdint>

#include "matrix/market_matrix.h"

namespace vorn {

struct SampleMarketOptions {
    int years = 10;
    int securities = 3800; // listings, the benchmark index included
    std::uint64_t seed = 20070104;
    PackedDate end = MakePackedDate(2026, 11, 27); // a Friday
};

constexpr int kSampleMaxYears = 30;
constexpr int kSampleMaxSecurities = 9000;
// The benchmark every beta is measured against: a price index, not a company.
constexpr std::uint16_t kBenchmarkCode = 1002;
constexpr std::uint8_t kBenchmarkMarket = 1;

// Fills `matrix` (cleared first). The same options always give the same market. The calendar
// runs from the day after the same date `years` earlier to the last trading day not after
// `end`. False, with the matrix left empty, for options out of range (years 1..30,
// securities 1..9000, a real date whose range starts in 1950 or later) or when memory runs out.
bool BuildSampleMarket(CMarketMatrix& matrix, const SampleMarketOptions& options);

} // namespace vorn
