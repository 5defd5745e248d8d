#pragma once
// A deterministic synthetic market that behaves like the real one for the gap engine.
#include <cstdint>

#include "matrix/market_matrix.h"

namespace vorn {

struct SampleMarketOptions {
    int years = 10;
    int securities = 3800;
    std::uint64_t seed = 20070104;
    PackedDate end = MakePackedDate(2026, 11, 27); // a Friday
};

// Fills `matrix` (cleared first). The same options always give the same market.
bool BuildSampleMarket(CMarketMatrix& matrix, const SampleMarketOptions& options);

} // namespace vorn
