#pragma once
// Every message posted to a window, in one place so that each number means one thing. The
// numbers are kept where stored or documented behaviour relies on them.
#include <algorithm>
#include <array>
#include <cstdint>

namespace vorn {

constexpr std::uint32_t kWmUser = 0x0400;

// Posted last by the start-up worker: the progress window closes itself.
constexpr std::uint32_t kMsgClose = 0x0010;
// From the feed worker to its owner window (see intelligence_foundation.h for wParam).
constexpr std::uint32_t kMsgIntelligence = kWmUser;
// Progress of a long operation (see message_sink.h for wParam).
constexpr std::uint32_t kMsgProgress = kWmUser + 1;
// From the recovery download worker to its dialog: lParam the package's first day, 0 on
// failure.
constexpr std::uint32_t kMsgMatrixRecoveryEnded = kWmUser + 2;
// A tool window has closed.
constexpr std::uint32_t kMsgToolWindowClosed = kWmUser + 3;
// From the listings grid: move the selected listings.
constexpr std::uint32_t kMsgMoveListings = kWmUser + 5;
// Condition toggles of the screening view: wParam 1 checked, 0 unchecked; lParam as noted.
constexpr std::uint32_t kMsgMarketToggle = kWmUser + 6;      // a market bit
constexpr std::uint32_t kMsgSectorToggle = kWmUser + 7;      // a sector code
constexpr std::uint32_t kMsgLawToggle = kWmUser + 8;         // a law bit (or the no-event bit)
constexpr std::uint32_t kMsgPositionToggle = kWmUser + 9;    // a position bit
constexpr std::uint32_t kMsgOptionToggle = kWmUser + 10;     // an option bit
constexpr std::uint32_t kMsgCandleShapeToggle = kWmUser + 11; // a candle shape bit
// From the details panel to its parent: another market's security (wParam code, lParam
// market), and the clicked column's number of days (wParam).
constexpr std::uint32_t kMsgDetailsSelectListing = kWmUser + 12;
constexpr std::uint32_t kMsgDetailsSelectDays = kWmUser + 13;
constexpr std::uint32_t kMsgRangeToggle = kWmUser + 16;       // range group 0..6
constexpr std::uint32_t kMsgInclinationToggle = kWmUser + 32; // 7 current day, 8 previous day
constexpr std::uint32_t kMsgTurnoverToggle = kWmUser + 33;
constexpr std::uint32_t kMsgWindowsShadowsToggle = kWmUser + 34;
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
// From the start-up worker when it needs the user's package choice; lParam the loader's
// index.
constexpr std::uint32_t kMsgChoosePackage = kWmUser + 200;
// From the announcement list to its owner when an item is activated: wParam the item id,
// lParam the item.
constexpr std::uint32_t kMsgIntelligenceActivated = kWmUser + 255;

namespace detail {
constexpr std::array kAllWindowMessages = {
    kMsgClose, kMsgIntelligence, kMsgProgress, kMsgMatrixRecoveryEnded, kMsgToolWindowClosed,
    kMsgMoveListings, kMsgMarketToggle, kMsgSectorToggle, kMsgLawToggle, kMsgPositionToggle,
    kMsgOptionToggle, kMsgCandleShapeToggle, kMsgDetailsSelectListing, kMsgDetailsSelectDays,
    kMsgRangeToggle, kMsgInclinationToggle, kMsgTurnoverToggle, kMsgWindowsShadowsToggle,
    kMsgHideSearchPopup, kMsgHideSearchPopupToCodeBox, kMsgCursorNone, kMsgCursorPrice,
    kMsgCursorPriceHundredths, kMsgCursorVolume, kMsgCursorVolumeThousands, kMsgCursorBand,
    kMsgCursorBandThousands, kMsgCursorBandMillions, kMsgChoosePackage,
    kMsgIntelligenceActivated};
constexpr bool AllDistinct() {
    auto sorted = kAllWindowMessages;
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}
} // namespace detail
static_assert(detail::AllDistinct(), "a window message number is used twice");

} // namespace vorn
