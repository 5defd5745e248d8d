#pragma once
// The market matrix content file: generation and the threaded restore.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "foundation/result_code.h"
#include "matrix/market_matrix.h"

namespace vorn {

// Result codes of generation and restore; the numbers are the ones the program shows.
enum class MatrixResult : std::uint8_t {
    Ok = 0,
    CannotOpen = 13,
    WriteHeaderFailed = 14,
    WriteCalendarFailed = 15,
    WriteCompaniesFailed = 16,
    WriteSecuritiesFailed = 17,
    WritePricesFailed = 18,
    WriteFinalHeaderFailed = 19,
    ThreadFailed = 20,
    WaitFailed = 21,
    BadHeader = 22,
    CalendarFailed = 23,
    CompanyFailed = 24,
    SecurityFailed = 26,
    ChecksumMismatch = 27, // the file differs from the checksum written beside it
    InUse = 28,            // another process is writing the file
    Cancelled = 254,
    ReadError = 255,
};

// The short names used throughout the module.
inline constexpr MatrixResult kMatrixOk = MatrixResult::Ok;
inline constexpr MatrixResult kMatrixCannotOpen = MatrixResult::CannotOpen;
inline constexpr MatrixResult kMatrixWriteHeaderFailed = MatrixResult::WriteHeaderFailed;
inline constexpr MatrixResult kMatrixWriteCalendarFailed = MatrixResult::WriteCalendarFailed;
inline constexpr MatrixResult kMatrixWriteCompaniesFailed = MatrixResult::WriteCompaniesFailed;
inline constexpr MatrixResult kMatrixWriteSecuritiesFailed = MatrixResult::WriteSecuritiesFailed;
inline constexpr MatrixResult kMatrixWritePricesFailed = MatrixResult::WritePricesFailed;
inline constexpr MatrixResult kMatrixWriteFinalHeaderFailed = MatrixResult::WriteFinalHeaderFailed;
inline constexpr MatrixResult kMatrixThreadFailed = MatrixResult::ThreadFailed;
inline constexpr MatrixResult kMatrixWaitFailed = MatrixResult::WaitFailed;
inline constexpr MatrixResult kMatrixBadHeader = MatrixResult::BadHeader;
inline constexpr MatrixResult kMatrixCalendarFailed = MatrixResult::CalendarFailed;
inline constexpr MatrixResult kMatrixCompanyFailed = MatrixResult::CompanyFailed;
inline constexpr MatrixResult kMatrixSecurityFailed = MatrixResult::SecurityFailed;
inline constexpr MatrixResult kMatrixChecksumMismatch = MatrixResult::ChecksumMismatch;
inline constexpr MatrixResult kMatrixInUse = MatrixResult::InUse;
inline constexpr MatrixResult kMatrixCancelled = MatrixResult::Cancelled;
inline constexpr MatrixResult kMatrixReadError = MatrixResult::ReadError;

// The words a user reads for a result.
std::string_view Describe(MatrixResult result);

// Where and why a restore or generation stopped, for the message a user reads.
struct MatrixFailure {
    MatrixResult result = MatrixResult::Ok;
    int systemError = 0;            // errno of a failed open, read or write; 0 when none
    const char* section = nullptr;  // "header", "calendar", "company", ... when damaged
    std::uint64_t offset = 0;       // byte offset of that section in the file
    std::uint64_t pastEnd = 0;      // bytes the section reaches beyond the end of the file
    std::uint64_t fileSize = 0;
};

// One line: "permission denied", "empty file", "damaged: security section ends 1,204 bytes
// past the end of the file", "damaged: company section at byte 96 is not valid".
std::string DescribeFailure(const MatrixFailure& failure);

constexpr std::uint16_t kMatrixMagic1 = 0x6C57;
constexpr std::uint16_t kMatrixMagic2 = 0x6D30;
constexpr std::uint16_t kMatrixHeaderSize = 28;
constexpr std::uint16_t kCompanyEntrySize = 11;
constexpr std::uint16_t kSecurityEntrySize = 21;
constexpr std::uint16_t kSecuritiesPerBlock = 750;

// Restores `path` into `matrix` (cleared first). The file is only read; when a checksum
// sidecar ("FILE.xxh") is present, the bytes must match it. Progress goes to `sink` when given;
// `cancel` may be null; `failure`, when given, says where a failed restore stopped.
MatrixResult RestoreMatrix(CMarketMatrix& matrix, const std::filesystem::path& path,
                           CEvent* cancel, IMessageSink* sink, MatrixFailure* failure = nullptr);

// Writes `matrix` to `path` and its checksum beside it, holding the writer lock of `path`
// (InUse when another process keeps it). The file at `path` is replaced only once the new one
// is complete. `calendarWritten` is signalled once the calendar section is out.
MatrixResult GenerateMatrix(CMarketMatrix& matrix, const std::filesystem::path& path,
                            CEvent* cancel, CEvent* calendarWritten);

} // namespace vorn
