#pragma once
// The market matrix content file: generation and the threaded restore.
#include <cstdint>
#include <filesystem>

#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "matrix/market_matrix.h"

namespace vorn {

// Result codes of generation and restore.
enum MatrixResult : std::uint8_t {
    kMatrixOk = 0,
    kMatrixCannotOpen = 13,
    kMatrixWriteHeaderFailed = 14,
    kMatrixWriteCalendarFailed = 15,
    kMatrixWriteCompaniesFailed = 16,
    kMatrixWriteSecuritiesFailed = 17,
    kMatrixWritePricesFailed = 18,
    kMatrixWriteFinalHeaderFailed = 19,
    kMatrixThreadFailed = 20,
    kMatrixWaitFailed = 21,
    kMatrixBadHeader = 22,
    kMatrixCalendarFailed = 23,
    kMatrixCompanyFailed = 24,
    kMatrixSecurityFailed = 26,
    kMatrixChecksumMismatch = 27, // the file differs from the checksum written beside it
    kMatrixInUse = 28,            // another process is writing the file
    kMatrixCancelled = 254,
    kMatrixReadError = 255,
};

constexpr std::uint16_t kMatrixMagic1 = 0x6C57;
constexpr std::uint16_t kMatrixMagic2 = 0x6D30;
constexpr std::uint16_t kMatrixHeaderSize = 28;
constexpr std::uint16_t kCompanyEntrySize = 11;
constexpr std::uint16_t kSecurityEntrySize = 21;
constexpr std::uint16_t kSecuritiesPerBlock = 750;

// Restores `path` into `matrix` (cleared first). The file is only read; when a checksum
// sidecar ("FILE.xxh") is present, the bytes must match it. Progress goes to `sink` when given;
// `cancel` may be null.
std::uint8_t RestoreMatrix(CMarketMatrix& matrix, const std::filesystem::path& path, CEvent* cancel,
                           IMessageSink* sink);

// Writes `matrix` to `path` and its checksum beside it, holding the writer lock of `path`
// (kMatrixInUse when another process keeps it). The file at `path` is replaced only once the
// new one is complete. `calendarWritten` is signalled once the calendar section is out.
std::uint8_t GenerateMatrix(CMarketMatrix& matrix, const std::filesystem::path& path,
                            CEvent* cancel, CEvent* calendarWritten);

} // namespace vorn
