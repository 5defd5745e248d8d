#pragma once
// Unpacking the cabinet archives that the matrix server delivers.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vorn {

// Longest output path (in bytes) a stored file may be extracted to; longer ones are skipped.
constexpr std::size_t kMaxExtractPath = 259;
// No content file is ever larger than this, whatever the caller allows.
constexpr std::uint64_t kMaxUnpackedSize = std::uint64_t{2} << 30;

// Extracts the one file stored as `innerName` in `cabinet` to `destination`; nothing else the
// archive holds is written. The archive is untrusted: an inner name holding a path separator
// or "..", an output path longer than kMaxExtractPath, an inner name stored more than once,
// or a stored size above `sizeLimit` (and kMaxUnpackedSize) refuses the archive. The file is
// written beside `destination` under a scratch name and appears only once it is complete. On
// success the cabinet is deleted; on failure it stays, `destination` keeps its old content
// and nothing new is left beside it.
bool UnpackCabinet(const std::string& innerName, const std::filesystem::path& destination,
                   const std::filesystem::path& cabinet,
                   std::uint64_t sizeLimit = kMaxUnpackedSize);

} // namespace vorn
