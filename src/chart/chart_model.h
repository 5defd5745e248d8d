#pragma once
// What the gap chart of one stock shows and where: the displayed period with scrolling, zoom
// and forecast space, the pane layout, the price and volume scales, the date axis, the
// price-band volume panel, and the mouse (hit tests, dragging, cursor reports). Plain data
// for the drawing layers, which read it together with the coordinate mapping.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chart/chart_coordinates.h"
#include "chart/chart_scales.h"
#include "chart/cursor_status.h"
#include "foundation/message_sink.h"
#include "matrix/market_matrix.h"

namespace vorn {

// Widths of text as the drawing will render it; the layout reserves room for labels.
class IChartTextMeasure {
public:
    virtual ~IChartTextMeasure() = default;
    virtual int TextWidth(std::string_view utf8) const = 0;
    virtual int LineHeight() const = 0;
};

// A fixed-pitch stand-in: half-width characters `halfWidth` pixels, the rest twice that.
class CFixedPitchTextMeasure final : public IChartTextMeasure {
public:
    explicit CFixedPitchTextMeasure(int halfWidth = 6, int lineHeight = 12)
        : halfWidth_(halfWidth), lineHeight_(lineHeight) {}
    int TextWidth(std::string_view utf8) const override;
    int LineHeight() const override { return lineHeight_; }

private:
    int halfWidth_;
    int lineHeight_;
};

// Layout values of the chart settings block. They come from a settings file, so the model
// limits them before use.
struct ChartLayoutSettings {
    std::uint8_t pricePaneShare = 80;  // percent of the plot height
    std::uint8_t chartWidthShare = 90; // percent of the width; the band panel takes the rest
    std::uint8_t horizontalMargin = 7; // pixels
    std::uint8_t verticalMargin = 7;   // pixels
    bool captionLine = true;           // the stock caption is shown above the plot
    bool bottomCaption = false;        // the settings' caption text is non-empty
};

// One slot of the view that lies in the display range.
struct ChartDay {
    PackedDate date = kNoDate;
    int x = 0;              // centre of the day
    int seriesIndex = -1;   // element of the shown series, -1 before or after the stock
    std::uint64_t open = 0; // prices x 10^k
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::uint64_t close = 0;
    std::uint64_t volume = 0; // shares

    bool Quoted() const { return seriesIndex >= 0; }
};

enum class DateLinePen : std::uint8_t { Month = 0, Year = 1 };

// A marked day of the date axis: a tick in the date pane, a grid line across the plot and,
// for daily charts, possibly a month/day label centred under the line.
struct DateMark {
    int day = 0; // view day
    int x = 0;
    PackedDate date = kNoDate;
    DateLinePen pen = DateLinePen::Month;
    std::string label; // UTF-8; empty when none is drawn
    int labelWidth = 0;
};

// A two-digit year at the first day of a year, shown at the top and the bottom of the plot.
struct YearLabel {
    int day = 0;
    int x = 0;
    std::string text;
    int width = 0;
};

// Everything a relayout computes. `shown` false: no stock or nothing to show, paint black.
struct ChartLayout {
    bool shown = false;
    PeriodKind seriesKind = PeriodKind::Daily;
    int rangeFirst = 0;         // calendar position of the first day of the display range
    int rangeLast = 0;          // calendar position of its last day
    int stockFirst = 0;         // calendar position of the stock's first element
    int firstShown = 0;         // calendar position of the leftmost view day
    std::vector<ChartDay> days; // view days with a date, from the leftmost slot
    int highestDay = -1;        // view day of the highest high ("H:")
    int lowestDay = -1;         // view day of the lowest low ("L:")
    PriceScale price;
    VolumeScale volume;
    bool bandPanelShown = false;
    PriceBandPanel bands;
    std::vector<DateMark> dateMarks;
    std::vector<YearLabel> yearLabels;
    std::string periodCaption; // UTF-8
};

enum class ChartHit : std::uint8_t {
    None = 0,
    Candle = 1,
    Window = 2,
    PricePane = 3,
    VolumePane = 4,
    PriceBand = 5,
};

struct ChartHitResult {
    ChartHit hit = ChartHit::None;
    int day = -1;    // view day for candle, price and volume hits
    int window = -1; // index into the regions given to the hit test
};

// A window (gap) as drawn: the union of its strips, in chart pixels.
struct ChartWindowRegion {
    std::uint16_t identifier = 0;
    std::uint8_t kind = 0; // 1 below the price, 2 above it
    std::vector<ChartRect> strips;

    bool Contains(int x, int y) const;
};

enum class ChartCursorArea : std::uint8_t {
    Other = 0,
    PricePane = 1,
    VolumeScale = 2,
    PriceBand = 3
};

enum class ChartScroll : std::uint8_t { First, Last, Next, Previous, NextDay, PreviousDay };

enum class DragState : std::uint8_t { None = 0, Pressed = 1, Dragging = 2 };

class CChartModel {
public:
    static constexpr std::uint16_t kDefaultVisibleDays = 120;
    // Zooming in is offered only above this many visible days.
    static constexpr std::uint16_t kZoomInLimit = 30;
    // Ranges shorter than this are shown with older calendar days before them.
    static constexpr int kShortRangeDays = 35;
    static constexpr std::uint16_t kLastPosition = 0xFFFF;

    explicit CChartModel(const CMarketMatrix& matrix);
    CChartModel(const CChartModel&) = delete;
    CChartModel& operator=(const CChartModel&) = delete;

    // Where cursor reports go; null posts nothing.
    void SetMessageSink(IMessageSink* sink) { sink_ = sink; }
    // Null selects a fixed-pitch measure. The measure must outlive the model.
    void SetTextMeasure(const IChartTextMeasure* measure);
    void SetLayoutSettings(const ChartLayoutSettings& settings);
    const ChartLayoutSettings& LayoutSettings() const { return settings_; }
    void SetViewSize(int width, int height);

    // Extracts the stock's daily, weekly and monthly series. False (and no stock) for a null
    // security or a failed extraction.
    bool LoadStock(const SecurityRecord* security);
    void UnloadStock();
    const SecurityRecord* Stock() const { return security_; }
    const SeriesSet& Series() const { return series_; }

    // Ignored without a stock or for an unknown kind. A visible days of 0 keeps the current
    // number; kLastPosition shows the newest days. Returns whether a layout was made.
    bool SetDisplay(PeriodKind seriesKind, std::uint16_t visibleDays, std::uint16_t position);
    // Zoom to n days, keeping the right edge where it was; past the stock's day count shows
    // the whole series from its start. Returns whether a layout was made.
    bool SetVisibleDays(std::uint16_t n);
    // Recomputes ranges, scales and positions; false when nothing is shown.
    bool Relayout();

    bool CanScroll(ChartScroll scroll) const;
    bool Scroll(ChartScroll scroll);
    bool CanZoomIn() const;
    bool ZoomIn(std::uint16_t step);
    bool CanZoomOut() const;
    bool ZoomOut(std::uint16_t step);
    // Halves (in) or doubles the visible days, keeping the day under x where it is; stops at
    // the zoom-in limit and at the whole history.
    bool ZoomAt(int x, bool in);

    // Hit test on the drawn geometry; `windows` are the regions the window layer fills.
    ChartHitResult HitTest(int x, int y, std::span<const ChartWindowRegion> windows = {}) const;
    ChartHitResult LeftButtonDown(int x, int y, std::span<const ChartWindowRegion> windows = {});
    // Posts the cursor report; true when the drag started or its indicator changed.
    bool MouseMove(int x, int y);
    // True when the drag scrolled the chart (a relayout was made).
    bool LeftButtonUp(int x, int y);
    void CancelDrag() { drag_ = DragState::None; }
    DragState Drag() const { return drag_; }
    // "→ %3d日" or "← %3d日" while dragging, else empty.
    std::string DragShiftText() const;
    ChartCursorArea CursorAreaAt(int x, int y) const;
    // The crosshair's reading over the price or volume pane: the day's date, prices and
    // volume, then the price (or volume) under the cursor. Both empty elsewhere.
    CursorStatusText CrosshairText(int x, int y) const;
    // View day of the open candle tip, or -1; index of the selected window, or -1.
    int CandleTipDay() const { return candleTipDay_; }
    int SelectedWindow() const { return selectedWindow_; }
    void CloseTips();

    // --- Display state ---
    PeriodKind SeriesKind() const { return seriesKind_; }
    std::uint16_t VisibleDays() const { return visibleDays_; }
    std::uint16_t Position() const { return position_; }
    std::uint16_t MaximumPosition() const { return maximumPosition_; }
    std::uint16_t StockDayCount() const { return stockDayCount_; }
    std::uint16_t SlotCount() const { return slotCount_; }
    bool Hundredths() const;

    const ChartLayout& Layout() const { return layout_; }
    const CChartCoordinates& Coordinates() const { return coordinates_; }

private:
    bool ExtractSeries();
    bool LayOutPanes();
    void FillDays(const SeriesView& view);
    void ComputeScales();
    void MarkDates();
    void PostCursorReport(int x, int y) const;
    int DragShiftDays(int x) const;

    const CMarketMatrix& matrix_;
    IMessageSink* sink_ = nullptr;
    CFixedPitchTextMeasure fixedMeasure_;
    const IChartTextMeasure* measure_ = &fixedMeasure_;
    ChartLayoutSettings settings_;
    int viewWidth_ = 0;
    int viewHeight_ = 0;

    const SecurityRecord* security_ = nullptr;
    SeriesSet series_;
    std::uint16_t extractedCalendarDays_ = 0; // daily calendar size the series were cut from

    PeriodKind seriesKind_ = PeriodKind::Daily;
    std::uint16_t visibleDays_ = kDefaultVisibleDays;
    std::uint16_t position_ = 0;
    std::uint16_t maximumPosition_ = 0;
    std::uint16_t stockDayCount_ = 0;
    std::uint16_t slotCount_ = 0;

    DragState drag_ = DragState::None;
    int dragStartX_ = 0;
    int dragStartY_ = 0;
    int dragLastShift_ = 0;
    int candleTipDay_ = -1;
    int selectedWindow_ = -1;

    ChartLayout layout_;
    CChartCoordinates coordinates_;
};

} // namespace vorn
