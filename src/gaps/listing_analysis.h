#pragma once
// Placeholder: the per-security analysis record is being written.
#include <map>

#include "matrix/market_records.h"

namespace vorn {

struct ListingAnalysis {};

// The application's analysis results: a period kind and one record per security.
struct AnalysisResults {
    int periodKind = 0;
    std::map<SecurityKey, ListingAnalysis> records;
};

} // namespace vorn
