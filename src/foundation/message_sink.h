#pragma once
// Workers report to windows only by posting messages through this interface; the desktop
// application turns them into events for the receiving window, tests record them.
#include <cstdint>

#include "foundation/window_messages.h"

namespace vorn {

// kMsgProgress, the progress of a long operation: wParam 0 percent, 1 status text, 2 failure
// or cancel code.
constexpr std::uintptr_t kProgressPercent = 0;
constexpr std::uintptr_t kProgressText = 1;
constexpr std::uintptr_t kProgressFailure = 2;

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // Must not block and may be called from any thread. A text passed in lParam points to a
    // string that outlives the message (the program's own constant texts).
    virtual void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

} // namespace vorn
