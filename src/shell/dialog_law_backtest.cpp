#include "shell/dialog_law_backtest.h"

#include "foundation/text_encoding.h"
#include "gaps/trading_lists.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui_base/posted_message.h"

namespace vorn {
namespace {

constexpr const char* kPeriodNames[] = {"日足", "週足", "月足"};
constexpr const char* kScopeNames[] = {"マーケット全体", "スクリーニング結果"};
constexpr const char* kTableHeadings[] = {
    "法則",         "売買",   "取引", "勝ち",     "負け", "分け", "勝率",
    "平均リターン", "中央値", "合計", "平均日数", "最悪", "PF"};
constexpr const char* kTradeHeadings[] = {"銘柄",   "市場", "法則", "売買",   "シグナル", "約定日",
                                          "返済日", "新規", "返済", "損益率", "日数"};
QString DateCell(PackedDate date) {
    return QString::fromStdString(DateText(date));
}

QString PercentText(double value) {
    return QString::fromStdString(BacktestNumber(value)) + '%';
}

QString LawText(const BacktestRow& row) {
    if (row.law == 0)
        return QString::fromUtf8(kAllLawsLabel);
    const std::uint8_t code = static_cast<std::uint8_t>((row.side == BacktestSide::Sell ? 2u : 1u)
                                                        << (2 * (row.law - 1u)));
    return QString::fromUtf8(LawTitle(static_cast<unsigned>(LawStatsIndex(code) + 1)));
}

QTableWidgetItem* Cell(const QString& text, bool right) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
    return item;
}

QTableWidget* MakeTable(QWidget* parent, std::span<const char* const> headings) {
    auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    QStringList labels;
    for (const char* heading : headings)
        labels << QString::fromUtf8(heading);
    table->setHorizontalHeaderLabels(labels);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    return table;
}

} // namespace

CDialogBacktestTrades::CDialogBacktestTrades(const CMarketMatrix& matrix,
                                             std::vector<BacktestTrade> trades,
                                             const QString& title, OpenChart openChart,
                                             QWidget* parent)
    : QDialog(parent), matrix_(matrix), trades_(std::move(trades)),
      openChart_(std::move(openChart)) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    table_ = MakeTable(this, kTradeHeadings);
    layout->addWidget(table_);
    table_->setRowCount(static_cast<int>(trades_.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const BacktestTrade& t = trades_[static_cast<std::size_t>(r)];
        const QString side = QString::fromUtf8(t.IsBuy() ? "買い" : "売り");
        const QString cells[] = {QString::fromStdString(FormatStockCode(CodeOfKey(t.key))),
                                 QString::fromUtf8(MarketShortName(t.Market())),
                                 QString::fromUtf8(TradeLawName(t.signal, t.law)),
                                 side,
                                 DateCell(t.signalDate),
                                 DateCell(t.entryDate),
                                 DateCell(t.exitDate),
                                 QString::number(t.entryPrice),
                                 QString::number(t.exitPrice),
                                 PercentText(t.returnRate * 100.0),
                                 QString::number(t.holdingDays)};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c)
            table_->setItem(r, c, Cell(cells[c], c >= 7));
    }
    table_->resizeColumnsToContents();
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { Open(row); });
    resize(760, 400);
}

void CDialogBacktestTrades::Open(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= trades_.size() || !openChart_)
        return;
    const BacktestTrade& trade = trades_[static_cast<std::size_t>(row)];
    if (const SecurityRecord* security = matrix_.FindSecurity(trade.key))
        openChart_(security, trade.entryDate);
}

CDialogLawBacktest::CDialogLawBacktest(const CMarketMatrix& matrix, IMessageSink* owner,
                                       QWidget* parent)
    : CToolWindow(kLawBacktestClosed, owner, true, parent), matrix_(matrix),
      poster_(std::make_unique<CMessagePoster>(this)) {
    setWindowTitle(QString::fromUtf8(kLawBacktestTitle));
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    period_ = new QComboBox(this);
    for (const char* name : kPeriodNames)
        period_->addItem(QString::fromUtf8(name));
    scope_ = new QComboBox(this);
    for (const char* name : kScopeNames)
        scope_->addItem(QString::fromUtf8(name));
    run_ = new QPushButton(QStringLiteral("実行"), this);
    cancel_ = new QPushButton(QStringLiteral("中止"), this);
    save_ = new QPushButton(QStringLiteral("保存..."), this);
    copy_ = new QPushButton(QStringLiteral("コピー"), this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    for (QWidget* w :
         std::initializer_list<QWidget*>{period_, scope_, run_, cancel_, bar_, save_, copy_})
        controls->addWidget(w);
    layout->addLayout(controls);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    auto* split = new QSplitter(Qt::Vertical, this);
    table_ = MakeTable(split, kTableHeadings);
    chart_ = new CLawBacktestChart(split);
    split->addWidget(table_);
    split->addWidget(chart_);
    layout->addWidget(split, 1);

    connect(run_, &QPushButton::clicked, this, [this] { Run(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(save_, &QPushButton::clicked, this, [this] { ChooseAndSave(); });
    connect(copy_, &QPushButton::clicked, this, [this] { CopyCsv(); });
    connect(table_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { OpenTrades(row); });
    SetScreeningList(std::nullopt);
    SetRunning(false);
    resize(900, 600);
}

CDialogLawBacktest::~CDialogLawBacktest() {
    backtest_.Cancel();
    backtest_.Join();
}

void CDialogLawBacktest::SetScreeningList(std::optional<std::set<SecurityKey>> keys) {
    screening_ = std::move(keys);
    // Without a list only the market can be tested.
    if (!screening_)
        scope_->setCurrentIndex(0);
    else
        scope_->setCurrentIndex(1);
    scope_->setEnabled(screening_.has_value() && !running_);
}

void CDialogLawBacktest::SetWhiteScheme(bool white) {
    chart_->SetWhiteScheme(white);
}

bool CDialogLawBacktest::Run() {
    if (running_)
        return false;
    BacktestOptions options;
    options.periodKind = PeriodKindOf(period_->currentIndex()).value_or(PeriodKind::Daily);
    if (scope_->currentIndex() == 1 && screening_)
        options.selection = screening_;
    if (!backtest_.Start(matrix_, options, poster_.get()))
        return false;
    SetRunning(true);
    status_->setText(QStringLiteral("検証しています…"));
    return true;
}

void CDialogLawBacktest::Cancel() {
    if (running_)
        backtest_.Cancel();
}

void CDialogLawBacktest::SetRunning(bool running) {
    running_ = running;
    run_->setEnabled(!running);
    cancel_->setEnabled(running);
    period_->setEnabled(!running);
    scope_->setEnabled(!running && screening_.has_value());
    save_->setEnabled(!running && !rows_.empty());
    copy_->setEnabled(!running && !rows_.empty());
    if (!running)
        bar_->setValue(0);
}

void CDialogLawBacktest::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType()) {
        CToolWindow::customEvent(event);
        return;
    }
    const auto* message = static_cast<CPostedMessage*>(event);
    if (message->Message() == kMsgProgress)
        HandleProgress(message->WParam(), message->LParam());
}

void CDialogLawBacktest::HandleProgress(std::uintptr_t wParam, std::intptr_t lParam) {
    if (wParam == kProgressPercent) {
        bar_->setValue(static_cast<int>(std::clamp<std::intptr_t>(lParam, 0, 100)));
        return;
    }
    // Everything else ends the worker.
    backtest_.Join();
    if (wParam == kBacktestFinished) {
        ShowResults();
        status_->setText(
            QStringLiteral("%1 件の取引 (%2)")
                .arg(backtest_.Trades().size())
                .arg(QString::fromUtf8(kPeriodNames[PeriodIndex(backtest_.Period())])));
    } else if (wParam == kBacktestCancelled) {
        status_->setText(QStringLiteral("中止しました"));
    } else {
        status_->setText(QStringLiteral("検証できませんでした"));
    }
    SetRunning(false);
}

void CDialogLawBacktest::ShowResults() {
    rows_ = backtest_.Summarise(BacktestGrouping::All);
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const BacktestRow& row = rows_[static_cast<std::size_t>(r)];
        const BacktestFigures& f = row.figures;
        const QString cells[] = {LawText(row),
                                 QString::fromUtf8(BacktestSideName(row.side)),
                                 QString::number(f.trades),
                                 QString::number(f.wins),
                                 QString::number(f.losses),
                                 QString::number(f.evens),
                                 PercentText(f.winRate),
                                 PercentText(f.averageReturn),
                                 PercentText(f.medianReturn),
                                 PercentText(f.totalReturn),
                                 QString::fromStdString(BacktestNumber(f.averageDays)),
                                 PercentText(f.worst),
                                 QString::fromStdString(BacktestNumber(f.profitFactor))};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c)
            table_->setItem(r, c, Cell(cells[c], c >= 2));
    }
    table_->resizeColumnsToContents();
    chart_->SetYears(AverageReturnsByYear(backtest_.Trades()));
}

bool CDialogLawBacktest::SaveCsv(const QString& path) {
    if (rows_.empty() || path.isEmpty())
        return false;
    const bool saved = ExportBacktestCsv(path.toStdString(), rows_);
    status_->setText(saved ? QStringLiteral("保存しました: %1").arg(path)
                           : QStringLiteral("保存できませんでした: %1").arg(path));
    return saved;
}

void CDialogLawBacktest::ChooseAndSave() {
    QString path = choosePath_
                       ? choosePath_()
                       : QFileDialog::getSaveFileName(this, QStringLiteral("保存"), QString(),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    SaveCsv(path);
}

void CDialogLawBacktest::CopyCsv() const {
    if (!rows_.empty())
        QApplication::clipboard()->setText(QString::fromStdString(BacktestCsv(rows_)));
}

CDialogBacktestTrades* CDialogLawBacktest::OpenTrades(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return nullptr;
    const BacktestRow& shown = rows_[static_cast<std::size_t>(row)];
    const QString title = QStringLiteral("%1 %2 の取引")
                              .arg(LawText(shown))
                              .arg(QString::fromUtf8(BacktestSideName(shown.side)));
    delete trades_;
    trades_ = new CDialogBacktestTrades(matrix_, backtest_.TradesOf(shown.law, shown.side), title,
                                        openChart_, this);
    trades_->setAttribute(Qt::WA_DeleteOnClose, false);
    trades_->show();
    return trades_;
}

} // namespace vorn
