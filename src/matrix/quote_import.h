#pragma once
// Daily quotes from comma- or tab-separated files into a market matrix: a whole new matrix,
// or the days after an existing matrix's last day, merged as an update.
//
// Inputs:
//  - a securities list, one row per security: stock code, market (1..15), company name,
//    industry (1..34), trading unit, margin-tradable (0/1), and optionally shares issued, the
//    date they hold from, and a second company text; a header line is optional;
//  - one quotes file per security, named CODE.csv or CODE_MARKET.csv (market 1 when absent),
//    a header naming date, open, high, low, close and volume (English or Japanese) in any
//    order, then one row per trading day in ascending date order;
//  - optionally an adjustments list: code, market, date, ratio, kind (a number 0..6 or its
//    name).
// Text may be UTF-8 (with or without a byte order mark) or cp932, separated by commas or tabs.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/result_code.h"
#include "matrix/market_matrix.h"

namespace vorn {

enum class ImportResult : std::uint8_t {
    Ok = 0,
    CannotRead = 40,      // a file or directory could not be found, opened or read
    Undecodable = 41,     // neither UTF-8 nor cp932, or a name cp932 cannot hold
    BadHeader = 42,       // a quotes header lacks a column or repeats one
    BadRow = 43,          // a row failed its checks
    UnknownSecurity = 44, // a file names a security the list lacks, or one twice
    TooLarge = 45,        // more days, companies or securities than a matrix holds
    NoQuotes = 46,        // not one row could be taken
    NothingNew = 47,      // append: no row after the matrix's last day; nothing changed
    NoMemory = 48,
    RestoreFailed = 49, // append: the existing file could not be restored
    MergeFailed = 50,   // append: the update merge failed
    WriteFailed = 51,   // the content file could not be written
    OutputIsInput = 52, // the content file named is one of the inputs
};

// The short names used throughout the module.
inline constexpr ImportResult kImportOk = ImportResult::Ok;
inline constexpr ImportResult kImportCannotRead = ImportResult::CannotRead;
inline constexpr ImportResult kImportUndecodable = ImportResult::Undecodable;
inline constexpr ImportResult kImportBadHeader = ImportResult::BadHeader;
inline constexpr ImportResult kImportBadRow = ImportResult::BadRow;
inline constexpr ImportResult kImportUnknownSecurity = ImportResult::UnknownSecurity;
inline constexpr ImportResult kImportTooLarge = ImportResult::TooLarge;
inline constexpr ImportResult kImportNoQuotes = ImportResult::NoQuotes;
inline constexpr ImportResult kImportNothingNew = ImportResult::NothingNew;
inline constexpr ImportResult kImportNoMemory = ImportResult::NoMemory;
inline constexpr ImportResult kImportRestoreFailed = ImportResult::RestoreFailed;
inline constexpr ImportResult kImportMergeFailed = ImportResult::MergeFailed;
inline constexpr ImportResult kImportWriteFailed = ImportResult::WriteFailed;
inline constexpr ImportResult kImportOutputIsInput = ImportResult::OutputIsInput;

// The words a user reads for a result.
std::string_view Describe(ImportResult result);

// The step an import is at; `done` of `total` where the step goes file by file.
struct QuoteImportProgress {
    enum class Step : std::uint8_t { ReadLists, ReadQuotes, Build, Restore, Merge, Write };
    Step step = Step::ReadLists;
    std::size_t done = 0;
    std::size_t total = 0;
    std::filesystem::path file; // the file being read or written
};

struct QuoteImportOptions {
    std::filesystem::path securitiesList;
    std::filesystem::path adjustmentsList; // empty: none
    // Quotes files, or directories whose *.csv, *.tsv and *.txt files are quotes files.
    std::vector<std::filesystem::path> quotes;
    // Round prices with more than two decimal places to hundredths instead of refusing them.
    bool roundPrices = false;
    // Skip a bad row (or a quotes file that cannot be used) and count it, instead of failing.
    bool skipBadRows = false;
    // Called on the importing thread as each step starts and each quotes file is read; may be
    // empty.
    std::function<void(const QuoteImportProgress&)> progress;
};

struct QuoteImportReport {
    std::string error;                // "file:line: reason" of the failure (UTF-8)
    std::vector<std::string> skipped; // the first skipped rows and files, same form
    std::vector<std::string> notes;   // things done that the user may not expect
    std::size_t skippedRows = 0;
    std::size_t skippedFiles = 0;
    std::size_t files = 0;                  // quotes files read
    std::size_t rows = 0;                   // rows taken into the matrix
    std::size_t securities = 0;             // securities written (import) or brought forward
    std::size_t companies = 0;              // import: companies written
    std::size_t newSecurities = 0;          // append: securities added
    std::size_t unquotedSecurities = 0;     // listed, but no row taken
    std::vector<std::string> unquotedNames; // those securities, as CODE_MARKET
    std::size_t staleSecurities = 0;        // append: filled with no-trade days up to the old end
    std::size_t ignoredRows = 0;            // append: rows dated on days the matrix cannot take
    std::uint16_t days = 0;                 // import: calendar days; append: days added
    PackedDate firstDay = kNoDate;          // import: the calendar; append: the days added
    PackedDate lastDay = kNoDate;
};

// At most this many skipped rows are listed in the report (all are counted).
constexpr std::size_t kMaxListedSkips = 100;

// Fills `matrix` (cleared first) from the files. On failure the matrix is left empty and
// `report.error` says why.
ImportResult ImportQuotes(const QuoteImportOptions& options, CMarketMatrix& matrix,
                          QuoteImportReport& report);

// Appends the rows dated after the last day of `matrix` through the update merge. All files
// are read and checked before the matrix is touched; only a failure of memory or of the merge
// itself can leave it partly changed (restore it again then). kImportNothingNew leaves it
// unchanged.
ImportResult AppendQuotes(const QuoteImportOptions& options, CMarketMatrix& matrix,
                          QuoteImportReport& report);

// ImportQuotes, then writes `out` by moving a complete file over it; nothing is written on
// failure.
ImportResult ImportQuotesToFile(const QuoteImportOptions& options, const std::filesystem::path& out,
                                QuoteImportReport& report);

// Restores `file`, appends, and replaces `file` only when days were added.
ImportResult AppendQuotesToFile(const QuoteImportOptions& options,
                                const std::filesystem::path& file, QuoteImportReport& report);

} // namespace vorn
