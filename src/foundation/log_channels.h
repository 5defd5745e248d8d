#pragma once
// Timestamped diagnostic log files, addressed by a small channel number.
#include <cstdint>
#include <filesystem>

namespace vorn {

// Fails when the channel is already open. Creates missing directories along the path and
// appends to the file.
bool OpenLogChannel(std::uint8_t channel, const std::filesystem::path& path);
// Appends "[YYYY/MM/DD hh:mm:ss.mmm] " and the formatted message (at most 1024 characters)
// in one write; does nothing when the channel is not open.
void WriteLog(std::uint8_t channel, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void CloseLogChannels();

} // namespace vorn
