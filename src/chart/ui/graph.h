#pragma once
// The chart window: shows the gap chart of one stock through the chart model and the drawing
// layers, scrolls and zooms it by mouse and keys, opens tips by clicking, and posts cursor
// reports to the frame.
#include "chart/chart_model.h"
#include "chart/cursor_status.h"
#include "chart/window_regions.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "chart/ui/chart_layers.h"
#include "chart/ui/chart_resources.h"
#include "chart/ui/chart_settings.h"
#include "ui_base/command_id.h"

namespace vorn {

class CMarketWindows;
class CWindowsPerformer;
struct ChartTip;

class CGraph : public QWidget {
    Q_OBJECT
public:
    explicit CGraph(QWidget* parent = nullptr);
    ~CGraph() override;

    // The market the chart reads; the pointers must outlive the chart or be replaced first.
    // The matrix is written only by the forecast commands (days appended to its calendar).
    // The performer is the shared per-stock tracker; the chart analyses into it when it does
    // not hold the shown stock.
    void SetMarket(CMarketMatrix* matrix, CMarketWindows* windows, CWindowsPerformer* performer);
    // Where cursor reports and the hide-popup message go; null posts nothing. Must outlive
    // the chart or be replaced first.
    void SetMessageSink(IMessageSink* sink);
    // The drawing cache; defaults to the shared one.
    void SetGraphicManager(CGraphicManager* cache);

    // Shows a security; visible days 0 keeps the current number, CChartModel::kLastPosition
    // shows the newest days. False (and a black chart) for an unknown security or one
    // without data.
    bool ShowSecurity(SecurityKey key, PeriodKind periodKind, std::uint16_t visibleDays = 0,
                      std::uint16_t position = CChartModel::kLastPosition);
    // Restores a display state of the shown stock; false when nothing is shown.
    bool SetDisplay(PeriodKind seriesKind, std::uint16_t visibleDays, std::uint16_t position);
    bool SetPeriodKind(PeriodKind seriesKind);
    void ClearSecurity();
    // The shown security's key, or 0.
    SecurityKey Security() const;

    void SetColourScheme(bool white);
    void ApplySettings(const ChartSettings& settings);
    const ChartSettings& Settings() const { return settings_; }
    // Days one zoom command adds or takes away.
    void SetZoomStep(std::uint16_t days) { zoomStep_ = days != 0 ? days : zoomStep_; }
    std::uint16_t ZoomStep() const { return zoomStep_; }

    // Replaces the forecast space of the market's daily calendar by `days` (0, 10, 20 or 30)
    // and shows the result; false for another count or without a market.
    bool SetForecastSpace(std::uint8_t days);
    std::uint8_t ForecastSpace() const;

    // Runs one of the chart commands above; false when it is disabled or changed nothing.
    bool ExecuteCommand(CommandId command);
    bool CanExecute(CommandId command) const;

    // Re-reads the stock (its analysis and series) and redraws.
    void Refresh();
    // The chart as composed at `size`, without tips.
    QImage RenderToImage(QSize size);
    // The chart as on screen: composition, open tips and the drag indicator.
    QImage CurrentFrame() const;
    // Puts the chart bitmap on the clipboard.
    void CopyChart();
    // Puts the shown stock's quotes on the clipboard as comma-separated text.
    bool CopyQuotesAsText();

    // A crosshair that follows the mouse over the price and volume panes.
    void ShowCrosshair(bool shown);
    bool CrosshairShown() const { return crosshair_; }
    // The crosshair's status texts at the last mouse point; empty when off or elsewhere.
    CursorStatusText CrosshairText() const;

    const CChartModel* Model() const { return model_.get(); }
    // The texts of the chart as last drawn, with their rectangles.
    const std::vector<ChartText>& Texts() const { return canvas_.texts; }
    const std::vector<ChartWindowRegion>& WindowRegions() const { return regions_; }
    std::uint16_t Position() const;
    std::uint16_t MaximumPosition() const;
    std::uint16_t VisibleDays() const;

signals:
    // A command of the context menu, for the view; unconnected, the chart runs it itself.
    void CommandRequested(CommandId command);
    // The wheel or the space bar asks for the next (+1) or the previous (-1) security;
    // unconnected, the chart shows it itself.
    void SecurityStepRequested(SecurityKey key);
    // Zoom changed the visible days (for the settings).
    void VisibleDaysChanged(int days);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Rebuilds regions, marks and the composed image from the model's current layout.
    void Redraw();
    void FollowWidgetSize();
    ChartScene Scene() const;
    bool PerformerHoldsStock() const;
    bool AnalyseStock(bool force, PeriodKind seriesKind);
    void DrawCrosshair(QPainter& painter) const;
    std::optional<SecurityKey> NeighbourSecurity(int direction) const;
    void StepSecurity(int direction);
    void UpdateCursorShape(QPoint point);
    void CloseTipsLeft(QPoint point);
    void PostHidePopup();

    CMarketMatrix* matrix_ = nullptr;
    CMarketWindows* windows_ = nullptr;
    CWindowsPerformer* performer_ = nullptr;
    IMessageSink* sink_ = nullptr;
    CGraphicManager* cache_;
    ChartSettings settings_;
    std::unique_ptr<CChartResources> resources_;
    std::unique_ptr<CFontTextMeasure> measure_; // the model keeps a pointer to it
    std::unique_ptr<CChartModel> model_;
    std::uint16_t zoomStep_ = 15;
    int wheelAccumulated_ = 0;

    std::vector<ChartWindowRegion> regions_;
    std::vector<SignalMark> marks_;
    std::string stockCaption_;
    ChartCanvas canvas_; // canvas_.composed: the chart as last drawn, without tips
    QSize laidOutSize_;  // the size the model was last laid out for
    QPoint windowTipPoint_;
    bool crosshair_ = false;
    QPoint crosshairPoint_{-1, -1}; // the mouse over the chart, or (-1, -1)
};

} // namespace vorn
