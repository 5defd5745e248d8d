#pragma once
// Packing a content file as a cabinet archive, for publishing packages on the server side.
#include <filesystem>
#include <string>

namespace vorn {

// Writes `cabinet` holding the file `source` under the stored name `innerName`, compressed
// with MS-ZIP unless `compress` is false. The cabinet is replaced only by a complete archive.
bool WriteCabinet(const std::filesystem::path& cabinet, const std::string& innerName,
                  const std::filesystem::path& source, bool compress = true);

} // namespace vorn
