#pragma once
// Crash-safe replacement of a whole file: readers see the old file or the complete new one.
#include <filesystem>
#include <string_view>

namespace vorn {

// Writes `bytes` to a new file beside `path` and moves it over `path` once complete; on any
// failure the new file is removed and `path` is left as it was.
bool ReplaceFileWith(const std::filesystem::path& path, std::string_view bytes);

} // namespace vorn
