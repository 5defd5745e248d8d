// Placeholder: series extraction is being written.
#include "matrix/series_extraction.h"

#include "matrix/market_matrix.h"

namespace vorn {

bool PrepareView(const CCalendar&, SeriesView&, std::uint16_t, PackedDate, PackedDate,
                 std::uint16_t) {
    return false;
}

bool CMarketMatrix::GetSeries(SeriesSet&, const SecurityRecord*, PackedDate, PackedDate) const {
    return false;
}

bool CMarketMatrix::GetSeriesByKey(SeriesSet& out, SecurityKey key, PackedDate from,
                                   PackedDate to) const {
    const SecurityRecord* security = FindSecurity(key);
    return security != nullptr && GetSeries(out, security, from, to);
}

bool CMarketMatrix::GetPeriodSeries(int, SeriesSet&, const SecurityRecord*, PackedDate,
                                    PackedDate) const {
    return false;
}

} // namespace vorn
