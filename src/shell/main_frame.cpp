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
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
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
#include "foundation/text_encoding.h"
#include "gaps/ui/market_windows_details.h"
#include "matrix/market_naming.h"
#include "matrix/stock_code.h"
#include "screening/screening_settings.h"
#include "screening/ui/grid_securities.h"
#include "screening/ui/screening_view.h"
#include "shell/command_ids.h"
#include "shell/dialog_favorites.h"
#include "shell/dialog_matrix_downloader.h"
#include "shell/dialog_securities.h"
#include "shell/grid_stocks.h"
#include "ui_base/posted_message.h"
#include "shell/tool_icons.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"

namespace vorn {
namespace {

constexpr int kMinimumWidth = 1000;
constexpr int kMinimumHeight = 750;
constexpr int kAnnouncementsHeight = 110;
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
                                       kIdTradeForecast30};
constexpr std::uint32_t kContentsBar[] = {kIdContentsChart, kIdContentsScreening, 0, kIdHistoryBack,
                                          kIdHistoryForward};
constexpr std::uint32_t kScreeningBar[] = {kIdScreeningRestore, kIdScreeningSave};

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
        if ((key->modifiers() & Qt::ControlModifier) != 0)
            return !(key->key() == Qt::Key_A || key->key() == Qt::Key_B || key->key() == Qt::Key_D);
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
    connect(view_, &CVornView::commandRequested, this,
            [this](int id) { RunCommand(static_cast<std::uint32_t>(id)); });
    panes_[0] = new QLabel(this);
    panes_[1] = new QLabel(this);
    for (QLabel* pane : panes_) {
        pane->setMinimumWidth(220);
        statusBar()->addPermanentWidget(pane);
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

QAction* CMainFrame::AddCommand(QMenu* menu, std::uint32_t id, const QString& text,
                                const QString& keyHint) {
    QAction* action = Action(id);
    if (action == nullptr) {
        action = new QAction(text, this);
        actions_[id] = action;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    if (!keyHint.isEmpty())
        action->setText(text + '\t' + keyHint);
    if (menu != nullptr)
        menu->addAction(action);
    return action;
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    AddCommand(file, kIdMatrixProperty, QStringLiteral("マーケットマトリクスのプロパティ(&P)..."));
    AddCommand(file, kIdMatrixRecovery, QStringLiteral("マーケットマトリクスのリカバリー..."));
    file->addSeparator();
    AddCommand(file, kIdExit, QStringLiteral("アプリケーションの終了(&X)"));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    AddCommand(edit, kIdCopyChart, QStringLiteral("ヴォルンをコピー(&Z)"),
               QStringLiteral("Ctrl+Z"));
    AddCommand(edit, kIdCopyChartAnalysis, QStringLiteral("ヴォルン・分析結果をコピー(&X)"),
               QStringLiteral("Ctrl+X"));
    AddCommand(edit, kIdCopy, QStringLiteral("コピー(&C)"), QStringLiteral("Ctrl+C"));

    QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    QMenu* bars = view->addMenu(QStringLiteral("ツール バー(&T)"));
    AddCommand(bars, kIdBarContents, QStringLiteral("コンテンツ(&T)"));
    AddCommand(bars, kIdBarChart, QStringLiteral("ヴォルン 操作(&M)"));
    AddCommand(bars, kIdBarScreening, QStringLiteral("スクリーニング操作(&S)"));
    AddCommand(bars, kIdBarPortfolio, QStringLiteral("ポートフォリオ操作(&P)"));
    AddCommand(bars, kIdBarSearch, QStringLiteral("銘柄検索(&I)"));
    AddCommand(bars, kIdBarStatus, QStringLiteral("ステータス バー(&S)"));
    view->addSeparator();
    AddCommand(view, kIdContentsChart, QStringLiteral("ヴォルン(&M)"), QStringLiteral("Ctrl+M"));
    AddCommand(view, kIdContentsScreening, QStringLiteral("スクリーニング(&S)"),
               QStringLiteral("Ctrl+S"));
    AddCommand(view, kIdContentsPortfolio, QStringLiteral("ポートフォリオ(&P)"),
               QStringLiteral("Ctrl+P"));
    AddCommand(view, kIdContentsReport, QStringLiteral("レポート(&R)"), QStringLiteral("Ctrl+R"));
    view->addSeparator();
    AddCommand(view, kIdHistoryBack, QStringLiteral("戻る(&B)"), QStringLiteral("Alt+Left"));
    AddCommand(view, kIdHistoryForward, QStringLiteral("進む(&F)"), QStringLiteral("Alt+Right"));
    view->addSeparator();
    AddCommand(view, kIdTradings, QStringLiteral("トレーディング..."));
    AddCommand(view, kIdMonthlyTradings, QStringLiteral("月別トレーディング..."));
    AddCommand(view, kIdLawPerformance, QStringLiteral("法則別パフォーマンス..."));

    QMenu* chart = menuBar()->addMenu(QStringLiteral("ヴォルン(&M)"));
    AddCommand(chart, kIdChartFirst, QStringLiteral("先頭"), QStringLiteral("Home"));
    AddCommand(chart, kIdChartLast, QStringLiteral("終端"), QStringLiteral("End"));
    AddCommand(chart, kIdChartNext, QStringLiteral("次"), QStringLiteral("Up"));
    AddCommand(chart, kIdChartPrevious, QStringLiteral("前"), QStringLiteral("Down"));
    AddCommand(chart, kIdPreviousDay, QStringLiteral("前日"), QStringLiteral("Left"));
    AddCommand(chart, kIdNextDay, QStringLiteral("翌日"), QStringLiteral("Right"));
    chart->addSeparator();
    AddCommand(chart, kIdZoomIn, QStringLiteral("拡大"), QStringLiteral("PageUp"));
    AddCommand(chart, kIdZoomOut, QStringLiteral("縮小"), QStringLiteral("PageDown"));
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
    AddCommand(colours, kIdColourBlack, QStringLiteral("Black"));
    AddCommand(colours, kIdColourWhite, QStringLiteral("White"));

    QMenu* screening = menuBar()->addMenu(QStringLiteral("スクリーニング(&S)"));
    AddCommand(screening, kIdScreeningRestore, QStringLiteral("設定の再現"));
    AddCommand(screening, kIdScreeningSave, QStringLiteral("設定の保存"));
    AddCommand(screening, kIdScreeningReset, QStringLiteral("条件選択の初期化"));

    favoritesMenu_ = menuBar()->addMenu(QStringLiteral("お気に入り(&O)"));
    AddCommand(favoritesMenu_, kIdAddFavorite, QStringLiteral("お気に入りに追加(&O)..."));
    AddCommand(favoritesMenu_, kIdOrganiseFavorites, QStringLiteral("お気に入りの整理(&P)..."));
    RebuildFavoritesMenu();

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    AddCommand(help, kIdManual, QStringLiteral("オンラインマニュアル(&H)"), QStringLiteral("F1"));
    AddCommand(help, kIdAbout, QStringLiteral("バージョン情報 Vorn(&A)..."));

    for (auto& [id, action] : actions_) {
        const bool checkable = (id >= kIdZoomStep1 && id < kIdZoomStep1 + 6) ||
                               id == kIdContentsChart || id == kIdContentsScreening ||
                               id == kIdContentsPortfolio || id == kIdTradeForecastClear ||
                               ForecastOf(id) != 0 || id == kIdColourBlack ||
                               id == kIdColourWhite || id == kIdTradings ||
                               id == kIdMonthlyTradings || id == kIdLawPerformance ||
                               id == kIdBarContents || id == kIdBarChart || id == kIdBarScreening ||
                               id == kIdBarPortfolio || id == kIdBarSearch || id == kIdBarStatus;
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
    };
    const std::pair<QKeySequence, std::uint32_t> commands[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_M), kIdContentsChart},
        {QKeySequence(Qt::CTRL | Qt::Key_S), kIdContentsScreening},
        {QKeySequence(Qt::CTRL | Qt::Key_P), kIdContentsPortfolio},
        {QKeySequence(Qt::CTRL | Qt::Key_R), kIdContentsReport},
        {QKeySequence(Qt::ALT | Qt::Key_Left), kIdHistoryBack},
        {QKeySequence(Qt::ALT | Qt::Key_Right), kIdHistoryForward},
        // The menu shows other key names for these four; the keys are the ones that run them.
        {QKeySequence(Qt::Key_End), kIdChartFirst},
        {QKeySequence(Qt::Key_Home), kIdChartLast},
        {QKeySequence(Qt::Key_PageDown), kIdZoomIn},
        {QKeySequence(Qt::Key_PageUp), kIdZoomOut},
        {QKeySequence(Qt::Key_Up), kIdChartNext},
        {QKeySequence(Qt::Key_Down), kIdChartPrevious},
        {QKeySequence(Qt::Key_Left), kIdPreviousDay},
        {QKeySequence(Qt::Key_Right), kIdNextDay},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), kIdCopyChart},
        {QKeySequence(Qt::CTRL | Qt::Key_X), kIdCopyChartAnalysis},
        {QKeySequence(Qt::CTRL | Qt::Key_C), kIdCopy},
        {QKeySequence(Qt::Key_F1), kIdManual},
    };
    for (const auto& [sequence, id] : commands)
        key(sequence, [this, id = id] { RunCommand(id); });
    key(QKeySequence(Qt::Key_Space), [this] { app_.StepStock(true); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_Space), [this] { app_.StepStock(false); });
}

bool CMainFrame::IsEnabled(std::uint32_t id) const {
    const bool chart = view_->ChartVisible();
    if (ScrollOf(id) || id == kIdZoomIn || id == kIdZoomOut)
        return chart && view_->Chart().CanExecute(static_cast<int>(id));
    if (id >= kIdZoomStep1 && id < kIdZoomStep1 + 6)
        return true;
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
        case kIdAddFavorite:
            app_.AddFavorite();
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
            QMessageBox::about(this, QStringLiteral("バージョン情報 Vorn"),
                               QStringLiteral("ヴォルン\n窓による株式市場の分析"));
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
    if (view_->Chart().ExecuteCommand(static_cast<int>(id)))
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
        return;
    }
    if (app_.ContentsMode() != kContentsChart)
        return;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(StockTitle());
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
        const CursorStatusText text = FormatCursorStatus(id, message->WParam(), message->LParam());
        panes_[0]->setText(QString::fromStdString(text.first));
        panes_[1]->setText(QString::fromStdString(text.second));
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
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

} // namespace vorn
