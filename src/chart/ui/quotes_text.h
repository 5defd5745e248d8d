#pragma once
// The quotes of one security as the comma-separated text the chart copies to the clipboard.
#include <string>

#include "matrix/market_matrix.h"

namespace vorn {

// First line "code,name,market,industry", then one line per day from the security's last day
// back to its first: date, open, high, low, close in yen, volume, and on an adjustment date
// the ratio. Stored prices (not adjusted). UTF-8; empty when the record is unusable.
std::string QuotesAsText(const CMarketMatrix& matrix, const SecurityRecord& security);

} // namespace vorn
