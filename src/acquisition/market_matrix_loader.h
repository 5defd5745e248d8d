#pragma once
// Keeps the local market matrix file current from the matrix server: fetches the index,
// downloads a full package or an update package (cabinet archives) and unpacks them.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "acquisition/matrix_index.h"
#include "foundation/agency.h"
#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "foundation/result_code.h"
#include "matrix/market_matrix.h"
#include "matrix/matrix_file.h"
#include "matrix/update_merge.h"

namespace vorn {

// Results of TransferFile.
enum class TransferResult : std::uint8_t {
    Done = 0,
    NoConnection = 1,
    FileNotCreated = 2,
    WriteFailed = 3,
    Broken = 4,
};

// Results of the start-up acquisition steps.
enum class AcquisitionResult : std::uint8_t {
    Ok = 0,
    IndexNotFetched = 10,
    ChoiceCancelled = 11,
    PackageFailed = 12,
    KnownPackageFailed = 13,
    NoUpdate = 14,
    UpdateFailed = 15,
};

// The short names used throughout the module.
inline constexpr TransferResult kTransferDone = TransferResult::Done;
inline constexpr TransferResult kTransferNoConnection = TransferResult::NoConnection;
inline constexpr TransferResult kTransferFileNotCreated = TransferResult::FileNotCreated;
inline constexpr TransferResult kTransferWriteFailed = TransferResult::WriteFailed;
inline constexpr TransferResult kTransferBroken = TransferResult::Broken;
inline constexpr AcquisitionResult kAcquisitionOk = AcquisitionResult::Ok;
inline constexpr AcquisitionResult kAcquisitionIndexNotFetched = AcquisitionResult::IndexNotFetched;
inline constexpr AcquisitionResult kAcquisitionChoiceCancelled = AcquisitionResult::ChoiceCancelled;
inline constexpr AcquisitionResult kAcquisitionPackageFailed = AcquisitionResult::PackageFailed;
inline constexpr AcquisitionResult kAcquisitionKnownPackageFailed =
    AcquisitionResult::KnownPackageFailed;
inline constexpr AcquisitionResult kAcquisitionNoUpdate = AcquisitionResult::NoUpdate;
inline constexpr AcquisitionResult kAcquisitionUpdateFailed = AcquisitionResult::UpdateFailed;

// The words a user reads for a result.
std::string_view Describe(TransferResult result);
std::string_view Describe(AcquisitionResult result);

// The result of a step that restores and merges what it downloaded: the loader's own result,
// or the restore's or the merge's, each keeping its module's number.
using AcquisitionOutcome = std::variant<AcquisitionResult, MatrixResult, MergeResult>;

std::string_view Describe(const AcquisitionOutcome& outcome);
unsigned ResultCode(const AcquisitionOutcome& outcome);

// The version a first run assumes for the matrix it is about to get.
constexpr std::uint32_t kFirstRunMatrixVersion = 0x01000000;

class CMarketMatrixLoader final {
public:
    CMarketMatrixLoader() = default;
    CMarketMatrixLoader(const CMarketMatrixLoader&) = delete;
    CMarketMatrixLoader& operator=(const CMarketMatrixLoader&) = delete;

    // --- Operations in slot order ---
    // Takes the package with the fewest years whose first day is on or after `wantedFirst`,
    // else the one with the most years, and runs DownloadPackage on it. 0 when the index
    // offers no package.
    virtual PackedDate DownloadFrom(const std::string& serverHost,
                                    const std::filesystem::path& destination,
                                    PackedDate wantedFirst, IMessageSink* window,
                                    std::uint32_t message, std::uintptr_t percentCode,
                                    std::uintptr_t textCode, std::intptr_t percentValue);
    // Downloads the package with the fewest years not below `years` and replaces
    // `destination` with its content. Returns the package's first day, 0 on failure (the
    // destination is then untouched).
    virtual PackedDate DownloadPackage(const std::string& serverHost,
                                       const std::filesystem::path& destination, unsigned years,
                                       IMessageSink* window, std::uint32_t message,
                                       std::uintptr_t percentCode, std::uintptr_t textCode,
                                       std::intptr_t percentValue);
    virtual std::string FormatUpdateName(PackedDate day) const;
    virtual std::string FormatPackageName(unsigned years) const;
    virtual std::string FormatIndexName() const { return "MarketMatrix.idx"; }

    // --- Index ---
    bool FetchIndex(const std::string& serverHost);
    // Replaces the held index; false (and an empty index) for a damaged image.
    bool ParseIndex(std::span<const std::uint8_t> bytes);
    const MatrixIndex& Index() const { return index_; }
    std::uint32_t Version() const { return index_.version; }
    PackedDate LatestDate() const { return index_.latestDate; }
    bool OffersNewerVersion(std::uint32_t localVersion) const {
        return index_.version > localVersion;
    }
    bool OffersUpdateAfter(PackedDate lastHeld) const {
        return !index_.updates.empty() && lastHeld < index_.latestDate;
    }

    // --- Transfers ---
    // Downloads the update that continues from `lastHeld` and unpacks it; `result` then
    // names the content file, which the caller deletes after use.
    bool DownloadUpdate(std::filesystem::path& result, PackedDate lastHeld,
                        const std::string& serverHost, IMessageSink* window);
    // GETs `serverPath` into `localPath`; a failed transfer leaves no file there.
    TransferResult TransferFile(const std::string& serverPath, const std::string& serverHost,
                                const std::filesystem::path& localPath);
    // What one download is expected to be: its size (for the deadline), the largest body
    // accepted (0: any), and whether a ".part" of an earlier attempt is continued and a broken
    // transfer's bytes kept for the next one.
    struct TransferSize {
        std::uint64_t expected = 0;
        std::uint64_t maximum = 0;
        bool resume = false;
    };
    TransferResult TransferFile(const std::string& serverPath, const std::string& serverHost,
                                const std::filesystem::path& localPath, TransferSize size);
    // Where and why the last failed transfer or unpacking failed; cause None when the last
    // one succeeded.
    const TransferFailure& LastFailure() const { return lastFailure_; }
    // Told the bytes of the file held so far (a continued part's included) as a download's
    // body arrives, on the thread that transfers; empty for none. Set it before transfers
    // start.
    using TransferObserver = std::function<void(std::uint64_t bytes)>;
    void SetTransferObserver(TransferObserver observer) { observer_ = std::move(observer); }

    // --- Start-up steps ---
    // Replaces `destination` with a full package after the local matrix could not be
    // restored: with a known first day without asking, else with the years `chooseYears`
    // returns (0 = cancelled). On kAcquisitionOk `firstDate` holds the package's first day.
    AcquisitionResult DownloadFullMatrix(const std::string& serverHost,
                                         const std::filesystem::path& destination,
                                         PackedDate knownFirst,
                                         const std::function<unsigned()>& chooseYears,
                                         IMessageSink* window, PackedDate& firstDate);
    // Brings `matrix` up to the index's latest day: download, restore into a temporary
    // matrix, merge. kAcquisitionOk when the matrix changed; kAcquisitionNoUpdate or
    // kAcquisitionUpdateFailed when it was left as it was (neither is fatal); a restore or
    // merge code otherwise (already posted to `window` as a failure).
    AcquisitionOutcome UpdateMatrix(CMarketMatrix& matrix, const std::string& serverHost,
                                    CEvent* cancel, IMessageSink* window);

    // --- Settings ---
    // Where downloads go; the platform's temporary directory when empty.
    void SetTemporaryDirectory(std::filesystem::path directory) {
        temporaryDirectory_ = std::move(directory);
    }
    // The stall time-out is also the window over which the minimum rate is judged (see
    // CAgent::SetTimeouts).
    void SetTimeouts(long connectTimeoutMs, long stallTimeoutMs) {
        connectTimeoutMs_ = connectTimeoutMs;
        stallTimeoutMs_ = stallTimeoutMs;
    }
    void SetMinimumRate(std::uint32_t bytesPerSecond) { minimumRate_ = bytesPerSecond; }
    void SetDeadline(long baseMs, std::uint32_t bytesPerSecond) {
        deadlineBaseMs_ = baseMs;
        deadlineRate_ = bytesPerSecond;
    }

private:
    bool TemporaryDirectory(std::filesystem::path& directory) const;
    std::string PackagePath(const std::string& localName) const;

    MatrixIndex index_;
    std::filesystem::path temporaryDirectory_;
    long connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    long stallTimeoutMs_ = kDefaultStallTimeoutMs;
    std::uint32_t minimumRate_ = kDefaultMinimumRate;
    long deadlineBaseMs_ = kDefaultDeadlineBaseMs;
    std::uint32_t deadlineRate_ = kDefaultDeadlineRate;
    TransferFailure lastFailure_;
    TransferObserver observer_;
    // Posted progress texts are read after the poster has moved on; each lives here until
    // the next download overwrites it.
    char downloadText_[128] = {};
    char unpackText_[128] = {};
};

} // namespace vorn
