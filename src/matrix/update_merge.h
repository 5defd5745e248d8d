#pragma once
// Merging a restored update matrix (recent days only) into the main market matrix.
#include <cstdint>

#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "matrix/market_matrix.h"

namespace vorn {

enum MergeResult : std::uint8_t {
    kMergeOk = 0,
    kMergeEmptyCalendar = 27,  // the main matrix has no trading day
    kMergeNoNewDays = 28,      // the update holds no day after the main matrix's last day
    kMergeCompanyFailed = 29,  // a company could not be merged
    kMergeMoveFailed = 30,     // a record could not move into the main maps
    kMergeSecurityFailed = 31, // a security's series could not be merged (or would not fit)
    kMergeCancelled = 254,
};

// Appends the update's new trading days and series to `mainMatrix`, moving new securities,
// companies and their arrays out of `update` (what was taken is no longer owned there).
// Progress and any failure code go to `sink` as kMsgProgress; `cancel` may be null.
// Securities merged before a failure keep their new days.
std::uint8_t MergeUpdate(CEvent* cancel, IMessageSink* sink, CMarketMatrix& mainMatrix,
                         CMarketMatrix& update);

// Moves a security that the main matrix lacks, with its company when that is new too, out of
// `update` into `mainMatrix`. Its dates must be days of the main calendar.
std::uint8_t MoveSecurity(CMarketMatrix& mainMatrix, CMarketMatrix& update,
                          CMarketMatrix::SecurityMap::iterator position);

// Refreshes `main` from `update`: markets, industry, texts (taken over when they differ) and
// the history's new entries. On false `main` is unchanged.
bool MergeCompany(CompanyRecord& update, CompanyRecord& main);

// Appends the last `newDays` elements of the update's prices and volumes to `main`, widening
// the element type or lowering the exponent as the values require, and unites the
// adjustments. On false `main` is unchanged.
bool MergeSecurity(std::uint16_t newDays, SecurityRecord& update, SecurityRecord& main);

} // namespace vorn
