#pragma once
// State of one generation or restore run of a market matrix.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <vector>

#include "foundation/event.h"
#include "matrix/matrix_file.h"
#include "matrix/content_checksum.h"

namespace vorn {

struct CompanyRecord;

// An owned POSIX file descriptor, closed on destruction.
class CFileHandle {
public:
    CFileHandle() = default;
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    void Reset(int fd);
    void Close() { Reset(-1); }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Buffer states: 1..6 hold section kind 1..6, 254 end of file, 255 read error, 0 empty.
struct SectionBuffer {
    std::uint8_t state = 0;
    std::uint32_t capacity = 0;
    std::uint32_t length = 0; // bytes of the section held
    std::uint64_t offset = 0; // where the section starts in the file
    std::unique_ptr<std::uint8_t[]> data;
};

// What the companies section announces for the sections that follow it.
struct PendingCompany {
    CompanyRecord* company = nullptr;
    std::uint16_t code = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t textLength = 0;
    std::uint16_t historyCount = 0;
};

struct RestoreContext {
    CFileHandle file;
    std::uint64_t fileSize = 0;
    CEvent* cancel = nullptr; // owned by the caller
    // Where the run stopped: the opener and the reader thread fill `failure`, the section
    // decoders `decoderFailure`; both are read once the reader has been joined.
    MatrixFailure failure;
    MatrixFailure decoderFailure;
    std::counting_semaphore<3> filled{0};
    std::counting_semaphore<3> free{3};
    CEvent abort{true, false};
    SectionBuffer buffers[3];

    // Consumer-side bookkeeping.
    std::vector<PendingCompany> companies; // ascending by code, one per company
    std::uint64_t declaredPriceBytes = 0;  // payload the securities section announces
    bool pricesStarted = false;            // the key cursor points at a handled security
    std::uint16_t priceBlocksDone = 0;
    std::size_t securitiesDelivered = 0; // securities whose data the price blocks held

    // Checksum verification: the reader hashes every byte it reads when a sidecar is present.
    std::unique_ptr<CStreamChecksum> checksum;
    ContentChecksum expectedChecksum;
    std::atomic<bool> checksumMismatch{false};
};

} // namespace vorn
