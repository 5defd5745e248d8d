#pragma once
// The index file "MarketMatrix.idx" through which the matrix server describes what it offers:
// the matrix version, the newest day that updates reach, and the full packages and update
// packages of that version's directory.
#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "foundation/packed_date.h"

namespace vorn {

constexpr std::uint16_t kMatrixIndexMagic = 0xEEC1;
constexpr std::size_t kMaxIndexDirectory = 1023;
// No valid index comes near this: 1023 directory bytes, 256 packages and 65536 updates.
constexpr std::size_t kMaxIndexFileSize = 1 << 20;

struct MatrixIndex {
    std::uint32_t version = 0;
    PackedDate reservedDate = kNoDate; // carried along, never used
    PackedDate latestDate = kNoDate;   // newest trading day the updates reach
    std::string directory;             // cp932, the server folder of this version's packages
    std::map<std::uint8_t, PackedDate> packages; // years of history -> first day held
    std::map<PackedDate, PackedDate> updates;    // update day -> base day it applies from
};

// Reads an index file image. A wrong magic, a field or record list that runs past the end, a
// key that repeats within its list or a directory over kMaxIndexDirectory bytes refuses the
// whole file; `index` is then empty. Bytes after the update records are ignored.
bool DecodeMatrixIndex(std::span<const std::uint8_t> bytes, MatrixIndex& index);
// Empty when the directory is too long to be stored.
std::vector<std::uint8_t> EncodeMatrixIndex(const MatrixIndex& index);
// Publishes an index; `path` is replaced only by a completely written file.
bool WriteMatrixIndex(const std::filesystem::path& path, const MatrixIndex& index);

// "%3u.%3u.%3u.%3u", most significant byte first.
std::string FormatMatrixVersion(std::uint32_t version);

} // namespace vorn
