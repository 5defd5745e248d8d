#pragma once
// The text signal report ("「窓理論」による売買シグナル一覧"): the securities grouped by their
// current position. The functions return the text the clipboard receives, in cp932.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "gaps/listing_analysis.h"
#include "matrix/market_matrix.h"

namespace vorn {

// The report buffer, terminator included. A report that would not fit loses its last lines;
// it is never cut inside a line.
constexpr std::size_t kSignalReportCapacity = 20480;

// The `count` largest companies by market capitalisation that have a position, each on its
// preferred market; a company without shares issued is left out.
std::string CopySignalReport(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                             unsigned count);
// The securities of the given stock codes (any order, repeats allowed) on their companies'
// preferred markets, in key order.
std::string CopySignalReportFor(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                                std::span<const std::uint16_t> codes);

} // namespace vorn
