#pragma once
// The pens, brushes and fonts one chart draws with, fetched from the shared drawing cache
// for the colours of its settings block, and the text measure the chart layout uses.
#include "chart/chart_model.h"

#include <QFont>
#include <QFontMetrics>
#include <array>

#include "chart/ui/chart_settings.h"
#include "ui_base/graphic_manager.h"

namespace vorn {

class CChartResources {
public:
    // The objects stay owned by `cache`, which must outlive this set.
    CChartResources(CGraphicManager& cache, const ChartSettings& settings);
    CChartResources(const CChartResources&) = delete;
    CChartResources& operator=(const CChartResources&) = delete;

    const QPen& Pen(ChartColour slot) const;
    const QBrush& Brush(ChartColour slot) const;
    QColor Colour(ChartColour slot) const { return ToQColor(settings_.Colour(slot)); }
    QRgb BackgroundRgb() const { return Colour(kColourBackground).rgb(); }

    const QFont& ScaleFont() const { return *scaleFont_; }   // scales and date labels
    const QFont& TipFont() const { return *tipFont_; }       // both tips
    const QFont& MarkFont() const { return *markFont_; }     // "B" and "S"
    const QFont& MarkerFont() const { return *markerFont_; } // "H:" and "L:"
    const QFont& CaptionFont() const { return *captionFont_; }

private:
    const QFont* FontOf(std::uint16_t points, FontFace face);

    ChartSettings settings_;
    std::array<const QPen*, kChartColourCount> pens_{};
    std::array<const QBrush*, kChartColourCount> brushes_{};
    CGraphicManager& cache_;
    // Stand-ins when the cache has nothing to give (a face its table lacks).
    QPen fallbackPen_;
    QBrush fallbackBrush_;
    QFont fallbackFont_;
    const QFont* scaleFont_ = &fallbackFont_;
    const QFont* tipFont_ = &fallbackFont_;
    const QFont* markFont_ = &fallbackFont_;
    const QFont* markerFont_ = &fallbackFont_;
    const QFont* captionFont_ = &fallbackFont_;
};

// Text widths as the scale font renders them.
class CFontTextMeasure final : public IChartTextMeasure {
public:
    explicit CFontTextMeasure(const QFont& font) : metrics_(font) {}
    int TextWidth(std::string_view utf8) const override;
    int LineHeight() const override { return metrics_.height(); }

private:
    QFontMetrics metrics_;
};

} // namespace vorn
