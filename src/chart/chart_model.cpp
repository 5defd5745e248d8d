#include "chart/chart_model.h"

#include "foundation/number_format.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vorn {
namespace {

// Room for the price labels left of the plot.
constexpr std::string_view kPriceLabelSample = "XXX,XXX,XXX";
constexpr int kPriceLabelGap = 5;
constexpr int kCaptionGap = 10;
constexpr int kPaneGap = 4; // between the price and the volume pane
constexpr int kDateTickLength = 4;
constexpr int kDragSlack = 5; // pixels beyond a day's width before a press becomes a drag
// Price exponents above this would overflow 64 bits with 32-bit prices.
constexpr unsigned kLargestPriceExponent = 9;

std::uint64_t PowerOfTen(unsigned exponent) {
    std::uint64_t power = 1;
    for (unsigned i = 0; i < std::min(exponent, kLargestPriceExponent); ++i)
        power *= 10;
    return power;
}

template <class Price>
void CopyCandles(const SeriesView& view, std::uint64_t scale, ChartDay* days, std::size_t count) {
    const Candle<Price>* candles = view.Candles<Price>();
    for (std::size_t i = 0; i < count; ++i) {
        ChartDay& day = days[i];
        if (!day.Quoted())
            continue;
        const Candle<Price>& candle = candles[day.seriesIndex];
        day.open = candle.open * scale;
        day.high = candle.high * scale;
        day.low = candle.low * scale;
        day.close = candle.close * scale;
        day.volume = view.volumes[day.seriesIndex];
    }
}

std::string Printf2(const char* format, unsigned a, unsigned b) {
    char text[32];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// How many times the day width a month/day label may be wide and still be drawn.
int LabelRoomFactor(unsigned month) {
    switch (month) {
    case 4:
    case 10:
        return 35;
    case 7:
        return 90;
    default:
        return 10;
    }
}

} // namespace

int CFixedPitchTextMeasure::TextWidth(std::string_view utf8) const {
    int width = 0;
    for (unsigned char c : utf8) {
        if (c < 0x80)
            width += halfWidth_;
        else if (c >= 0xC0)
            width += 2 * halfWidth_;
    }
    return width;
}

bool ChartWindowRegion::Contains(int x, int y) const {
    return std::any_of(strips.begin(), strips.end(),
                       [x, y](const ChartRect& strip) { return strip.Contains(x, y); });
}

CChartModel::CChartModel(const CMarketMatrix& matrix) : matrix_(matrix) {}

void CChartModel::SetTextMeasure(const IChartTextMeasure* measure) {
    measure_ = measure != nullptr ? measure : &fixedMeasure_;
}

void CChartModel::SetLayoutSettings(const ChartLayoutSettings& settings) {
    settings_ = settings;
    settings_.pricePaneShare = std::clamp<std::uint8_t>(settings.pricePaneShare, 1, 100);
    settings_.chartWidthShare = std::clamp<std::uint8_t>(settings.chartWidthShare, 1, 100);
}

void CChartModel::SetViewSize(int width, int height) {
    viewWidth_ = std::max(width, 0);
    viewHeight_ = std::max(height, 0);
}

bool CChartModel::LoadStock(const SecurityRecord* security) {
    CloseTips();
    CancelDrag();
    security_ = security;
    if (security_ == nullptr || !ExtractSeries()) {
        UnloadStock();
        return false;
    }
    stockDayCount_ = series_.View(seriesKind_).count;
    return true;
}

void CChartModel::UnloadStock() {
    security_ = nullptr;
    series_.Free();
    extractedCalendarDays_ = 0;
    stockDayCount_ = 0;
    slotCount_ = 0;
    maximumPosition_ = 0;
    layout_ = ChartLayout{};
    coordinates_ = CChartCoordinates{};
    CloseTips();
    CancelDrag();
}

bool CChartModel::ExtractSeries() {
    const SecurityRecord& s = *security_;
    for (PeriodKind period : kPeriodKinds)
        if (!matrix_.GetPeriodSeries(period, series_, &s, s.firstDate, s.lastDate))
            return false;
    extractedCalendarDays_ = matrix_.DailyCalendar().Count();
    return true;
}

bool CChartModel::Hundredths() const {
    return security_ != nullptr && (security_->listingFlags & kListingHundredths) != 0;
}

bool CChartModel::SetDisplay(PeriodKind seriesKind, std::uint16_t visibleDays,
                             std::uint16_t position) {
    if (security_ == nullptr || !IsPeriodKind(seriesKind))
        return false;
    seriesKind_ = seriesKind;
    if (visibleDays != 0)
        visibleDays_ = visibleDays;
    position_ = position;
    CloseTips();
    return Relayout();
}

bool CChartModel::SetVisibleDays(std::uint16_t n) {
    if (security_ == nullptr || n == 0)
        return false;
    if (n > stockDayCount_) {
        visibleDays_ = stockDayCount_;
        position_ = 0;
    } else {
        const int rightEdge = position_ + slotCount_;
        visibleDays_ = n;
        position_ = static_cast<std::uint16_t>(n < rightEdge ? rightEdge - n : 0);
    }
    return Relayout();
}

bool CChartModel::Relayout() {
    layout_ = ChartLayout{};
    layout_.seriesKind = seriesKind_;
    coordinates_ = CChartCoordinates{};
    slotCount_ = 0;
    maximumPosition_ = 0;
    if (security_ == nullptr)
        return false;
    // Forecast commands and updates change the calendars the series were cut from.
    if (matrix_.DailyCalendar().Count() != extractedCalendarDays_ && !ExtractSeries())
        return false;
    const SeriesView& view = series_.View(seriesKind_);
    stockDayCount_ = view.count;
    if (visibleDays_ == 0 || view.count == 0 || !view.prices || !view.volumes ||
        series_.priceEncoding > 2)
        return false;

    const CCalendar& calendar = matrix_.PeriodCalendar(seriesKind_);
    const int stockFirst = calendar.PositionOf(view.firstDate);
    const int stockLast = calendar.PositionOf(view.lastDate);
    if (stockFirst < 0 || stockLast < stockFirst)
        return false;
    const int calendarLast = calendar.Count() - 1;
    const int forecast = matrix_.ProjectedDays();

    int rangeLast = stockLast;
    if (seriesKind_ == PeriodKind::Daily)
        rangeLast = matrix_.IsLatestDayOf(*security_)
                        ? calendarLast
                        : std::min(stockLast + forecast, calendarLast);
    int rangeFirst = stockFirst;
    int rangeDays = rangeLast - rangeFirst + 1;
    int slots = 0;
    int maximum = 0;
    if (rangeDays < visibleDays_) {
        if (rangeDays < kShortRangeDays) {
            rangeFirst = std::max(0, rangeLast - (kShortRangeDays - 1));
            rangeDays = rangeLast - rangeFirst + 1;
        }
        slots = rangeDays;
    } else {
        slots = std::min(visibleDays_ + forecast, 0xFFFF);
        // A range shorter than the visible days plus the forecast space starts at 0 instead
        // of wrapping to a huge position.
        maximum = std::max(0, rangeDays - slots);
    }
    maximumPosition_ = static_cast<std::uint16_t>(maximum);
    position_ = std::min<std::uint16_t>(position_, maximumPosition_);
    slotCount_ = static_cast<std::uint16_t>(slots);

    if (!LayOutPanes())
        return false;
    layout_.rangeFirst = rangeFirst;
    layout_.rangeLast = rangeLast;
    layout_.stockFirst = stockFirst;
    layout_.firstShown = rangeFirst + position_;

    const double dayWidth = coordinates_.Panes().plot.Width() / static_cast<double>(slots);
    const int firstShown = layout_.firstShown;
    const int lastShown = std::min(rangeLast, firstShown + slots - 1);
    std::vector<PackedDate> dates;
    dates.reserve(static_cast<std::size_t>(std::max(0, lastShown - firstShown + 1)));
    layout_.days.reserve(dates.capacity());
    for (int p = firstShown; p <= lastShown; ++p) {
        ChartDay day;
        day.date = calendar[static_cast<std::size_t>(p)];
        const int index = p - stockFirst;
        day.seriesIndex = index >= 0 && index < view.count ? index : -1;
        dates.push_back(day.date);
        layout_.days.push_back(day);
    }
    coordinates_.SetSlotCount(slots);
    coordinates_.SetDays(dayWidth, CandleWidthFor(dayWidth), std::move(dates));
    for (std::size_t j = 0; j < layout_.days.size(); ++j)
        layout_.days[j].x = coordinates_.XOfDay(static_cast<int>(j));
    FillDays(view);
    ComputeScales();
    MarkDates();
    layout_.shown = true;
    return true;
}

bool CChartModel::LayOutPanes() {
    const int lineHeight = std::max(0, measure_->LineHeight());
    const int hMargin = settings_.horizontalMargin;
    const int vMargin = settings_.verticalMargin;
    ChartPanes panes;
    panes.window = {0, 0, viewWidth_, viewHeight_ - 1};
    const int top = vMargin + (settings_.captionLine ? lineHeight + kCaptionGap : 0);
    const int bottom =
        viewHeight_ - 1 - vMargin - (settings_.bottomCaption ? lineHeight + kCaptionGap : 0);
    const int plotLeft = hMargin + measure_->TextWidth(kPriceLabelSample) + kPriceLabelGap;
    const int rightLimit = viewWidth_ - hMargin;
    const int chartRight = plotLeft + (rightLimit - plotLeft) * settings_.chartWidthShare / 100;
    if (chartRight - plotLeft < 1 || bottom - top < 1)
        return false;
    const int priceBottom = top + (bottom - top) * settings_.pricePaneShare / 100;
    const int dateHeight = lineHeight + kDateTickLength + 2;
    panes.pricePane = {plotLeft, top, chartRight, priceBottom};
    const int volumeTop = priceBottom + kPaneGap;
    const int volumeBottom = bottom - dateHeight;
    if (volumeBottom > volumeTop) {
        panes.volumePane = {plotLeft, volumeTop, chartRight, volumeBottom};
        panes.datePane = {plotLeft, volumeBottom + 1, chartRight, bottom};
    }
    panes.plot = {plotLeft, top, chartRight,
                  panes.volumePane.Empty() ? priceBottom : panes.volumePane.bottom};
    if (settings_.chartWidthShare < 100 && rightLimit > chartRight)
        panes.bandPanel = {chartRight, top, rightLimit, priceBottom};
    coordinates_.SetPanes(panes);
    return true;
}

void CChartModel::FillDays(const SeriesView& view) {
    const std::uint64_t scale = PowerOfTen(series_.priceExponent);
    VisitPriceWidth(series_.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
        CopyCandles<Price>(view, scale, layout_.days.data(), layout_.days.size());
    });
}

void CChartModel::ComputeScales() {
    std::uint64_t highest = 0;
    std::uint64_t lowest = 0;
    std::uint64_t mostVolume = 0;
    std::uint64_t leastVolume = 0;
    bool any = false;
    std::vector<PriceBandDay> bandDays;
    bandDays.reserve(layout_.days.size());
    for (std::size_t j = 0; j < layout_.days.size(); ++j) {
        const ChartDay& day = layout_.days[j];
        // An all-zero record carries no quote and would drag the scale down to 0.
        if (!day.Quoted() || day.high == 0)
            continue;
        if (!any || day.high > highest) {
            highest = day.high;
            layout_.highestDay = static_cast<int>(j);
        }
        if (!any || day.low < lowest) {
            lowest = day.low;
            layout_.lowestDay = static_cast<int>(j);
        }
        if (!any || day.volume > mostVolume)
            mostVolume = day.volume;
        if (!any || day.volume < leastVolume)
            leastVolume = day.volume;
        any = true;
        bandDays.push_back({day.high, day.low, day.volume});
    }
    layout_.price = ComputePriceScale(security_->market, highest, lowest);
    layout_.volume = ComputeVolumeScale(mostVolume, leastVolume);
    coordinates_.SetPriceScale(layout_.price.low, layout_.price.high);
    coordinates_.SetVolumeScale(layout_.volume.low, layout_.volume.high, layout_.volume.unit);
    layout_.bandPanelShown = !coordinates_.Panes().bandPanel.Empty();
    if (layout_.bandPanelShown)
        layout_.bands = ComputePriceBands(layout_.price.low, layout_.price.high, bandDays.data(),
                                          bandDays.size());
}

void CChartModel::MarkDates() {
    const auto& days = layout_.days;
    if (days.empty())
        return;
    const CCalendar& calendar = matrix_.PeriodCalendar(seriesKind_);
    const CCalendar& monthly = matrix_.MonthlyCalendar();
    const double dayWidth = coordinates_.DayWidth();
    const int firstShown = layout_.firstShown;
    PackedDate previous =
        firstShown > 0 ? calendar[static_cast<std::size_t>(firstShown - 1)] : kNoDate;
    for (std::size_t j = 0; j < days.size(); ++j) {
        const PackedDate date = days[j].date;
        const unsigned month = DateMonth(date);
        DateMark mark;
        mark.day = static_cast<int>(j);
        mark.x = days[j].x;
        mark.date = date;
        bool marked = false;
        switch (seriesKind_) {
        case PeriodKind::Daily:
            marked = monthly.PositionOf(date) >= 0;
            if (marked) {
                const std::string label = Printf2("%2u/%-2u", month, DateDay(date));
                const int width = measure_->TextWidth(label);
                if (month == 1 || width < dayWidth * LabelRoomFactor(month)) {
                    mark.label = label;
                    mark.labelWidth = width;
                }
            }
            break;
        case PeriodKind::Weekly:
            marked = previous != kNoDate && DateMonth(previous) != month;
            break;
        default:
            marked = month == 1 || month == 7;
            break;
        }
        if (marked) {
            mark.pen = month == 1 ? DateLinePen::Year : DateLinePen::Month;
            layout_.dateMarks.push_back(std::move(mark));
        }
        if (previous != kNoDate && DateYear(previous) != DateYear(date)) {
            YearLabel year;
            year.day = static_cast<int>(j);
            year.x = days[j].x;
            char text[8];
            std::snprintf(text, sizeof text, "'%02u", DateYear(date) % 100);
            year.text = text;
            year.width = measure_->TextWidth(year.text);
            layout_.yearLabels.push_back(std::move(year));
        }
        previous = date;
    }
    auto& years = layout_.yearLabels;
    if (years.size() >= 2 &&
        years[0].x + (years[0].width + 1) / 2 >= years[1].x - years[1].width / 2)
        years.erase(years.begin());

    const PackedDate first = days.front().date;
    const PackedDate last = days.back().date;
    char caption[96];
    std::snprintf(caption, sizeof caption, "%02u/%02u/%02u ～ %02u/%02u/%02u (%u日間)",
                  DateYear(first) % 100, DateMonth(first), DateDay(first), DateYear(last) % 100,
                  DateMonth(last), DateDay(last), static_cast<unsigned>(days.size()));
    layout_.periodCaption = caption;
}

bool CChartModel::CanScroll(ChartScroll scroll) const {
    if (!layout_.shown)
        return false;
    switch (scroll) {
    case ChartScroll::First:
    case ChartScroll::Previous:
    case ChartScroll::PreviousDay:
        return position_ > 0;
    case ChartScroll::Last:
    case ChartScroll::Next:
    case ChartScroll::NextDay:
        return position_ < maximumPosition_;
    }
    return false;
}

bool CChartModel::Scroll(ChartScroll scroll) {
    if (!CanScroll(scroll))
        return false;
    const int stride = std::max(visibleDays_ - 1, 0);
    int position = position_;
    switch (scroll) {
    case ChartScroll::First:
        position = 0;
        break;
    case ChartScroll::Last:
        position = maximumPosition_;
        break;
    case ChartScroll::Next:
        position = std::min(position + stride, int{maximumPosition_});
        break;
    case ChartScroll::Previous:
        position = stride >= position ? 0 : position - stride;
        break;
    case ChartScroll::NextDay:
        position += 1;
        break;
    case ChartScroll::PreviousDay:
        position -= 1;
        break;
    }
    if (position == position_)
        return false;
    position_ = static_cast<std::uint16_t>(position);
    CloseTips();
    Relayout();
    return true;
}

bool CChartModel::CanZoomIn() const {
    return security_ != nullptr && visibleDays_ > kZoomInLimit;
}

bool CChartModel::ZoomIn(std::uint16_t step) {
    if (!CanZoomIn() || step == 0)
        return false;
    // A step as large as the days on show would leave nothing; stop at the limit instead.
    const std::uint16_t n =
        step < visibleDays_ ? static_cast<std::uint16_t>(visibleDays_ - step) : kZoomInLimit;
    return SetVisibleDays(n);
}

bool CChartModel::CanZoomOut() const {
    return security_ != nullptr && visibleDays_ < stockDayCount_;
}

bool CChartModel::ZoomOut(std::uint16_t step) {
    if (!CanZoomOut() || step == 0)
        return false;
    return SetVisibleDays(static_cast<std::uint16_t>(std::min(visibleDays_ + step, 0xFFFF)));
}

bool CChartModel::ZoomAt(int x, bool in) {
    if (security_ == nullptr || !layout_.shown || stockDayCount_ == 0)
        return false;
    const int limit = std::min<int>(kZoomInLimit, stockDayCount_);
    const int wanted = in ? visibleDays_ / 2 : visibleDays_ * 2;
    const int n = std::clamp(wanted, limit, static_cast<int>(stockDayCount_));
    if (n == visibleDays_)
        return false;
    if (n >= stockDayCount_)
        return SetVisibleDays(static_cast<std::uint16_t>(n));
    const int slots = std::max<int>(slotCount_, 1);
    int anchor = coordinates_.DayAtX(x);
    if (anchor < 0)
        anchor = slots / 2;
    const double fraction = static_cast<double>(anchor) / slots;
    const int anchored = position_ + anchor;
    visibleDays_ = static_cast<std::uint16_t>(n);
    // The relayout clamps the position to the new largest one.
    position_ = static_cast<std::uint16_t>(
        std::max(0, anchored - static_cast<int>(fraction * static_cast<double>(n))));
    return Relayout();
}

ChartHitResult CChartModel::HitTest(int x, int y,
                                    std::span<const ChartWindowRegion> windows) const {
    ChartHitResult result;
    if (!layout_.shown)
        return result;
    const ChartPanes& panes = coordinates_.Panes();
    if (x < panes.plot.left || y < panes.plot.top || y > panes.plot.bottom)
        return result;
    if (x >= panes.plot.right) {
        if (panes.bandPanel.Contains(x, y))
            result.hit = ChartHit::PriceBand;
        return result;
    }
    if (panes.volumePane.Contains(x, y)) {
        result.hit = ChartHit::VolumePane;
        result.day = coordinates_.DayAtX(x);
        return result;
    }
    if (!panes.pricePane.Contains(x, y))
        return result;
    const int body = coordinates_.BodyAtX(x);
    if (body >= 0 && static_cast<std::size_t>(body) < layout_.days.size()) {
        const ChartDay& day = layout_.days[static_cast<std::size_t>(body)];
        if (day.Quoted() && day.high != 0 && y >= coordinates_.YOfPrice(day.high) &&
            y <= coordinates_.YOfPrice(day.low)) {
            result.hit = ChartHit::Candle;
            result.day = body;
            return result;
        }
    }
    for (std::size_t i = 0; i < windows.size(); ++i)
        if (windows[i].Contains(x, y)) {
            result.hit = ChartHit::Window;
            result.window = static_cast<int>(i);
            return result;
        }
    result.hit = ChartHit::PricePane;
    result.day = coordinates_.DayAtX(x);
    return result;
}

ChartHitResult CChartModel::LeftButtonDown(int x, int y,
                                           std::span<const ChartWindowRegion> windows) {
    const ChartHitResult result = HitTest(x, y, windows);
    if (result.hit == ChartHit::Candle) {
        candleTipDay_ = result.day;
        selectedWindow_ = -1;
    } else if (result.hit == ChartHit::Window) {
        selectedWindow_ = result.window;
        candleTipDay_ = -1;
    }
    if (result.hit >= ChartHit::Candle && result.hit <= ChartHit::VolumePane) {
        drag_ = DragState::Pressed;
        dragStartX_ = x;
        dragStartY_ = y;
        dragLastShift_ = 0;
    }
    return result;
}

int CChartModel::DragShiftDays(int x) const {
    const double dayWidth = coordinates_.DayWidth();
    return dayWidth > 0.0 ? static_cast<int>((x - dragStartX_) / dayWidth) : 0;
}

bool CChartModel::MouseMove(int x, int y) {
    PostCursorReport(x, y);
    if (drag_ == DragState::Pressed) {
        const double threshold =
            std::max<double>(coordinates_.CandleWidth(), coordinates_.DayWidth()) + kDragSlack;
        if (std::abs(x - dragStartX_) > threshold) {
            drag_ = DragState::Dragging;
            dragLastShift_ = DragShiftDays(x);
            return true;
        }
        return false;
    }
    if (drag_ == DragState::Dragging) {
        const int shift = DragShiftDays(x);
        const bool changed = shift != dragLastShift_;
        dragLastShift_ = shift;
        return changed;
    }
    return false;
}

bool CChartModel::LeftButtonUp(int x, int y) {
    const bool dragging = drag_ == DragState::Dragging;
    drag_ = DragState::None;
    if (!dragging || !layout_.shown)
        return false;
    const int position =
        std::clamp(static_cast<int>(position_) - DragShiftDays(x), 0, int{maximumPosition_});
    if (position == position_)
        return false;
    position_ = static_cast<std::uint16_t>(position);
    CloseTips();
    Relayout();
    return true;
}

std::string CChartModel::DragShiftText() const {
    if (drag_ != DragState::Dragging)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, dragLastShift_ >= 0 ? "→ %3d日" : "← %3d日",
                  std::abs(dragLastShift_));
    return text;
}

ChartCursorArea CChartModel::CursorAreaAt(int x, int y) const {
    if (!layout_.shown)
        return ChartCursorArea::Other;
    const ChartPanes& panes = coordinates_.Panes();
    if (panes.pricePane.Contains(x, y))
        return ChartCursorArea::PricePane;
    if (panes.volumePane.Contains(x, y))
        return ChartCursorArea::VolumeScale;
    if (panes.bandPanel.Contains(x, y))
        return ChartCursorArea::PriceBand;
    return ChartCursorArea::Other;
}

void CChartModel::CloseTips() {
    candleTipDay_ = -1;
    selectedWindow_ = -1;
}

CursorStatusText CChartModel::CrosshairText(int x, int y) const {
    CursorStatusText text;
    if (!layout_.shown)
        return text;
    const ChartPanes& panes = coordinates_.Panes();
    const bool price = panes.pricePane.Contains(x, y);
    if (!price && !panes.volumePane.Contains(x, y))
        return text;
    const int day = coordinates_.DayAtX(x);
    if (day < 0 || static_cast<std::size_t>(day) >= layout_.days.size())
        return text;
    const ChartDay& shown = layout_.days[static_cast<std::size_t>(day)];
    const bool hundredths = Hundredths();
    const auto number = [hundredths](std::uint64_t value) {
        if (hundredths) {
            char real[kGroupedRealCapacity];
            FormatGroupedReal(static_cast<double>(value) / 100.0, "%.02f", real);
            return std::string(real);
        }
        char whole[kGroupedIntegerCapacity];
        FormatGroupedInteger(whole, value);
        return std::string(whole);
    };
    char date[48];
    std::snprintf(date, sizeof date, "日付：%04u/%2u/%2u", DateYear(shown.date),
                  DateMonth(shown.date), DateDay(shown.date));
    text.first = date;
    if (shown.Quoted()) {
        char volume[kGroupedIntegerCapacity];
        FormatGroupedInteger(volume, shown.volume);
        text.first += "  始値：" + number(shown.open) + "  高値：" + number(shown.high) +
                      "  安値：" + number(shown.low) + "  終値：" + number(shown.close) +
                      "  出来高：" + volume;
    }
    if (price) {
        text.second = "株価：" + number(coordinates_.PriceAtY(y));
    } else {
        char volume[kGroupedIntegerCapacity];
        FormatGroupedInteger(volume, coordinates_.VolumeAtY(y));
        text.second = std::string("出来高：") + volume +
                      (coordinates_.VolumeUnit() == kVolumeUnitThousands ? "千" : "");
    }
    return text;
}

void CChartModel::PostCursorReport(int x, int y) const {
    if (sink_ == nullptr)
        return;
    if (layout_.shown) {
        const ChartPanes& panes = coordinates_.Panes();
        if (panes.pricePane.Contains(x, y)) {
            if (const PackedDate date = coordinates_.DateAtX(x); date != kNoDate) {
                sink_->Post(Hundredths() ? kMsgCursorPriceHundredths : kMsgCursorPrice, date,
                            static_cast<std::intptr_t>(coordinates_.PriceAtY(y)));
                return;
            }
        } else if (panes.volumePane.Contains(x, y)) {
            if (const PackedDate date = coordinates_.DateAtX(x); date != kNoDate) {
                const bool thousands = coordinates_.VolumeUnit() == kVolumeUnitThousands;
                sink_->Post(thousands ? kMsgCursorVolumeThousands : kMsgCursorVolume, date,
                            static_cast<std::intptr_t>(coordinates_.VolumeAtY(y)));
                return;
            }
        } else if (layout_.bandPanelShown && panes.bandPanel.Contains(x, y)) {
            const PriceBandPanel& bands = layout_.bands;
            const int band = bands.BandOf(coordinates_.PriceAtY(y), layout_.price.low);
            if (band >= 0) {
                std::uint64_t volume = bands.volumes[static_cast<std::size_t>(band)];
                std::uint32_t message = kMsgCursorBand;
                if (bands.DisplayUnit() == kBandUnitMillions) {
                    volume = volume / 1000 + (volume % 1000 >= 500 ? 1 : 0);
                    message = kMsgCursorBandMillions;
                } else if (bands.unit == kBandUnitThousands) {
                    message = kMsgCursorBandThousands;
                }
                sink_->Post(
                    message, static_cast<std::uintptr_t>(volume),
                    static_cast<std::intptr_t>(bands.upperBounds[static_cast<std::size_t>(band)]));
                return;
            }
        }
    }
    sink_->Post(kMsgCursorNone, static_cast<std::uintptr_t>(x), static_cast<std::intptr_t>(y));
}

} // namespace vorn
