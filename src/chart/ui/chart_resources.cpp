#include "chart/ui/chart_resources.h"

#include <QString>

namespace vorn {

CChartResources::CChartResources(CGraphicManager& cache, const ChartSettings& settings)
    : settings_(settings), cache_(cache) {
    for (std::size_t i = 0; i < kChartColourCount; ++i) {
        const ColorRef colour = settings.colours[i];
        pens_[i] = cache.GetPen(nullptr, colour, 0, 1);
        // A racing caller may have cached the same object meanwhile; ask again for it.
        if (pens_[i] == nullptr)
            pens_[i] = cache.GetPen(nullptr, colour, 0, 1);
        brushes_[i] = cache.GetBrush(nullptr, colour, -1);
        if (brushes_[i] == nullptr)
            brushes_[i] = cache.GetBrush(nullptr, colour, -1);
    }
    scaleFont_ = FontOf(9, FontFace::PMincho);
    tipFont_ = FontOf(10, FontFace::PMincho);
    markFont_ = FontOf(11, FontFace::PMincho);
    markerFont_ = FontOf(10, FontFace::Mincho);
    captionFont_ = FontOf(10, FontFace::Gothic);
}

const QFont* CChartResources::FontOf(std::uint16_t points, FontFace face) {
    const auto index = static_cast<std::uint16_t>(face);
    const QFont* font =
        cache_.GetFontByIndex(nullptr, nullptr, points, index, false, false, false, false, 0);
    if (font == nullptr)
        font =
            cache_.GetFontByIndex(nullptr, nullptr, points, index, false, false, false, false, 0);
    return font != nullptr ? font : &fallbackFont_;
}

const QPen& CChartResources::Pen(ChartColour slot) const {
    const QPen* pen = slot >= 1 && slot <= kChartColourCount ? pens_[slot - 1] : nullptr;
    return pen != nullptr ? *pen : fallbackPen_;
}

const QBrush& CChartResources::Brush(ChartColour slot) const {
    const QBrush* brush = slot >= 1 && slot <= kChartColourCount ? brushes_[slot - 1] : nullptr;
    return brush != nullptr ? *brush : fallbackBrush_;
}

int CFontTextMeasure::TextWidth(std::string_view utf8) const {
    return metrics_.horizontalAdvance(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

} // namespace vorn
