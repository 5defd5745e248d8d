#include "shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <span>

#include "acquisition/intelligence_foundation.h"
#include "acquisition/ui/dialog_matrix_property.h"
#include "acquisition/ui/dialog_matrix_recovery.h"
#include "acquisition/ui/grid_intelligence_agent.h"
#include "acquisition/ui/intelligence_activation.h"
#include "chart/cursor_status.h"
#include "chart/ui/graph.h"
#include "contents/favorites.h"
#include "foundation/log_channels.h"
#include "foundation/profile.h"
#include "foundation/text_encoding.h"
#include "gaps/ui/market_windows_details.h"
#include "matrix/market_naming.h"
#include "matrix/stock_code.h"
#include "screening/screening_settings.h"
#include "screening/ui/condition_texts.h"
#include "screening/ui/grid_securities.h"
#include "screening/ui/screening_view.h"
#include "shell/command_ids.h"
#include "shell/dialog_favorites.h"
#include "shell/dialog_first_start.h"
#include "shell/dialog_law_backtest.h"
#include "shell/dialog_matrix_downloader.h"
#include "shell/dialog_securities.h"
#include "shell/grid_stocks.h"
#include "shell/tool_icons.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"
#include "ui_base/posted_message.h"

namespace vorn {
namespace {

// The commands that open the range dialog of one screening range group each.
bool IsRangeDialogCommand(std::uint32_t id) {
    return id >= kIdScreeningRange && id < kIdScreeningRange + unsigned{kRangeGroupCount};
}

// Small enough for a laptop screen with a task bar.
constexpr int kMinimumWidth = 800;
constexpr int kMinimumHeight = 600;
constexpr int kStatusMessageMs = 4000;
constexpr int kAnnouncementsHeight = 110;
// Profile values of the main window beside those of the application.
constexpr char kProfilePlacement[] = "Placement";
constexpr char kProfileLastStock[] = "LastStock";
constexpr char kProfileVisibleDays[] = "VisibleDays";
constexpr char kProfileSeries[] = "Series";
constexpr char kProfilePanels[] = "Panels";
constexpr char kCodePrompt[] = "検索する銘柄の[銘柄コード]を入力して下さい（英数字４桁）";
constexpr char kNamePrompt[] = "検索する銘柄の[名称]または[名称の一部]を入力して下さい";

constexpr std::uint32_t kChartBar[] = {kIdChartFirst,
                                       kIdChartPrevious,
                                       kIdPreviousDay,
                                       kIdNextDay,
                                       kIdChartNext,
                                       kIdChartLast,
                                       0,
                                       kIdZoomIn,
                                       kIdZoomOut,
                                       0,
                                       kIdTradeForecastClear,
                                       kIdTradeForecast10,
                                       kIdTradeForecast20,
                                       kIdTradeForecast30,
                                       0,
                                       kIdSeriesDaily,
                                       kIdSeriesWeekly,
                                       kIdSeriesMonthly,
                                       kIdWholeHistory,
                                       kIdCrosshair};
constexpr std::uint32_t kContentsBar[] = {kIdContentsChart, kIdContentsScreening, 0, kIdHistoryBack,
                                          kIdHistoryForward};
constexpr std::uint32_t kScreeningBar[] = {kIdScreeningRestore, kIdScreeningSave, 0,
                                           kIdLawBacktest};

std::optional<ChartScroll> ScrollOf(std::uint32_t id) {
    switch (id) {
    case kIdChartFirst:
        return ChartScroll::First;
    case kIdChartLast:
        return ChartScroll::Last;
    case kIdChartNext:
        return ChartScroll::Next;
    case kIdChartPrevious:
        return ChartScroll::Previous;
    case kIdPreviousDay:
        return ChartScroll::PreviousDay;
    case kIdNextDay:
        return ChartScroll::NextDay;
    default:
        return std::nullopt;
    }
}

// The keys that run commands; the menus show the same keys as their hints.
const std::vector<std::pair<std::uint32_t, QKeySequence>>& CommandKeys() {
    static const std::vector<std::pair<std::uint32_t, QKeySequence>> keys = {
        {kIdContentsChart, QKeySequence(Qt::CTRL | Qt::Key_M)},
        {kIdContentsScreening, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {kIdContentsPortfolio, QKeySequence(Qt::CTRL | Qt::Key_P)},
        {kIdContentsReport, QKeySequence(Qt::CTRL | Qt::Key_R)},
        {kIdHistoryBack, QKeySequence(Qt::ALT | Qt::Key_Left)},
        {kIdHistoryForward, QKeySequence(Qt::ALT | Qt::Key_Right)},
        // End goes to the oldest days and Home to the newest, as traders are used to.
        {kIdChartFirst, QKeySequence(Qt::Key_End)},
        {kIdChartLast, QKeySequence(Qt::Key_Home)},
        {kIdZoomIn, QKeySequence(Qt::Key_PageDown)},
        {kIdZoomOut, QKeySequence(Qt::Key_PageUp)},
        {kIdChartNext, QKeySequence(Qt::Key_Up)},
        {kIdChartPrevious, QKeySequence(Qt::Key_Down)},
        {kIdPreviousDay, QKeySequence(Qt::Key_Left)},
        {kIdNextDay, QKeySequence(Qt::Key_Right)},
        {kIdSeriesDaily, QKeySequence(Qt::Key_D)},
        {kIdSeriesWeekly, QKeySequence(Qt::Key_W)},
        {kIdSeriesMonthly, QKeySequence(Qt::Key_M)},
        {kIdCrosshair, QKeySequence(Qt::Key_C)},
        {kIdFocusCode, QKeySequence(Qt::CTRL | Qt::Key_L)},
        {kIdFocusName, QKeySequence(Qt::CTRL | Qt::Key_F)},
        {kIdCopyChart, QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {kIdCopyChartAnalysis, QKeySequence(Qt::CTRL | Qt::Key_X)},
        {kIdCopy, QKeySequence(Qt::CTRL | Qt::Key_C)},
        {kIdManual, QKeySequence(Qt::Key_F1)},
    };
    return keys;
}

std::optional<PeriodKind> SeriesOf(std::uint32_t id) {
    switch (id) {
    case kIdSeriesDaily:
        return PeriodKind::Daily;
    case kIdSeriesWeekly:
        return PeriodKind::Weekly;
    case kIdSeriesMonthly:
        return PeriodKind::Monthly;
    default:
        return std::nullopt;
    }
}

std::uint8_t ForecastOf(std::uint32_t id) {
    switch (id) {
    case kIdTradeForecast10:
        return 10;
    case kIdTradeForecast20:
        return 20;
    case kIdTradeForecast30:
        return 30;
    default:
        return 0;
    }
}

// The code box lets through digits, editing, navigation and numeric-pad keys; Enter searches.
class CCodeKeyFilter final : public QObject {
public:
    CCodeKeyFilter(QObject* parent, std::function<void()> search)
        : QObject(parent), search_(std::move(search)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            search_();
            return true;
        case Qt::Key_Backspace:
        case Qt::Key_Tab:
        case Qt::Key_Escape:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Insert:
        case Qt::Key_Delete:
            return false;
        default:
            break;
        }
        if ((key->modifiers() & Qt::KeypadModifier) != 0)
            return false;
        // Standard edit keys (select all, copy, cut, paste, undo) and line movement.
        if ((key->modifiers() & Qt::ControlModifier) != 0)
            return !(key->key() == Qt::Key_A || key->key() == Qt::Key_B ||
                     key->key() == Qt::Key_D || key->key() == Qt::Key_C ||
                     key->key() == Qt::Key_X || key->key() == Qt::Key_V ||
                     key->key() == Qt::Key_Z || key->key() == Qt::Key_Y);
        const QString text = key->text();
        if (text.size() == 1 && text[0].isDigit())
            return false;
        if (text.size() == 1 && IsStockCodeLetter(text[0].unicode())) {
            // Codes are written in upper case: a lower-case letter is typed as its capital.
            const QString upper = text.toUpper();
            if (upper == text)
                return false;
            QKeyEvent typed(QEvent::KeyPress, key->key(), key->modifiers(), upper,
                            key->isAutoRepeat(), static_cast<quint16>(key->count()));
            QCoreApplication::sendEvent(watched, &typed);
        }
        return true;
    }

private:
    std::function<void()> search_;
};

} // namespace

CMainFrame::CMainFrame(CVornApp& app, QWidget* parent) : QMainWindow(parent), app_(app) {
    poster_ = std::make_unique<CMessagePoster>(this);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    view_ = new CVornView(app_, poster_.get(), this);
    setCentralWidget(view_);
    connect(view_, &CVornView::stateChanged, this, &CMainFrame::UpdateCommandStates);
    connect(view_, &CVornView::statusMessage, this, &CMainFrame::ShowStatusMessage);
    connect(view_, &CVornView::commandRequested, this, [this](CommandId id) { RunCommand(id); });
    panes_[0] = new QLabel(this);
    panes_[1] = new QLabel(this);
    // Long readings are cut rather than widening the window past a small screen.
    for (int i = 0; i < 2; ++i) {
        panes_[i]->setMinimumWidth(160);
        panes_[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        statusBar()->addPermanentWidget(panes_[i], i == 0 ? 3 : 1);
    }
    popup_ = new CDialogSecurities(this);
    connect(popup_, &CDialogSecurities::stockActivated, this,
            [this](const SecurityRecord* security) {
                if (app_.SelectListing(security))
                    codeBox_->clear();
                UpdateCommandStates();
            });
    connect(popup_, &CDialogSecurities::focusLeft, this,
            [this] { CPostedMessage::Post(this, kMsgHideSearchPopupToCodeBox, 0, 0); });
    announcements_ = new CGridIntelligenceAgent(app_.Agent(), poster_.get(), this);
    auto* dock = new QDockWidget(QStringLiteral("インテリジェンス"), this);
    dock->setObjectName(QStringLiteral("announcements"));
    dock->setFeatures(QDockWidget::DockWidgetMovable);
    dock->setWidget(announcements_);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    // The chart keeps most of the height; the list shows a handful of announcements.
    resizeDocks({dock}, {kAnnouncementsHeight}, Qt::Vertical);
    BuildMenus();
    BuildToolBars();
    BuildSearchBar();
    BuildShortcuts();
    connect(view_, &CVornView::contentsSwitched, this, [this] {
        ClearStatus();
        popup_->hide();
        const ContentsKind mode = app_.ContentsMode();
        bars_[kIdBarChart]->setVisible(mode == kContentsChart);
        bars_[kIdBarScreening]->setVisible(mode == kContentsScreening);
        bars_[kIdBarPortfolio]->setVisible(mode == kContentsPortfolio);
    });
    view_->SwitchContents(app_.ContentsMode());
    qApp->installEventFilter(this);
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    // The feed worker posts through this frame's poster.
    StopFeed();
}

void CMainFrame::StopFeed() {
    if (!app_.Agent().Stop(CIntelligenceAgent::kCloseWaitMs))
        WriteLog(0, "the announcement feed did not stop in time");
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ReflowToolBars();
}

void CMainFrame::ReflowToolBars() {
    QToolBar* search = ToolBar(kIdBarSearch);
    if (search == nullptr)
        return;
    int needed = 0;
    for (const auto& [id, bar] : bars_)
        if (bar->isVisibleTo(this) && toolBarArea(bar) == Qt::TopToolBarArea)
            needed += bar->sizeHint().width() + 8;
    // Squeezed into one line the search boxes would vanish into an overflow menu.
    const bool ownLine = needed > width();
    if (ownLine != toolBarBreak(search)) {
        if (ownLine)
            insertToolBarBreak(search);
        else
            removeToolBarBreak(search);
    }
}

void CMainFrame::ShowStatusMessage(const QString& text) {
    statusBar()->showMessage(text, kStatusMessageMs);
}

QString CMainFrame::AboutText() const {
    return QStringLiteral("ヴォルン\n窓による株式市場の分析\nバージョン %1")
        .arg(QStringLiteral(VORN_VERSION));
}

void CMainFrame::SaveState(IProfile& profile) const {
    profile.SetString(kProfileSection, kProfilePlacement, saveGeometry().toBase64().toStdString());
    if (const SecurityRecord* stock = app_.SelectedStock())
        profile.SetInteger(kProfileSection, kProfileLastStock, StoredSecurityKey(stock->Key()));
    if (const CChartModel* model = view_->ChartModel();
        model != nullptr && model->Stock() != nullptr) {
        profile.SetInteger(kProfileSection, kProfileVisibleDays, model->VisibleDays());
        profile.SetInteger(kProfileSection, kProfileSeries, PeriodIndex(model->SeriesKind()));
    }
    profile.SetInteger(kProfileSection, kProfilePanels, view_->PanelFlags());
}

void CMainFrame::RestorePlacement(IProfile& profile) {
    const QByteArray saved = QByteArray::fromBase64(
        QByteArray::fromStdString(profile.GetString(kProfileSection, kProfilePlacement)));
    if (saved.isEmpty() || !restoreGeometry(saved))
        return;
    // A screen may have gone since: the window comes back onto the available area.
    const QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || isMaximized())
        return;
    const QRect area = screen->availableGeometry();
    QRect placed = geometry();
    placed.setSize(placed.size().boundedTo(area.size()).expandedTo(minimumSize()));
    placed.moveLeft(std::clamp(placed.left(), area.left(),
                               std::max(area.left(), area.right() - placed.width() + 1)));
    placed.moveTop(std::clamp(placed.top(), area.top(),
                              std::max(area.top(), area.bottom() - placed.height() + 1)));
    setGeometry(placed);
}

std::uint16_t CMainFrame::RestoreView(IProfile& profile) {
    const std::optional<SecurityKey> key =
        SecurityKeyOfStored(profile.GetInteger(kProfileSection, kProfileLastStock, 0));
    if (const SecurityRecord* stock =
            key.value_or(0) != 0 ? app_.Matrix().FindSecurity(*key) : nullptr)
        app_.SetSelectedStock(stock);
    if (const auto kind = PeriodKindOf(profile.GetInteger(kProfileSection, kProfileSeries, 0)))
        view_->SetSeriesKind(*kind);
    const std::uint32_t panels = profile.GetInteger(kProfileSection, kProfilePanels, 0) &
                                 (kPanelTradings | kPanelMonthlyTradings | kPanelLawPerformance);
    for (std::uint8_t bit : {kPanelTradings, kPanelMonthlyTradings, kPanelLawPerformance})
        if ((panels & bit) != 0 && (view_->PanelFlags() & bit) == 0)
            view_->TogglePanel(bit);
    // Anything past the 16-bit count of the chart is a damaged value.
    const std::uint32_t days = profile.GetInteger(kProfileSection, kProfileVisibleDays, 0);
    return days <= 0xFFFF ? static_cast<std::uint16_t>(days) : 0;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    StopFeed();
    QMainWindow::closeEvent(event);
}

namespace {

// What an activated announcement may do to the main window.
class CIntelligenceHost final : public IIntelligenceHost {
public:
    CIntelligenceHost(CVornApp& app, CVornView& view) : app_(app), view_(view) {}
    void SelectStock(const SecurityRecord& security) override { app_.SelectStock(&security); }
    void ShowReport(const std::string& address) override {
        view_.NavigateReport(QString::fromStdString(address), false);
        view_.SwitchContents(kContentsReport);
    }
    void RedrawChart() override { view_.Chart().update(); }

private:
    CVornApp& app_;
    CVornView& view_;
};

} // namespace

void CMainFrame::ActivateAnnouncement(std::uint32_t id) {
    IntelligenceItem item;
    if (!app_.Agent().FindItem(id, item))
        return;
    CIntelligenceHost host(app_, *view_);
    ActivateIntelligenceItem(item, app_.Agent(), app_.Matrix(), host, this);
    UpdateCommandStates();
}

QAction* CMainFrame::Action(std::uint32_t id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QToolBar* CMainFrame::ToolBar(std::uint32_t barCommand) const {
    const auto found = bars_.find(barCommand);
    return found == bars_.end() ? nullptr : found->second;
}

QString CMainFrame::StatusPane(int pane) const {
    return pane >= 0 && pane < 2 ? panes_[pane]->text() : QString();
}

QKeySequence CMainFrame::CommandKey(std::uint32_t id) {
    for (const auto& [command, sequence] : CommandKeys())
        if (command == id)
            return sequence;
    return {};
}

QAction* CMainFrame::AddCommand(QMenu* menu, std::uint32_t id, const QString& text) {
    QAction* action = Action(id);
    if (action == nullptr) {
        action = new QAction(text, this);
        actions_[id] = action;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    // The hint is the key that runs the command, never a name of its own.
    const QKeySequence key = CommandKey(id);
    action->setText(key.isEmpty() ? text : text + '\t' + key.toString(QKeySequence::NativeText));
    if (menu != nullptr)
        menu->addAction(action);
    return action;
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    AddCommand(file, kIdMatrixProperty, QStringLiteral("マーケットマトリクスのプロパティ(&P)..."));
    AddCommand(file, kIdMatrixRecovery, QStringLiteral("マーケットマトリクスのリカバリー..."));
    // The J-Quants key and plan have a small dialog of their own.
    QAction* jquantsKey = file->addAction(QStringLiteral("J-Quants API キーとプラン(&J)..."));
    connect(jquantsKey, &QAction::triggered, this, [this] {
        QString message;
        if (!EditJQuantsKey(app_.Profile(), app_.DataDirectory(), this, message) &&
            !message.isEmpty())
            QMessageBox::warning(this, QStringLiteral("ヴォルン"), message);
    });
    file->addSeparator();
    AddCommand(file, kIdExit, QStringLiteral("アプリケーションの終了(&X)"));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    AddCommand(edit, kIdCopyChart, QStringLiteral("ヴォルンをコピー(&Z)"));
    AddCommand(edit, kIdCopyChartAnalysis, QStringLiteral("ヴォルン・分析結果をコピー(&X)"));
    AddCommand(edit, kIdCopy, QStringLiteral("コピー(&C)"));

    QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    QMenu* bars = view->addMenu(QStringLiteral("ツール バー(&T)"));
    AddCommand(bars, kIdBarContents, QStringLiteral("コンテンツ(&T)"));
    AddCommand(bars, kIdBarChart, QStringLiteral("ヴォルン 操作(&M)"));
    AddCommand(bars, kIdBarScreening, QStringLiteral("スクリーニング操作(&S)"));
    AddCommand(bars, kIdBarPortfolio, QStringLiteral("ポートフォリオ操作(&P)"));
    AddCommand(bars, kIdBarSearch, QStringLiteral("銘柄検索(&I)"));
    AddCommand(bars, kIdBarStatus, QStringLiteral("ステータス バー(&S)"));
    view->addSeparator();
    AddCommand(view, kIdFocusCode, QStringLiteral("銘柄コードの入力(&I)"));
    AddCommand(view, kIdFocusName, QStringLiteral("銘柄名称の入力(&N)"));
    view->addSeparator();
    AddCommand(view, kIdContentsChart, QStringLiteral("ヴォルン(&M)"));
    AddCommand(view, kIdContentsScreening, QStringLiteral("スクリーニング(&S)"));
    AddCommand(view, kIdContentsPortfolio, QStringLiteral("ポートフォリオ(&P)"));
    AddCommand(view, kIdContentsReport, QStringLiteral("レポート(&R)"));
    view->addSeparator();
    AddCommand(view, kIdHistoryBack, QStringLiteral("戻る(&B)"));
    AddCommand(view, kIdHistoryForward, QStringLiteral("進む(&F)"));
    view->addSeparator();
    AddCommand(view, kIdTradings, QStringLiteral("トレーディング..."));
    AddCommand(view, kIdMonthlyTradings, QStringLiteral("月別トレーディング..."));
    AddCommand(view, kIdLawPerformance, QStringLiteral("法則別パフォーマンス..."));

    QMenu* chart = menuBar()->addMenu(QStringLiteral("ヴォルン(&M)"));
    AddCommand(chart, kIdChartFirst, QStringLiteral("先頭"));
    AddCommand(chart, kIdChartLast, QStringLiteral("終端"));
    AddCommand(chart, kIdChartNext, QStringLiteral("次"));
    AddCommand(chart, kIdChartPrevious, QStringLiteral("前"));
    AddCommand(chart, kIdPreviousDay, QStringLiteral("前日"));
    AddCommand(chart, kIdNextDay, QStringLiteral("翌日"));
    chart->addSeparator();
    AddCommand(chart, kIdZoomIn, QStringLiteral("拡大"));
    AddCommand(chart, kIdZoomOut, QStringLiteral("縮小"));
    chart->addSeparator();
    AddCommand(chart, kIdSeriesDaily, QStringLiteral("日足"));
    AddCommand(chart, kIdSeriesWeekly, QStringLiteral("週足"));
    AddCommand(chart, kIdSeriesMonthly, QStringLiteral("月足"));
    AddCommand(chart, kIdWholeHistory, QStringLiteral("全期間"));
    AddCommand(chart, kIdCrosshair, QStringLiteral("十字線"));
    QMenu* steps = chart->addMenu(QStringLiteral("拡大・縮小の日数"));
    for (int i = 0; i < 6; ++i)
        AddCommand(steps, kIdZoomStep1 + i, QStringLiteral("%1日").arg(kZoomSteps[i]));
    chart->addSeparator();
    AddCommand(chart, kIdTradeForecast10, QStringLiteral("+10日"));
    AddCommand(chart, kIdTradeForecast20, QStringLiteral("+20日"));
    AddCommand(chart, kIdTradeForecast30, QStringLiteral("+30日"));
    AddCommand(chart, kIdTradeForecastClear, QStringLiteral("予測スペース解除"));
    chart->addSeparator();
    QMenu* colours = chart->addMenu(QStringLiteral("配色"));
    AddCommand(colours, kIdColourBlack, QStringLiteral("黒"));
    AddCommand(colours, kIdColourWhite, QStringLiteral("白"));
    chart->addSeparator();
    AddCommand(chart, kIdLawBacktest, QStringLiteral("法則の検証..."));

    QMenu* screening = menuBar()->addMenu(QStringLiteral("スクリーニング(&S)"));
    AddCommand(screening, kIdScreeningRestore, QStringLiteral("設定の再現"));
    AddCommand(screening, kIdScreeningSave, QStringLiteral("設定の保存"));
    AddCommand(screening, kIdScreeningReset, QStringLiteral("条件選択の初期化"));
    screening->addSeparator();
    QMenu* ranges = screening->addMenu(QStringLiteral("範囲条件(&N)"));
    for (int group = 0; group < kRangeGroupCount; ++group)
        AddCommand(ranges, kIdScreeningRange + static_cast<std::uint32_t>(group),
                   QStringLiteral("%1(&%2)...")
                       .arg(QString::fromUtf8(RangeGroupName(group)))
                       .arg(QChar(group < 9 ? u'1' + group : u'A' + group - 9)));
    AddCommand(screening, kIdScreeningReport, QStringLiteral("レポート(&R)..."));

    favoritesMenu_ = menuBar()->addMenu(QStringLiteral("お気に入り(&O)"));
    AddCommand(favoritesMenu_, kIdAddFavorite, QStringLiteral("お気に入りに追加(&O)..."));
    AddCommand(favoritesMenu_, kIdOrganiseFavorites, QStringLiteral("お気に入りの整理(&P)..."));
    RebuildFavoritesMenu();

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    AddCommand(help, kIdManual, QStringLiteral("オンラインマニュアル(&H)"));
    AddCommand(help, kIdAbout, QStringLiteral("バージョン情報 Vorn(&A)..."));

    for (auto& [id, action] : actions_) {
        const bool checkable =
            (id >= kIdZoomStep1 && id < kIdZoomStep1 + 6) || id == kIdContentsChart ||
            id == kIdContentsScreening || id == kIdContentsPortfolio ||
            id == kIdTradeForecastClear || ForecastOf(id) != 0 || id == kIdColourBlack ||
            id == kIdColourWhite || id == kIdTradings || id == kIdMonthlyTradings ||
            id == kIdLawPerformance || id == kIdBarContents || id == kIdBarChart ||
            id == kIdBarScreening || id == kIdBarPortfolio || id == kIdBarSearch ||
            id == kIdBarStatus || SeriesOf(id).has_value() || id == kIdCrosshair;
        action->setCheckable(checkable);
    }
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::BuildToolBars() {
    const auto build = [this](std::uint32_t barId, const QString& title,
                              std::span<const std::uint32_t> commands) {
        QToolBar* bar = addToolBar(title);
        bar->setObjectName(QString::number(barId));
        bar->setIconSize(QSize(kToolButtonSize, kToolButtonSize));
        for (std::uint32_t id : commands) {
            if (id == 0) {
                bar->addSeparator();
                continue;
            }
            QAction* action = Action(id);
            action->setIcon(CommandIcon(id));
            bar->addAction(action);
        }
        bars_[barId] = bar;
    };
    build(kIdBarContents, QStringLiteral("コンテンツ"), kContentsBar);
    build(kIdBarChart, QStringLiteral("ヴォルン 操作"), kChartBar);
    build(kIdBarScreening, QStringLiteral("スクリーニング操作"), kScreeningBar);
    build(kIdBarPortfolio, QStringLiteral("ポートフォリオ操作"), {});
}

void CMainFrame::BuildSearchBar() {
    QToolBar* bar = addToolBar(QStringLiteral("銘柄検索"));
    bar->setObjectName(QString::number(kIdBarSearch));
    bars_[kIdBarSearch] = bar;
    codeBox_ = new QLineEdit(bar);
    codeBox_->setObjectName(QStringLiteral("1014"));
    codeBox_->setMaxLength(8);
    codeBox_->setFixedWidth(80);
    codeBox_->setPlaceholderText(QStringLiteral("銘柄コード"));
    codeBox_->setToolTip(QString::fromUtf8(kCodePrompt));
    codeBox_->setStatusTip(QString::fromUtf8(kCodePrompt));
    // Codes are digits: no composition.
    codeBox_->setInputMethodHints(Qt::ImhPreferUppercase | Qt::ImhPreferLatin | Qt::ImhLatinOnly);
    codeBox_->installEventFilter(new CCodeKeyFilter(codeBox_, [this] { SearchCode(); }));
    nameBox_ = new QLineEdit(bar);
    nameBox_->setObjectName(QStringLiteral("1015"));
    nameBox_->setFixedWidth(200);
    nameBox_->setPlaceholderText(QStringLiteral("銘柄名称"));
    nameBox_->setToolTip(QString::fromUtf8(kNamePrompt));
    nameBox_->setStatusTip(QString::fromUtf8(kNamePrompt));
    // Names are typed in Japanese: composition on.
    nameBox_->setAttribute(Qt::WA_InputMethodEnabled, true);
    nameBox_->setInputMethodHints(Qt::ImhNone);
    nameBox_->installEventFilter(this);
    codeBox_->installEventFilter(this);
    bar->addWidget(codeBox_);
    bar->addWidget(nameBox_);
    connect(codeBox_, &QLineEdit::textEdited, this, [this] { SearchCode(); });
    connect(nameBox_, &QLineEdit::textEdited, this, [this] { SearchName(); });
}

void CMainFrame::BuildShortcuts() {
    const auto key = [this](const QKeySequence& sequence, std::function<void()> run) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, std::move(run));
        return shortcut;
    };
    for (const auto& [id, sequence] : CommandKeys()) {
        QShortcut* shortcut = key(sequence, [this, id = id] { RunCommand(id); });
        shortcut->setProperty("command", id);
    }
    key(QKeySequence(Qt::Key_Space), [this] { app_.StepStock(true); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_Space), [this] { app_.StepStock(false); });
}

bool CMainFrame::IsEnabled(std::uint32_t id) const {
    const bool chart = view_->ChartVisible();
    if (ScrollOf(id) || id == kIdZoomIn || id == kIdZoomOut)
        return chart && view_->Chart().CanExecute(static_cast<CommandId>(id));
    if (id >= kIdZoomStep1 && id < kIdZoomStep1 + 6)
        return true;
    if (SeriesOf(id) || id == kIdCrosshair)
        return chart;
    if (id == kIdScreeningReport || (IsRangeDialogCommand(id)))
        return view_->ScreeningVisible();
    if (id == kIdFocusCode || id == kIdFocusName)
        return ToolBar(kIdBarSearch) != nullptr && ToolBar(kIdBarSearch)->isVisibleTo(this);
    if (id == kIdWholeHistory)
        return chart && view_->Chart().Model() != nullptr &&
               view_->Chart().Model()->VisibleDays() < view_->Chart().Model()->StockDayCount();
    if (id >= kFavoriteCommandFirst && id < kFavoriteCommandFirst + 10000)
        return true;
    switch (id) {
    case kIdContentsChart:
    case kIdContentsScreening:
    case kIdContentsPortfolio:
    case kIdCopy:
    case kIdAddFavorite:
    case kIdExit:
    case kIdAbout:
    case kIdBarContents:
    case kIdBarChart:
    case kIdBarScreening:
    case kIdBarPortfolio:
    case kIdBarSearch:
    case kIdBarStatus:
        return true;
    case kIdContentsReport:
        return !view_->ReportLocation().isEmpty();
    case kIdHistoryBack:
        return app_.Recorder().CanGoBack();
    case kIdHistoryForward:
        return app_.Recorder().CanGoForward();
    case kIdTradeForecastClear:
    case kIdTradeForecast10:
    case kIdTradeForecast20:
    case kIdTradeForecast30:
        return chart;
    case kIdCopyChart:
    case kIdCopyChartAnalysis:
    case kIdColourBlack:
    case kIdColourWhite:
    case kIdTradings:
    case kIdMonthlyTradings:
        return app_.ContentsMode() == kContentsChart;
    case kIdLawPerformance:
        return app_.ContentsMode() == kContentsChart || app_.ContentsMode() == kContentsScreening;
    case kIdOrganiseFavorites:
        return !app_.Favorites().Empty();
    case kIdScreeningReset:
    case kIdScreeningSave:
        return view_->ScreeningVisible();
    case kIdScreeningRestore:
        return view_->ScreeningVisible() && view_->Screening().HasSavedScreenings();
    case kIdMatrixProperty:
        return true;
    case kIdLawBacktest:
        return !app_.Matrix().Securities().empty();
    case kIdMatrixRecovery:
        return !app_.Matrix().Securities().empty() && !app_.Loader().Index().packages.empty() &&
               !app_.Writer().IsRunning();
    default:
        // The manual has no address to open.
        return false;
    }
}

bool CMainFrame::IsChecked(std::uint32_t id) const {
    if (id >= kIdZoomStep1 && id < kIdZoomStep1 + 6)
        return view_->ZoomStep() == kZoomSteps[id - kIdZoomStep1];
    if (const auto kind = SeriesOf(id))
        return view_->Chart().Model() != nullptr && view_->Chart().Model()->SeriesKind() == *kind;
    if (id == kIdCrosshair)
        return view_->Chart().CrosshairShown();
    switch (id) {
    case kIdContentsChart:
        return view_->ChartVisible();
    case kIdContentsScreening:
        return view_->ScreeningVisible();
    case kIdContentsPortfolio:
        return view_->PortfolioVisible();
    case kIdTradeForecastClear:
        return app_.ForecastSpace() == 0;
    case kIdTradeForecast10:
    case kIdTradeForecast20:
    case kIdTradeForecast30:
        return app_.ForecastSpace() == ForecastOf(id);
    case kIdColourBlack:
        return !app_.WhiteChart();
    case kIdColourWhite:
        return app_.WhiteChart();
    case kIdTradings:
        return (view_->PanelFlags() & kPanelTradings) != 0;
    case kIdMonthlyTradings:
        return (view_->PanelFlags() & kPanelMonthlyTradings) != 0;
    case kIdLawPerformance:
        return (view_->PanelFlags() & kPanelLawPerformance) != 0;
    case kIdBarStatus:
        return statusBar()->isVisibleTo(this);
    default:
        if (QToolBar* bar = ToolBar(id))
            return bar->isVisibleTo(this);
        return false;
    }
}

void CMainFrame::UpdateCommandStates() {
    for (auto& [id, action] : actions_) {
        action->setEnabled(IsEnabled(id));
        if (action->isCheckable())
            action->setChecked(IsChecked(id));
    }
}

bool CMainFrame::RunCommand(std::uint32_t id) {
    if (!IsEnabled(id)) {
        UpdateCommandStates();
        return false;
    }
    if (ScrollOf(id) || id == kIdZoomIn || id == kIdZoomOut) {
        RunChartCommand(id);
    } else if (const auto kind = SeriesOf(id)) {
        CPostedMessage::Post(this, kMsgHideSearchPopup, 1, 0);
        view_->ShowSeries(*kind);
    } else if (id == kIdWholeHistory) {
        CPostedMessage::Post(this, kMsgHideSearchPopup, 1, 0);
        if (const CChartModel* model = view_->Chart().Model();
            model != nullptr &&
            view_->Chart().SetDisplay(model->SeriesKind(), model->StockDayCount(), 0))
            view_->RecordChart();
    } else if (id == kIdFocusCode || id == kIdFocusName) {
        QLineEdit* box = id == kIdFocusCode ? codeBox_ : nameBox_;
        box->setFocus(Qt::ShortcutFocusReason);
        box->selectAll();
    } else if (id == kIdScreeningReport) {
        view_->Screening().OpenReportDialog();
    } else if (IsRangeDialogCommand(id)) {
        view_->Screening().OpenRangeDialog(static_cast<int>(id - kIdScreeningRange));
    } else if (id == kIdCrosshair) {
        view_->Chart().ShowCrosshair(!view_->Chart().CrosshairShown());
        ClearStatus();
    } else if (id >= kIdZoomStep1 && id < kIdZoomStep1 + 6) {
        view_->SetZoomStep(kZoomSteps[id - kIdZoomStep1]);
    } else if (id >= kFavoriteCommandFirst && id < kFavoriteCommandFirst + 10000) {
        if (const auto key = FavoriteOfCommand(app_.Favorites(), id))
            if (const SecurityRecord* security = app_.Matrix().FindSecurity(*key))
                app_.SelectStock(security);
    } else {
        switch (id) {
        case kIdContentsChart:
            CPostedMessage::Post(this, kMsgHideSearchPopup, 1, 0);
            view_->SwitchContents(kContentsChart);
            view_->RecordChart();
            break;
        case kIdContentsScreening:
            view_->SwitchContents(kContentsScreening);
            app_.Recorder().RecordScreening(app_.Screening());
            break;
        case kIdContentsPortfolio:
            view_->SwitchContents(kContentsPortfolio);
            break;
        case kIdContentsReport:
            view_->SwitchContents(kContentsReport);
            app_.Recorder().RecordReport(view_->ReportLocation().toStdString());
            break;
        case kIdHistoryBack:
        case kIdHistoryForward:
            app_.Recorder().Navigate(id == kIdHistoryBack, app_);
            break;
        case kIdTradeForecastClear:
        case kIdTradeForecast10:
        case kIdTradeForecast20:
        case kIdTradeForecast30:
            CPostedMessage::Post(this, kMsgHideSearchPopup, 1, 0);
            app_.SetForecastSpace(ForecastOf(id));
            break;
        case kIdCopyChart:
        case kIdCopyChartAnalysis:
            CPostedMessage::Post(this, kMsgHideSearchPopup, 1, 0);
            CopyChart(id == kIdCopyChartAnalysis);
            break;
        case kIdCopy:
            CopyText();
            break;
        case kIdColourBlack:
        case kIdColourWhite:
            app_.SetWhiteChart(id == kIdColourWhite);
            view_->SetWhiteScheme(id == kIdColourWhite);
            break;
        case kIdScreeningRestore:
            view_->Screening().OpenRestoreDialog();
            break;
        case kIdScreeningSave:
            view_->Screening().OpenSaveDialog();
            break;
        case kIdMatrixProperty: {
            CDialogMatrixProperty dialog(
                app_.Matrix(), app_.Profile().GetInteger(kProfileSection, kProfileVersion, 0),
                this);
            dialog.exec();
            break;
        }
        case kIdMatrixRecovery:
            RecoverMatrix();
            break;
        case kIdTradings:
            view_->TogglePanel(kPanelTradings);
            break;
        case kIdMonthlyTradings:
            view_->TogglePanel(kPanelMonthlyTradings);
            break;
        case kIdLawPerformance:
            view_->TogglePanel(kPanelLawPerformance);
            break;
        case kIdLawBacktest:
            ShowLawBacktest();
            break;
        case kIdAddFavorite:
            ShowStatusMessage(app_.AddFavorite() ? QStringLiteral("お気に入りに追加しました")
                                                 : QStringLiteral("お気に入りに追加できません"));
            break;
        case kIdOrganiseFavorites: {
            CDialogFavorites dialog(app_.Favorites(), app_.Matrix(), this);
            dialog.exec();
            RebuildFavoritesMenu();
            break;
        }
        case kIdScreeningReset:
            view_->Screening().ResetConditions();
            view_->RecordScreening();
            break;
        case kIdExit:
            close();
            break;
        case kIdAbout:
            QMessageBox::about(this, QStringLiteral("バージョン情報 Vorn"), AboutText());
            break;
        case kIdBarStatus:
            statusBar()->setVisible(!statusBar()->isVisibleTo(this));
            break;
        default:
            if (QToolBar* bar = ToolBar(id))
                bar->setVisible(!bar->isVisibleTo(this));
            break;
        }
    }
    UpdateCommandStates();
    return true;
}

void CMainFrame::RunChartCommand(std::uint32_t id) {
    CPostedMessage::Post(this, kMsgHideSearchPopup, 1, 0);
    if (view_->Chart().ExecuteCommand(static_cast<CommandId>(id)))
        view_->RecordChart();
}

QString CMainFrame::StockTitle() const {
    const SecurityRecord* stock = app_.SelectedStock();
    if (stock == nullptr)
        return {};
    QString name;
    if (stock->company != nullptr && stock->company->name)
        name = QString::fromStdString(Cp932ToUtf8(*stock->company->name));
    return QStringLiteral("%1 %2").arg(QString::fromStdString(FormatStockCode(stock->Code())),
                                       name);
}

void CMainFrame::CopyChart(bool withAnalysis) {
    CGraph& chart = view_->Chart();
    ShowStatusMessage(QStringLiteral("チャートをクリップボードにコピーしました"));
    if (!withAnalysis) {
        chart.CopyChart();
        return;
    }
    // Title line, details panel and chart from top to bottom, on the chart's background.
    const QImage image = chart.RenderToImage(chart.size().expandedTo(QSize(1, 1)));
    const QImage details = view_->Details().grab().toImage();
    const QFontMetrics metrics(font());
    const int line = metrics.height() + 4;
    const QColor background = image.isNull() ? QColor(Qt::black) : image.pixelColor(0, 0);
    QImage composed(image.width(), line + details.height() + image.height(), QImage::Format_RGB32);
    composed.fill(background);
    QPainter painter(&composed);
    painter.setPen(background.lightness() > 128 ? Qt::black : Qt::white);
    painter.drawText(QRect(4, 0, composed.width() - 8, line), Qt::AlignVCenter, StockTitle());
    painter.drawImage(0, line, details);
    painter.drawImage(0, line + details.height(), image);
    painter.end();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(composed);
}

void CMainFrame::CopyText() {
    if (app_.ContentsMode() == kContentsScreening) {
        view_->Screening().CopySelection();
        ShowStatusMessage(QStringLiteral("選択した銘柄をクリップボードにコピーしました"));
        return;
    }
    if (app_.ContentsMode() != kContentsChart)
        return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(StockTitle());
        ShowStatusMessage(QStringLiteral("銘柄をクリップボードにコピーしました"));
    }
}

void CMainFrame::RecoverMatrix() {
    unsigned years = 0;
    {
        CDialogMatrixDownloader downloader(app_.Loader().Index(), this);
        years = downloader.Choose();
    }
    if (years == 0)
        return;
    CDialogMatrixRecovery recovery(app_.Loader(), app_.ServerHost(), app_.MatrixPath(), years,
                                   &app_.Profile(), this);
    recovery.exec();
    if (recovery.RestartRequested())
        close();
}

void CMainFrame::SearchCode() {
    if (app_.FindAndSelect(codeBox_->text()))
        codeBox_->selectAll();
}

void CMainFrame::SearchName() {
    codeBox_->clear();
    const QString wanted = NormaliseCompanyName(nameBox_->text());
    std::vector<const SecurityRecord*> stocks;
    if (!wanted.isEmpty()) {
        // In the screening only the rows of the securities list are offered.
        std::set<SecurityKey> listed;
        const bool screening = app_.ContentsMode() == kContentsScreening;
        if (screening) {
            const CGridSecurities& grid = view_->Screening().Grid();
            for (int row = 0; row < grid.RowCount(); ++row)
                listed.insert(grid.KeyAt(row));
        }
        const auto& securities = app_.Matrix().Securities();
        for (const auto& [code, name] : app_.NameKeys()) {
            if (!name.contains(wanted))
                continue;
            for (auto it = securities.lower_bound(MakeSecurityKey(code, 0));
                 it != securities.end() && it->second.Code() == code; ++it)
                if (!screening || listed.contains(it->first))
                    stocks.push_back(&it->second);
        }
    }
    popup_->ShowStocks(std::move(stocks), *nameBox_, MarketNamingOf(app_.Matrix()));
}

void CMainFrame::ClearStatus() {
    panes_[0]->clear();
    panes_[1]->clear();
}

void CMainFrame::RebuildFavoritesMenu() {
    // The first two items are the add and organise commands; the rest are rebuilt.
    const QList<QAction*> items = favoritesMenu_->actions();
    for (qsizetype i = 2; i < items.size(); ++i) {
        favoritesMenu_->removeAction(items[i]);
        items[i]->deleteLater();
    }
    const std::vector<FavoriteItem> favorites = FavoriteItems(app_.Favorites(), app_.Matrix());
    if (app_.Favorites().Empty())
        return;
    favoritesMenu_->addSeparator();
    for (const FavoriteItem& item : favorites) {
        QAction* action =
            favoritesMenu_->addAction(QString::fromStdString(Cp932ToUtf8(item.label)));
        action->setData(item.commandId);
        const std::uint32_t id = item.commandId;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    UpdateCommandStates();
}

void CMainFrame::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType())
        return QMainWindow::customEvent(event);
    const auto* message = static_cast<const CPostedMessage*>(event);
    const std::uint32_t id = message->Message();
    if (id == kMsgHideSearchPopup) {
        popup_->hide();
        if (message->WParam() == 0)
            setFocus();
    } else if (id == kMsgHideSearchPopupToCodeBox) {
        popup_->hide();
        codeBox_->setFocus();
    } else if (id == kMsgIntelligence) {
        if (message->WParam() == kFeedNewItems)
            announcements_->Refresh();
    } else if (id == kMsgIntelligenceActivated) {
        ActivateAnnouncement(static_cast<std::uint32_t>(message->WParam()));
    } else if (id >= kMsgCursorNone && id <= kMsgCursorBandMillions) {
        CursorStatusText text = FormatCursorStatus(id, message->WParam(), message->LParam());
        // The crosshair reads the whole day under the cursor instead.
        if (CursorStatusText reading = view_->Chart().CrosshairText(); !reading.first.empty())
            text = std::move(reading);
        panes_[0]->setText(QString::fromStdString(text.first));
        panes_[1]->setText(QString::fromStdString(text.second));
    }
}

bool CMainFrame::NameBoxKey(QKeyEvent* key) {
    if (!popup_->isVisible())
        return false;
    CGridStocks& grid = popup_->Grid();
    switch (key->key()) {
    case Qt::Key_Down:
        if (key->type() == QEvent::KeyPress)
            grid.MoveCurrent(1);
        return true;
    case Qt::Key_Up:
        if (key->type() == QEvent::KeyPress)
            grid.MoveCurrent(-1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (key->type() == QEvent::KeyPress)
            grid.ActivateCurrent();
        return true;
    case Qt::Key_Escape:
        if (key->type() == QEvent::KeyPress) {
            popup_->Close();
            activateWindow();
            nameBox_->setFocus();
        }
        return true;
    default:
        return false;
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // The popup's keys must reach the name box before the window's shortcuts take them.
    if (watched == nameBox_ &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        NameBoxKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    if (watched == nameBox_) {
        if (event->type() == QEvent::FocusIn) {
            QGuiApplication::inputMethod()->show();
        } else if (event->type() == QEvent::FocusOut) {
            QGuiApplication::inputMethod()->hide();
            if (!popup_->isActiveWindow())
                popup_->hide();
        }
    } else if (watched == codeBox_ && event->type() == QEvent::FocusIn) {
        popup_->hide();
        QGuiApplication::inputMethod()->hide();
    }
    // A click anywhere else in the frame closes the popup.
    if (event->type() == QEvent::MouseButtonPress && popup_->isVisible() && watched != nameBox_ &&
        watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this)
        popup_->hide();
    // Moving over anything but the chart while it shows clears the panes.
    if (event->type() == QEvent::MouseMove && app_.ContentsMode() == kContentsChart &&
        watched != static_cast<QObject*>(&view_->Chart()) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this && !panes_[0]->text().isEmpty())
        CPostedMessage::Post(this, kMsgCursorNone, 0, 0);
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::ShowLawBacktest() {
    if (lawBacktest_ == nullptr) {
        lawBacktest_ = new CDialogLawBacktest(app_.Matrix(), nullptr, this);
        lawBacktest_->SetOpenChart([this](const SecurityRecord* security, PackedDate day) {
            app_.SelectStockAt(security, kTradeChartDays,
                               ChartPositionOf(app_.Matrix(), *security, day, kTradeChartDays));
        });
    }
    // The screening list as it stands now, once the screening has been prepared.
    std::optional<std::set<SecurityKey>> listed;
    if (view_->Screening().Prepared()) {
        const CSecuritiesList& list = view_->Screening().List();
        listed.emplace();
        for (std::size_t row = 0; row < list.RowCount(); ++row)
            listed->insert(list.RowKey(row));
    }
    if (!lawBacktest_->Running())
        lawBacktest_->SetScreeningList(std::move(listed));
    lawBacktest_->SetWhiteScheme(app_.WhiteChart());
    lawBacktest_->show();
    lawBacktest_->raise();
}

} // namespace vorn
