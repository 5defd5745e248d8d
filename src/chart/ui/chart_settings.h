#pragma once
// The chart settings block: pane proportions, margins, the tip opacity, the caption text and
// the 43 colour slots of the black and the white scheme.
#include "chart/chart_model.h"

#include <array>
#include <cstdint>
#include <string>

#include "ui_base/graphic_manager.h"

namespace vorn {

// Colour slots, numbered from 1 as the settings block numbers them.
enum ChartColour : std::uint8_t {
    kColourBackground = 1, // also the transparent key of the composition
    kColourGrid = 2,
    kColourLineLight = 3, // month lines, price and volume grid
    kColourLineDark = 4,  // plot frame
    kColourPriceText = 5,
    kColourVolumeText = 6,
    kColourDateText = 7,
    kColourYearText = 8,
    kColourBandText = 9,
    kColourRisingOutline = 10,
    kColourRisingFill = 11,
    kColourFallingOutline = 12,
    kColourFallingFill = 13,
    kColourVolumeEdge = 14,
    kColourVolumeFill = 15,
    kColourWindowBelow = 18, // windows opened below the price (state 1)
    kColourWindowAbove = 19,
    kColourSelectedBelow = 20,
    kColourSelectedAbove = 21,
    kColourDragText = 22,
    kColourDragFrame = 23,
    kColourCandleTipFrame = 24,
    kColourCandleTipBack = 25,
    kColourCandleTipLabel = 26,
    kColourCandleTipDate = 27,
    kColourCandleTipPrice = 28,
    kColourCandleTipVolume = 29,
    kColourWindowTipFrame = 30,
    kColourWindowTipBack = 31,
    kColourWindowTipLabel = 32,
    kColourWindowTipDate = 33,
    kColourWindowTipPrice = 34,
    kColourDragBack = 35,
    kColourCursor = 36,
    kColourTipMarker = 37,
    kColourMarkerDate = 38,
    kColourMarkerPrice = 39,
    kColourBuyMark = 40,
    kColourSellMark = 41,
    kColourBandBar = 42,
    kColourCaptionText = 43,
};
constexpr std::size_t kChartColourCount = 43;

// Bytes of the caption text field, terminator included.
constexpr std::size_t kChartCaptionCapacity = 128;

struct ChartSettings {
    PackedDate firstDate = kNoDate; // first and last day of the market calendar
    PackedDate lastDate = kNoDate;
    std::uint8_t pricePaneShare = 80;
    std::uint8_t chartWidthShare = 90;
    std::uint8_t horizontalMargin = 7;
    std::uint8_t verticalMargin = 7;
    std::uint8_t tipOpacity = 0; // 0 opaque .. 100 invisible
    std::string caption;         // cp932; a line below the chart is reserved when non-empty
    std::array<ColorRef, kChartColourCount> colours{};

    ColorRef Colour(ChartColour slot) const {
        return slot >= 1 && slot <= kChartColourCount ? colours[slot - 1] : 0;
    }
    void SetColour(ChartColour slot, ColorRef colour) {
        if (slot >= 1 && slot <= kChartColourCount)
            colours[slot - 1] = colour;
    }
    // What the model lays out with; a block read from a file is limited by the model.
    ChartLayoutSettings Layout() const;
};

constexpr ColorRef Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return ColorRef{red} | ColorRef{green} << 8 | ColorRef{blue} << 16;
}

// The block of the white scheme (true) or the black one.
ChartSettings ApplyColourScheme(bool white);

} // namespace vorn
