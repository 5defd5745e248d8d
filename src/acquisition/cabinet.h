#pragma once
// Unpacking the cabinet archives that the matrix server delivers.
#include <filesystem>
#include <string>

namespace vorn {

// Longest output path (in bytes) a stored file may be extracted to; longer ones are skipped.
constexpr std::size_t kMaxExtractPath = 259;

// Extracts every file of `cabinet` into the directory of `destination`, then moves the one
// stored as `innerName` over `destination`. The archive is untrusted: stored names holding a
// path separator or "..", or paths longer than kMaxExtractPath, are not extracted. On success
// the cabinet is deleted; on failure it stays and `destination` keeps its old content.
bool UnpackCabinet(const std::string& innerName, const std::filesystem::path& destination,
                   const std::filesystem::path& cabinet);

} // namespace vorn
