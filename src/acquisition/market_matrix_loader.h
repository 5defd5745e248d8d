#pragma once
// Keeps the local market matrix file current from the matrix server: fetches the index,
// downloads a full package or an update package (cabinet archives) and unpacks them.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "acquisition/matrix_index.h"
#include "foundation/agency.h"
#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "matrix/market_matrix.h"

namespace vorn {

// Results of TransferFile.
enum TransferResult : std::uint8_t {
    kTransferDone = 0,
    kTransferNoConnection = 1,
    kTransferFileNotCreated = 2,
    kTransferWriteFailed = 3,
    kTransferBroken = 4,
};

// Results of the start-up acquisition steps (restore and merge codes pass through unchanged).
enum AcquisitionResult : std::uint8_t {
    kAcquisitionOk = 0,
    kAcquisitionIndexNotFetched = 10,
    kAcquisitionChoiceCancelled = 11,
    kAcquisitionPackageFailed = 12,
    kAcquisitionKnownPackageFailed = 13,
    kAcquisitionNoUpdate = 14,
    kAcquisitionUpdateFailed = 15,
};

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
    std::uint8_t TransferFile(const std::string& serverPath, const std::string& serverHost,
                              const std::filesystem::path& localPath);
    // What one download is expected to be: its size (for the deadline), the largest body
    // accepted (0: any), and whether a ".part" of an earlier attempt is continued and a broken
    // transfer's bytes kept for the next one.
    struct TransferSize {
        std::uint64_t expected = 0;
        std::uint64_t maximum = 0;
        bool resume = false;
    };
    std::uint8_t TransferFile(const std::string& serverPath, const std::string& serverHost,
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
    std::uint8_t DownloadFullMatrix(const std::string& serverHost,
                                    const std::filesystem::path& destination, PackedDate knownFirst,
                                    const std::function<unsigned()>& chooseYears,
                                    IMessageSink* window, PackedDate& firstDate);
    // Brings `matrix` up to the index's latest day: download, restore into a temporary
    // matrix, merge. kAcquisitionOk when the matrix changed; kAcquisitionNoUpdate or
    // kAcquisitionUpdateFailed when it was left as it was (neither is fatal); a restore or
    // merge code otherwise (already posted to `window` as a failure).
    std::uint8_t UpdateMatrix(CMarketMatrix& matrix, const std::string& serverHost, CEvent* cancel,
                              IMessageSink* window);

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
