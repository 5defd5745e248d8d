#pragma once
// Merging a restored update matrix (recent days only) into the main market matrix.
#include <cstdint>
#include <string_view>

#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "foundation/result_code.h"
#include "matrix/market_matrix.h"

namespace vorn {

// Results of a merge; the numbers are the ones the progress window shows.
enum class MergeResult : std::uint8_t {
    Ok = 0,
    EmptyCalendar = 27,  // the main matrix has no trading day
    NoNewDays = 28,      // the update holds no day after the main matrix's last day
    CompanyFailed = 29,  // a company could not be merged
    MoveFailed = 30,     // a record could not move into the main maps
    SecurityFailed = 31, // a security's series could not be merged (or would not fit)
    Cancelled = 254,
};

// The short names used throughout the module.
inline constexpr MergeResult kMergeOk = MergeResult::Ok;
inline constexpr MergeResult kMergeEmptyCalendar = MergeResult::EmptyCalendar;
inline constexpr MergeResult kMergeNoNewDays = MergeResult::NoNewDays;
inline constexpr MergeResult kMergeCompanyFailed = MergeResult::CompanyFailed;
inline constexpr MergeResult kMergeMoveFailed = MergeResult::MoveFailed;
inline constexpr MergeResult kMergeSecurityFailed = MergeResult::SecurityFailed;
inline constexpr MergeResult kMergeCancelled = MergeResult::Cancelled;

// The words a user reads for a result.
std::string_view Describe(MergeResult result);

// Appends the update's new trading days and series to `mainMatrix`, moving new securities,
// companies and their arrays out of `update` (what was taken is no longer owned there).
// Progress and any failure code go to `sink` as kMsgProgress; `cancel` may be null.
// Securities merged before a failure keep their new days.
MergeResult MergeUpdate(CEvent* cancel, IMessageSink* sink, CMarketMatrix& mainMatrix,
                        CMarketMatrix& update);

// Moves a security that the main matrix lacks, with its company when that is new too, out of
// `update` into `mainMatrix`. Its dates must be days of the main calendar.
MergeResult MoveSecurity(CMarketMatrix& mainMatrix, CMarketMatrix& update,
                         CMarketMatrix::SecurityMap::iterator position);

// Refreshes `main` from `update`: markets, industry, texts (taken over when they differ) and
// the history's new entries. On false `main` is unchanged.
bool MergeCompany(CompanyRecord& update, CompanyRecord& main);

// Appends the last `newDays` elements of the update's prices and volumes to `main`, widening
// the element type or lowering the exponent as the values require, and unites the
// adjustments. On false `main` is unchanged.
bool MergeSecurity(std::uint16_t newDays, SecurityRecord& update, SecurityRecord& main);

} // namespace vorn
