#pragma once
// The command identifiers and the private messages of the shell.
#include <cstdint>

#include "foundation/message_sink.h"
#include "ui_base/command_id.h"

namespace vorn {

// Posted by the start-up worker when it needs the user's package choice; lParam points to
// the loader's index.
constexpr std::uint32_t kMsgChoosePackage = kWmUser + 200;

} // namespace vorn
