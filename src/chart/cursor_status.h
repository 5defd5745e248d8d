#pragma once
// The messages the chart and its view post to the main frame, and the status-bar texts the
// frame writes for the cursor reports.
#include <cstdint>
#include <string>

#include "foundation/message_sink.h"

namespace vorn {

// The popup and cursor messages are in foundation/window_messages.h.

// The two status-bar panes, UTF-8.
struct CursorStatusText {
    std::string first;
    std::string second;
};

// Texts for a cursor report; both empty for kMsgCursorNone and for any other message.
CursorStatusText FormatCursorStatus(std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam);

} // namespace vorn
