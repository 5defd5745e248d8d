#pragma once
// The messages the chart and its view post to the main frame, and the status-bar texts the
// frame writes for the cursor reports.
#include <cstdint>
#include <string>

#include "foundation/message_sink.h"

namespace vorn {

// Hide the stock name popup; wParam 1 leaves the focus where it is, 0 returns it to the frame.
constexpr std::uint32_t kMsgHideSearchPopup = kWmUser + 128;
// Hide the popup and return the focus to the code box.
constexpr std::uint32_t kMsgHideSearchPopupToCodeBox = kWmUser + 129;

// Cursor reports, one per mouse move over the chart.
constexpr std::uint32_t kMsgCursorNone = kWmUser + 130;            // x, y: panes cleared
constexpr std::uint32_t kMsgCursorPrice = kWmUser + 131;           // date, price in yen
constexpr std::uint32_t kMsgCursorPriceHundredths = kWmUser + 132; // date, price x 100
constexpr std::uint32_t kMsgCursorVolume = kWmUser + 133;          // date, volume
constexpr std::uint32_t kMsgCursorVolumeThousands = kWmUser + 134; // date, volume / 1000
constexpr std::uint32_t kMsgCursorBand = kWmUser + 135;            // band volume, band price
constexpr std::uint32_t kMsgCursorBandThousands = kWmUser + 136;   // volume / 1000, price
constexpr std::uint32_t kMsgCursorBandMillions = kWmUser + 137;    // volume / 10^6, price

// The two status-bar panes, UTF-8.
struct CursorStatusText {
    std::string first;
    std::string second;
};

// Texts for a cursor report; both empty for kMsgCursorNone and for any other message.
CursorStatusText FormatCursorStatus(std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam);

} // namespace vorn
