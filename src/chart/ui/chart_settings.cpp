#include "chart/ui/chart_settings.h"

namespace vorn {
namespace {

// Slots 1..43 of each scheme; 16 and 17 are not used.
constexpr std::array<ColorRef, kChartColourCount> kWhiteColours = {
    Rgb(255, 255, 255), Rgb(128, 128, 128), Rgb(205, 205, 205), Rgb(200, 200, 200),
    Rgb(0, 0, 0),       Rgb(0, 0, 128),     Rgb(0, 0, 255),     Rgb(0, 128, 0),
    Rgb(128, 0, 128),   Rgb(31, 31, 31),    Rgb(255, 255, 255), Rgb(0, 0, 0),
    Rgb(64, 64, 64),    Rgb(75, 0, 130),    Rgb(106, 90, 205),  Rgb(0, 0, 0),
    Rgb(0, 0, 0),       Rgb(255, 192, 203), Rgb(135, 206, 235), Rgb(255, 192, 203),
    Rgb(0, 191, 255),   Rgb(255, 0, 0),     Rgb(136, 0, 0),     Rgb(211, 211, 211),
    Rgb(105, 105, 105), Rgb(0, 191, 255),   Rgb(255, 165, 0),   Rgb(255, 255, 255),
    Rgb(0, 255, 0),     Rgb(0, 255, 0),     Rgb(34, 139, 34),   Rgb(0, 191, 255),
    Rgb(255, 165, 0),   Rgb(255, 255, 255), Rgb(127, 255, 212), Rgb(0, 255, 0),
    Rgb(255, 0, 0),     Rgb(0, 128, 0),     Rgb(0, 0, 255),     Rgb(255, 0, 0),
    Rgb(0, 0, 205),     Rgb(255, 165, 0),   Rgb(255, 0, 255),
};
constexpr std::array<ColorRef, kChartColourCount> kBlackColours = {
    Rgb(0, 0, 0),       Rgb(128, 128, 128), Rgb(105, 105, 105), Rgb(96, 96, 96),
    Rgb(255, 255, 255), Rgb(0, 128, 0),     Rgb(255, 255, 255), Rgb(0, 255, 255),
    Rgb(255, 255, 68),  Rgb(192, 192, 192), Rgb(0, 0, 0),       Rgb(65, 105, 225),
    Rgb(0, 0, 255),     Rgb(176, 196, 222), Rgb(240, 255, 255), Rgb(0, 0, 0),
    Rgb(0, 0, 0),       Rgb(255, 105, 180), Rgb(30, 144, 255),  Rgb(255, 192, 203),
    Rgb(135, 206, 235), Rgb(255, 0, 0),     Rgb(136, 0, 0),     Rgb(211, 211, 211),
    Rgb(128, 128, 128), Rgb(0, 0, 255),     Rgb(255, 69, 0),    Rgb(0, 0, 0),
    Rgb(0, 128, 0),     Rgb(0, 255, 0),     Rgb(34, 139, 34),   Rgb(0, 0, 255),
    Rgb(255, 69, 0),    Rgb(0, 0, 0),       Rgb(48, 48, 48),    Rgb(255, 215, 0),
    Rgb(255, 0, 0),     Rgb(136, 136, 0),   Rgb(220, 220, 220), Rgb(0, 255, 0),
    Rgb(255, 69, 0),    Rgb(255, 215, 0),   Rgb(255, 255, 255),
};

constexpr std::uint8_t kWhiteTipOpacity = 0;
constexpr std::uint8_t kBlackTipOpacity = 21;
constexpr char kCaptionText[] = "Vorn";

} // namespace

ChartLayoutSettings ChartSettings::Layout() const {
    ChartLayoutSettings layout;
    layout.pricePaneShare = pricePaneShare;
    layout.chartWidthShare = chartWidthShare;
    layout.horizontalMargin = horizontalMargin;
    layout.verticalMargin = verticalMargin;
    layout.captionLine = true;
    layout.bottomCaption = !caption.empty();
    return layout;
}

ChartSettings ApplyColourScheme(bool white) {
    ChartSettings settings;
    settings.pricePaneShare = 80;
    settings.chartWidthShare = 90;
    settings.horizontalMargin = 7;
    settings.verticalMargin = 7;
    settings.tipOpacity = white ? kWhiteTipOpacity : kBlackTipOpacity;
    settings.caption = kCaptionText;
    settings.colours = white ? kWhiteColours : kBlackColours;
    return settings;
}

} // namespace vorn
