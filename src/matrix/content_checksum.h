#pragma once
// The checksum kept beside a content file ("Market.kbx.xxh"): the file's own bytes stay as
// they are, so readers that know nothing of the checksum still read them.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

struct XXH3_state_s;

namespace vorn {

// "FILE.xxh" beside `content`.
std::filesystem::path ChecksumSidecarPath(const std::filesystem::path& content);

struct ContentChecksum {
    std::uint64_t digest = 0;
    std::uint64_t size = 0;
    bool operator==(const ContentChecksum&) const = default;
};

// A running 64-bit hash over bytes fed in order.
class CStreamChecksum {
public:
    CStreamChecksum();
    ~CStreamChecksum();
    CStreamChecksum(const CStreamChecksum&) = delete;
    CStreamChecksum& operator=(const CStreamChecksum&) = delete;

    bool Valid() const { return state_ != nullptr; }
    void Update(const void* data, std::size_t size);
    ContentChecksum Finish() const;

private:
    XXH3_state_s* state_;
    std::uint64_t size_ = 0;
};

// Hashes the whole file; false when it cannot be read.
bool ComputeFileChecksum(const std::filesystem::path& path, ContentChecksum& checksum);

enum class SidecarState : std::uint8_t { Absent, Valid, Malformed };

// Reads "XXH3 <16 hex digits> <size>" from the sidecar of `content`.
SidecarState ReadChecksumSidecar(const std::filesystem::path& content, ContentChecksum& checksum);

// The sidecar's text for `checksum`.
std::string FormatChecksumSidecar(const ContentChecksum& checksum);

// Writes the sidecar of `content` for `checksum` to "FILE.xxh.tmp" (flushed); the caller
// renames it into place once the content file itself is in place.
bool WriteChecksumSidecarTemporary(const std::filesystem::path& content,
                                   const ContentChecksum& checksum);

// Computes the checksum of `content` as it is now and puts its sidecar in place; for content
// files that arrive whole (an unpacked package).
bool PlaceChecksumSidecar(const std::filesystem::path& content);

// Removes the sidecar of `content` before the file is replaced by other means.
void RemoveChecksumSidecar(const std::filesystem::path& content);

} // namespace vorn
