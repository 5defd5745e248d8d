#include "chart/ui/graph.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "chart/cursor_status.h"
#include "chart/ui/chart_tips.h"
#include "chart/ui/quotes_text.h"
#include "chart/window_regions.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"

namespace vorn {
namespace {

constexpr int kWheelNotch = 120;

std::optional<ChartScroll> ScrollOf(CommandId command) {
    switch (command) {
    case kIdChartFirst:
        return ChartScroll::First;
    case kIdChartLast:
        return ChartScroll::Last;
    case kIdChartNext:
        return ChartScroll::Next;
    case kIdChartPrevious:
        return ChartScroll::Previous;
    case kIdNextDay:
        return ChartScroll::NextDay;
    case kIdPreviousDay:
        return ChartScroll::PreviousDay;
    default:
        return std::nullopt;
    }
}

std::optional<std::uint8_t> ForecastOf(CommandId command) {
    switch (command) {
    case kIdTradeForecast10:
        return 10;
    case kIdTradeForecast20:
        return 20;
    case kIdTradeForecast30:
        return 30;
    case kIdTradeForecastClear:
        return 0;
    default:
        return std::nullopt;
    }
}

} // namespace

CGraph::CGraph(QWidget* parent) : QWidget(parent), cache_(&CGraphicManager::Shared()) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    ApplySettings(ApplyColourScheme(false));
}

CGraph::~CGraph() = default;

void CGraph::SetMarket(CMarketMatrix* matrix, CMarketWindows* windows,
                       CWindowsPerformer* performer) {
    matrix_ = matrix;
    windows_ = windows;
    performer_ = performer;
    model_.reset();
    if (matrix_ != nullptr) {
        model_ = std::make_unique<CChartModel>(*matrix_);
        model_->SetMessageSink(sink_);
        model_->SetTextMeasure(measure_.get());
        model_->SetLayoutSettings(settings_.Layout());
        model_->SetViewSize(width(), height());
        laidOutSize_ = size();
        const CCalendar& calendar = matrix_->DailyCalendar();
        settings_.firstDate = calendar.Empty() ? kNoDate : *calendar.First();
        settings_.lastDate = calendar.Empty() ? kNoDate : *calendar.Last();
    }
    Redraw();
}

void CGraph::SetMessageSink(IMessageSink* sink) {
    sink_ = sink;
    if (model_)
        model_->SetMessageSink(sink);
}

void CGraph::SetGraphicManager(CGraphicManager* cache) {
    if (cache == nullptr || cache == cache_)
        return;
    cache_ = cache;
    ApplySettings(settings_);
}

bool CGraph::PerformerHoldsStock() const {
    return model_ && performer_ != nullptr && model_->Stock() != nullptr &&
           performer_->Security() == model_->Stock() &&
           performer_->Period() == model_->SeriesKind() && performer_->FirstPosition() >= 0;
}

bool CGraph::AnalyseStock(bool force, PeriodKind seriesKind) {
    if (windows_ == nullptr || performer_ == nullptr || matrix_ == nullptr || !model_ ||
        model_->Stock() == nullptr)
        return false;
    if (!force && performer_->Security() == model_->Stock() && performer_->Period() == seriesKind &&
        performer_->FirstPosition() >= 0)
        return true;
    // Weekly and monthly charts show the windows and signals of their own period. The
    // performer may hold another period's extraction of this stock, so it extracts afresh.
    return windows_->AnalyseListingByKey(*matrix_, model_->Stock()->Key(), seriesKind, *performer_,
                                         true);
}

bool CGraph::ShowSecurity(SecurityKey key, PeriodKind periodKind, std::uint16_t visibleDays,
                          std::uint16_t position) {
    if (!model_ || !IsPeriodKind(periodKind)) {
        ClearSecurity();
        return false;
    }
    const SecurityRecord* security = matrix_->FindSecurity(key);
    if (security == nullptr || !model_->LoadStock(security)) {
        ClearSecurity();
        return false;
    }
    AnalyseStock(false, periodKind);
    FollowWidgetSize();
    const bool shown = model_->SetDisplay(periodKind, visibleDays, position);
    Redraw();
    return shown;
}

bool CGraph::SetDisplay(PeriodKind seriesKind, std::uint16_t visibleDays, std::uint16_t position) {
    if (!model_)
        return false;
    FollowWidgetSize();
    if (model_->Stock() != nullptr && IsPeriodKind(seriesKind))
        AnalyseStock(false, seriesKind);
    const bool shown = model_->SetDisplay(seriesKind, visibleDays, position);
    Redraw();
    return shown;
}

bool CGraph::SetPeriodKind(PeriodKind seriesKind) {
    return SetDisplay(seriesKind, 0, CChartModel::kLastPosition);
}

void CGraph::ClearSecurity() {
    if (model_)
        model_->UnloadStock();
    Redraw();
}

SecurityKey CGraph::Security() const {
    return model_ && model_->Stock() != nullptr ? model_->Stock()->Key() : 0;
}

void CGraph::SetColourScheme(bool white) {
    ChartSettings settings = ApplyColourScheme(white);
    settings.firstDate = settings_.firstDate;
    settings.lastDate = settings_.lastDate;
    ApplySettings(settings);
}

void CGraph::ApplySettings(const ChartSettings& settings) {
    settings_ = settings;
    resources_ = std::make_unique<CChartResources>(*cache_, settings_);
    auto measure = std::make_unique<CFontTextMeasure>(resources_->ScaleFont());
    if (model_) {
        model_->SetTextMeasure(measure.get());
        model_->SetLayoutSettings(settings_.Layout());
        model_->Relayout();
    }
    measure_ = std::move(measure);
    Redraw();
}

bool CGraph::SetForecastSpace(std::uint8_t days) {
    if (matrix_ == nullptr || (days != 0 && days != 10 && days != 20 && days != 30))
        return false;
    matrix_->RemoveForecastDays();
    if (days != 0)
        matrix_->ProjectForecastDays(days);
    if (model_ && model_->Stock() != nullptr)
        model_->Relayout();
    Redraw();
    return true;
}

std::uint8_t CGraph::ForecastSpace() const {
    return matrix_ != nullptr ? matrix_->ProjectedDays() : 0;
}

bool CGraph::CanExecute(CommandId command) const {
    if (!model_ || !model_->Layout().shown)
        return false;
    if (const auto scroll = ScrollOf(command))
        return model_->CanScroll(*scroll);
    switch (command) {
    case kIdZoomIn:
        return model_->CanZoomIn();
    case kIdZoomOut:
        return model_->CanZoomOut();
    case kIdTradeForecast10:
    case kIdTradeForecast20:
    case kIdTradeForecast30:
    case kIdTradeForecastClear:
    case kIdCopyChart:
    case kIdCopy:
        return true;
    default:
        return false;
    }
}

bool CGraph::ExecuteCommand(CommandId command) {
    if (!CanExecute(command))
        return false;
    bool changed = false;
    if (const auto scroll = ScrollOf(command)) {
        changed = model_->Scroll(*scroll);
    } else if (command == kIdZoomIn || command == kIdZoomOut) {
        changed = command == kIdZoomIn ? model_->ZoomIn(zoomStep_) : model_->ZoomOut(zoomStep_);
        if (changed)
            emit VisibleDaysChanged(model_->VisibleDays());
    } else if (const auto forecast = ForecastOf(command)) {
        return SetForecastSpace(*forecast);
    } else if (command == kIdCopyChart) {
        CopyChart();
        return true;
    } else if (command == kIdCopy) {
        return CopyQuotesAsText();
    }
    if (changed)
        Redraw();
    return changed;
}

void CGraph::Refresh() {
    if (!model_ || model_->Stock() == nullptr) {
        Redraw();
        return;
    }
    const SecurityKey key = Security();
    const PeriodKind kind = model_->SeriesKind();
    const std::uint16_t position = model_->Position();
    // The record may have moved since it was loaded (an update replaces the securities).
    const SecurityRecord* security = matrix_->FindSecurity(key);
    if (security == nullptr || !model_->LoadStock(security)) {
        ClearSecurity();
        return;
    }
    AnalyseStock(true, kind);
    model_->SetDisplay(kind, 0, position);
    Redraw();
}

ChartScene CGraph::Scene() const {
    ChartScene scene;
    scene.model = model_.get();
    scene.settings = &settings_;
    scene.windows = regions_;
    scene.selectedWindow = model_ ? model_->SelectedWindow() : -1;
    scene.marks = marks_;
    scene.stockCaption = stockCaption_;
    return scene;
}

void CGraph::FollowWidgetSize() {
    // A hidden widget is resized without resize events; the layout must still match.
    if (!model_ || laidOutSize_ == size())
        return;
    laidOutSize_ = size();
    model_->SetViewSize(width(), height());
    model_->Relayout();
}

void CGraph::Redraw() {
    FollowWidgetSize();
    regions_.clear();
    marks_.clear();
    stockCaption_.clear();
    if (model_ && model_->Layout().shown) {
        if (PerformerHoldsStock()) {
            regions_ = BuildWindowRegions(*performer_, model_->Layout(), model_->Coordinates());
            marks_ = SignalMarksOnShow(performer_->Positions(), performer_->FirstPosition(),
                                       model_->Layout());
        }
        stockCaption_ =
            StockCaption(*model_->Stock(), matrix_ ? MarketNamingOf(*matrix_) : MarketNaming{});
    }
    RenderChartInto(canvas_, Scene(), *resources_, size());
    update();
}

QImage CGraph::RenderToImage(QSize size) {
    size = size.expandedTo(QSize(1, 1));
    if (model_ && laidOutSize_ != this->size())
        Redraw();
    if (!model_ || size == this->size())
        return model_ ? canvas_.composed.copy() : RenderChart(ChartScene{}, *resources_, size);
    model_->SetViewSize(size.width(), size.height());
    model_->Relayout();
    std::vector<ChartWindowRegion> regions;
    std::vector<SignalMark> marks;
    if (model_->Layout().shown && PerformerHoldsStock()) {
        regions = BuildWindowRegions(*performer_, model_->Layout(), model_->Coordinates());
        marks = SignalMarksOnShow(performer_->Positions(), performer_->FirstPosition(),
                                  model_->Layout());
    }
    ChartScene scene = Scene();
    scene.windows = regions;
    scene.marks = marks;
    scene.selectedWindow = -1;
    QImage image = RenderChart(scene, *resources_, size);
    laidOutSize_ = QSize(); // back to the widget's own size
    Redraw();
    return image;
}

QImage CGraph::CurrentFrame() const {
    QImage frame = canvas_.composed.copy();
    if (!model_ || !model_->Layout().shown)
        return frame;
    const ChartScene scene = Scene();
    const int tipDay = model_->CandleTipDay();
    if (tipDay >= 0) {
        const char* state = "なし";
        if (PerformerHoldsStock())
            state =
                PositionStateText(performer_->Positions(), model_->Layout().firstShown + tipDay -
                                                               performer_->FirstPosition());
        DrawCandleTipMarker(frame, scene, *resources_, tipDay);
        BlendTip(frame, RenderCandleTip(scene, *resources_, tipDay, state), settings_.tipOpacity);
    }
    const int window = model_->SelectedWindow();
    if (window >= 0 && static_cast<std::size_t>(window) < regions_.size() &&
        PerformerHoldsStock()) {
        const auto records =
            performer_->RecordsOf(regions_[static_cast<std::size_t>(window)].identifier);
        BlendTip(frame,
                 RenderWindowTip(scene, *resources_, records, performer_->FirstPosition(),
                                 matrix_->PeriodCalendar(model_->SeriesKind()), windowTipPoint_),
                 settings_.tipOpacity);
    }
    DrawDragIndicator(frame, scene, *resources_);
    return frame;
}

void CGraph::CopyChart() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard != nullptr)
        clipboard->setImage(RenderToImage(size()));
}

bool CGraph::CopyQuotesAsText() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr || matrix_ == nullptr || !model_ || model_->Stock() == nullptr)
        return false;
    const std::string text = QuotesAsText(*matrix_, *model_->Stock());
    if (text.empty())
        return false;
    clipboard->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    return true;
}

std::uint16_t CGraph::Position() const {
    return model_ ? model_->Position() : 0;
}
std::uint16_t CGraph::MaximumPosition() const {
    return model_ ? model_->MaximumPosition() : 0;
}
std::uint16_t CGraph::VisibleDays() const {
    return model_ ? model_->VisibleDays() : 0;
}

std::optional<SecurityKey> CGraph::NeighbourSecurity(int direction) const {
    if (matrix_ == nullptr || Security() == 0)
        return std::nullopt;
    const auto& securities = matrix_->Securities();
    auto it = securities.find(Security());
    if (it == securities.end())
        return std::nullopt;
    if (direction > 0) {
        if (++it == securities.end())
            return std::nullopt;
    } else {
        if (it == securities.begin())
            return std::nullopt;
        --it;
    }
    return it->first;
}

void CGraph::StepSecurity(int direction) {
    const auto key = NeighbourSecurity(direction);
    if (!key)
        return;
    if (isSignalConnected(QMetaMethod::fromSignal(&CGraph::SecurityStepRequested)))
        emit SecurityStepRequested(*key);
    else
        ShowSecurity(*key, model_->SeriesKind());
}

void CGraph::PostHidePopup() {
    if (sink_ != nullptr)
        sink_->Post(kMsgHideSearchPopup, 1, 0);
}

void CGraph::ShowCrosshair(bool shown) {
    crosshair_ = shown;
    update();
}

CursorStatusText CGraph::CrosshairText() const {
    if (!crosshair_ || !model_ || crosshairPoint_.x() < 0)
        return {};
    return model_->CrosshairText(crosshairPoint_.x(), crosshairPoint_.y());
}

void CGraph::DrawCrosshair(QPainter& painter) const {
    if (!crosshair_ || !model_ || !model_->Layout().shown || crosshairPoint_.x() < 0)
        return;
    const ChartPanes& panes = model_->Coordinates().Panes();
    const QPoint at = crosshairPoint_;
    if (!panes.pricePane.Contains(at.x(), at.y()) && !panes.volumePane.Contains(at.x(), at.y()))
        return;
    // The cursor indicator colour of the scheme, dotted so that candles stay readable.
    QPen pen(ToQColor(settings_.Colour(kColourCursor)));
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    painter.drawLine(panes.plot.left, at.y(), panes.plot.right, at.y());
    painter.drawLine(at.x(), panes.pricePane.top, at.x(), panes.volumePane.bottom);
}

void CGraph::leaveEvent(QEvent* event) {
    crosshairPoint_ = QPoint(-1, -1);
    if (crosshair_)
        update();
    QWidget::leaveEvent(event);
}

void CGraph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Most frames have nothing over the chart: those are painted from the canvas itself, as a
    // full-size copy costs about as much as drawing the chart.
    const bool overlays = model_ && model_->Layout().shown &&
                          (model_->CandleTipDay() >= 0 || model_->SelectedWindow() >= 0 ||
                           model_->Drag() == DragState::Dragging);
    if (overlays)
        painter.drawImage(0, 0, CurrentFrame());
    else
        painter.drawImage(0, 0, canvas_.composed);
    DrawCrosshair(painter);
}

void CGraph::resizeEvent(QResizeEvent*) {
    Redraw();
}

void CGraph::mousePressEvent(QMouseEvent* event) {
    setFocus();
    if (event->button() != Qt::LeftButton || !model_)
        return;
    const QPoint point = event->position().toPoint();
    const ChartHitResult hit = model_->LeftButtonDown(point.x(), point.y(), regions_);
    if (hit.hit == ChartHit::Window)
        windowTipPoint_ = point;
    if (hit.hit == ChartHit::Window || hit.hit == ChartHit::Candle)
        Redraw(); // the selected window is highlighted on the window layer
}

void CGraph::CloseTipsLeft(QPoint point) {
    const int tipDay = model_->CandleTipDay();
    const int window = model_->SelectedWindow();
    bool close = false;
    if (tipDay >= 0) {
        const ChartHitResult hit = model_->HitTest(point.x(), point.y(), regions_);
        close = hit.hit != ChartHit::Candle || hit.day != tipDay;
    } else if (window >= 0) {
        close = static_cast<std::size_t>(window) >= regions_.size() ||
                !regions_[static_cast<std::size_t>(window)].Contains(point.x(), point.y());
    }
    if (!close)
        return;
    model_->CloseTips();
    if (window >= 0)
        Redraw();
    else
        update();
}

void CGraph::UpdateCursorShape(QPoint point) {
    switch (model_->CursorAreaAt(point.x(), point.y())) {
    case ChartCursorArea::PricePane:
        setCursor(Qt::CrossCursor);
        break;
    case ChartCursorArea::VolumeScale:
        setCursor(Qt::SizeVerCursor);
        break;
    case ChartCursorArea::PriceBand:
        setCursor(Qt::PointingHandCursor);
        break;
    case ChartCursorArea::Other:
        setCursor(Qt::ArrowCursor);
        break;
    }
}

void CGraph::mouseMoveEvent(QMouseEvent* event) {
    if (!model_)
        return;
    const QPoint point = event->position().toPoint();
    if (crosshair_) {
        crosshairPoint_ = point;
        update();
    }
    const bool dragChanged = model_->MouseMove(point.x(), point.y());
    if (model_->Drag() == DragState::Dragging) {
        setCursor(Qt::ClosedHandCursor);
        if (dragChanged)
            update();
        return;
    }
    UpdateCursorShape(point);
    CloseTipsLeft(point);
}

void CGraph::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !model_)
        return;
    const QPoint point = event->position().toPoint();
    const bool wasDragging = model_->Drag() == DragState::Dragging;
    if (model_->LeftButtonUp(point.x(), point.y()))
        Redraw();
    else if (wasDragging)
        update(); // the indicator goes
    UpdateCursorShape(point);
}

void CGraph::wheelEvent(QWheelEvent* event) {
    // Ctrl+wheel zooms around the cursor; the plain wheel steps through the stocks.
    if ((event->modifiers() & Qt::ControlModifier) != 0 && model_) {
        const int notches = event->angleDelta().y() / kWheelNotch;
        bool changed = false;
        for (int i = 0; i < std::abs(notches); ++i)
            changed |= model_->ZoomAt(static_cast<int>(event->position().x()), notches > 0);
        if (changed) {
            Redraw();
            emit VisibleDaysChanged(model_->VisibleDays());
        }
        event->accept();
        return;
    }
    wheelAccumulated_ += event->angleDelta().y();
    while (std::abs(wheelAccumulated_) >= kWheelNotch) {
        // Turned towards the user: the next security.
        const int direction = wheelAccumulated_ < 0 ? 1 : -1;
        wheelAccumulated_ += direction * kWheelNotch;
        StepSecurity(direction);
    }
    event->accept();
}

void CGraph::keyPressEvent(QKeyEvent* event) {
    std::optional<CommandId> command;
    switch (event->key()) {
    case Qt::Key_End:
        command = kIdChartFirst;
        break;
    case Qt::Key_Home:
        command = kIdChartLast;
        break;
    case Qt::Key_Up:
        command = kIdChartNext;
        break;
    case Qt::Key_Down:
        command = kIdChartPrevious;
        break;
    case Qt::Key_Left:
        command = kIdPreviousDay;
        break;
    case Qt::Key_Right:
        command = kIdNextDay;
        break;
    case Qt::Key_PageDown:
        command = kIdZoomIn;
        break;
    case Qt::Key_PageUp:
        command = kIdZoomOut;
        break;
    case Qt::Key_Z:
        if (event->modifiers() & Qt::ControlModifier)
            command = kIdCopyChart;
        break;
    case Qt::Key_C:
        if (event->modifiers() & Qt::ControlModifier)
            command = kIdCopy;
        break;
    case Qt::Key_Space:
        StepSecurity(event->modifiers() & Qt::ShiftModifier ? -1 : 1);
        event->accept();
        return;
    default:
        break;
    }
    if (!command) {
        QWidget::keyPressEvent(event);
        return;
    }
    PostHidePopup();
    ExecuteCommand(*command);
    event->accept();
}

void CGraph::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const auto add = [&](QMenu& into, const QString& text, CommandId command, bool enabled) {
        QAction* action = into.addAction(text);
        action->setData(command);
        action->setEnabled(enabled);
    };
    add(menu, QStringLiteral("先頭"), kIdChartFirst, CanExecute(kIdChartFirst));
    add(menu, QStringLiteral("終端"), kIdChartLast, CanExecute(kIdChartLast));
    add(menu, QStringLiteral("前"), kIdChartPrevious, CanExecute(kIdChartPrevious));
    add(menu, QStringLiteral("次"), kIdChartNext, CanExecute(kIdChartNext));
    add(menu, QStringLiteral("前日"), kIdPreviousDay, CanExecute(kIdPreviousDay));
    add(menu, QStringLiteral("翌日"), kIdNextDay, CanExecute(kIdNextDay));
    menu.addSeparator();
    add(menu, QStringLiteral("拡大"), kIdZoomIn, CanExecute(kIdZoomIn));
    add(menu, QStringLiteral("縮小"), kIdZoomOut, CanExecute(kIdZoomOut));
    menu.addSeparator();
    QMenu* forecast = menu.addMenu(QStringLiteral("予測スペース"));
    const bool canForecast = CanExecute(kIdTradeForecast10);
    add(*forecast, QStringLiteral("10日"), kIdTradeForecast10, canForecast);
    add(*forecast, QStringLiteral("20日"), kIdTradeForecast20, canForecast);
    add(*forecast, QStringLiteral("30日"), kIdTradeForecast30, canForecast);
    add(menu, QStringLiteral("予測スペース解除"), kIdTradeForecastClear, canForecast);
    menu.addSeparator();
    const bool shown = model_ && model_->Layout().shown;
    add(menu, QStringLiteral("ヴォルンをコピー"), kIdCopyChart, shown);
    add(menu, QStringLiteral("ヴォルン・分析結果をコピー"), kIdCopyChartAnalysis, shown);
    menu.addSeparator();
    add(menu, QStringLiteral("お気に入りへ追加"), kIdAddFavorite, shown);

    const QAction* chosen = menu.exec(event->globalPos());
    if (chosen == nullptr)
        return;
    const auto command = static_cast<CommandId>(chosen->data().toUInt());
    PostHidePopup();
    if (isSignalConnected(QMetaMethod::fromSignal(&CGraph::CommandRequested)))
        emit CommandRequested(command);
    else
        ExecuteCommand(command);
}

} // namespace vorn
