#pragma once
// The matrix server's side: from one market matrix, the tree a static HTTP server offers
// under "vorn/MarketMatrix/": the index, one cabinet per full package (the last N years) and
// one per update (the days after a base day up to the newest day).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/matrix_index.h"
#include "foundation/result_code.h"
#include "matrix/market_matrix.h"

namespace vorn {

enum class PublishResult : std::uint8_t {
    Ok = 0,
    EmptyMatrix = 1,  // no trading day to publish
    BadOptions = 2,   // years outside 1..255, or nothing to publish
    CannotCreate = 3, // the directory tree could not be created
    SliceFailed = 4,  // a security's arrays do not match the calendar
    GenerateFailed = 5,
    CabinetFailed = 6,
    IndexFailed = 7,
};

// The short names used throughout the module.
inline constexpr PublishResult kPublishOk = PublishResult::Ok;
inline constexpr PublishResult kPublishEmptyMatrix = PublishResult::EmptyMatrix;
inline constexpr PublishResult kPublishBadOptions = PublishResult::BadOptions;
inline constexpr PublishResult kPublishCannotCreate = PublishResult::CannotCreate;
inline constexpr PublishResult kPublishSliceFailed = PublishResult::SliceFailed;
inline constexpr PublishResult kPublishGenerateFailed = PublishResult::GenerateFailed;
inline constexpr PublishResult kPublishCabinetFailed = PublishResult::CabinetFailed;
inline constexpr PublishResult kPublishIndexFailed = PublishResult::IndexFailed;

// The words a user reads for a result.
std::string_view Describe(PublishResult result);

// Where the publishing is: the package or update being written and how much is done.
struct PublishProgress {
    std::string step;     // e.g. "package _10.kbx: content file"
    unsigned part = 0;    // the package or update being written, from 1
    unsigned parts = 0;   // packages and updates in all
    unsigned percent = 0; // of the whole work, weighed by the trading days each part holds
};

struct PublishOptions {
    std::vector<unsigned> years{1, 3, 5, 10};
    // Updates for each of the last this many trading days.
    unsigned updates = 5;
    std::uint32_t version = 0x01000000;
    // Called on the publishing thread as each part starts and moves on; may be empty.
    std::function<void(const PublishProgress&)> progress;
};

// The server folder of a version's packages: eight hexadecimal digits.
std::string MatrixVersionDirectory(std::uint32_t version);

// The first trading day of a package of `years`: the first day after the same date `years`
// before the newest day, or the first day of all when the calendar is shorter.
PackedDate PackageFirstDay(const CCalendar& calendar, unsigned years);

// Copies the trading days from..to of `source` into `out` (cleared first): that part of the
// calendar, every security with data in it cut to those days, and their companies. False
// when a security's arrays do not cover its dates.
bool SliceMatrix(const CMarketMatrix& source, PackedDate from, PackedDate to, CMarketMatrix& out);

// Writes the tree under `root`. The index is written last, so a client never sees an index
// naming a cabinet that is not there yet. `published` receives the index.
PublishResult PublishMatrix(const CMarketMatrix& source, const std::filesystem::path& root,
                            const PublishOptions& options, MatrixIndex* published = nullptr);

} // namespace vorn
