// Placeholder: the sample market generator is being written.
#include "matrix/sample_market.h"

namespace vorn {

bool BuildSampleMarket(CMarketMatrix& matrix, const SampleMarketOptions&) {
    matrix.Clear();
    return false;
}

} // namespace vorn
