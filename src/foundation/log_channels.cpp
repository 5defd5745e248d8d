// Placeholder: log channels are being written.
#include "foundation/log_channels.h"

namespace vorn {

bool OpenLogChannel(std::uint8_t, const std::filesystem::path&) { return false; }
void WriteLog(std::uint8_t, const char*, ...) {}
void CloseLogChannels() {}

} // namespace vorn
