#pragma once
// "法則の検証": the tool window that tests the eight trading laws over the whole market or the
// current screening list, with the figures per law and side, a year-by-year bar chart of each
// law's average return, the comma-separated table to save or copy, and the trades of a law.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/law_backtest.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "chart/ui/law_backtest_chart.h"
#include "gaps/ui/tool_window.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vorn {

class CMessagePoster;

// wParam of message 1027 when the window is closed.
constexpr std::uintptr_t kLawBacktestClosed = 8;

// The trades of one law and side; double-clicking a trade opens its chart.
class CDialogBacktestTrades : public QDialog {
public:
    using OpenChart = std::function<void(const SecurityRecord*, PackedDate)>;
    CDialogBacktestTrades(const CMarketMatrix& matrix, std::vector<BacktestTrade> trades,
                          const QString& title, OpenChart openChart, QWidget* parent = nullptr);
    QTableWidget* Table() const { return table_; }
    const std::vector<BacktestTrade>& Trades() const { return trades_; }

private:
    void Open(int row);

    const CMarketMatrix& matrix_;
    std::vector<BacktestTrade> trades_;
    OpenChart openChart_;
    QTableWidget* table_;
};

class CDialogLawBacktest : public CToolWindow {
public:
    using OpenChart = CDialogBacktestTrades::OpenChart;
    // The matrix must outlive the window. `owner` receives 1027 with wParam 8 on closing.
    CDialogLawBacktest(const CMarketMatrix& matrix, IMessageSink* owner, QWidget* parent = nullptr);
    // Cancels and joins a running test before anything it reports to goes.
    ~CDialogLawBacktest() override;

    // The securities of the current screening list; none: only the whole market can be tested.
    void SetScreeningList(std::optional<std::set<SecurityKey>> keys);
    void SetOpenChart(OpenChart openChart) { openChart_ = std::move(openChart); }
    void SetWhiteScheme(bool white);
    // Where "保存..." writes; without a chooser it asks with a file dialog.
    void SetSavePathChooser(std::function<QString()> chooser) { choosePath_ = std::move(chooser); }

    bool Run();
    void Cancel();
    bool SaveCsv(const QString& path);
    void CopyCsv() const;
    // Opens the trades of the table row's law and side (rows as shown).
    CDialogBacktestTrades* OpenTrades(int row);

    QComboBox* PeriodChoice() const { return period_; }
    QComboBox* ScopeChoice() const { return scope_; }
    QPushButton* RunButton() const { return run_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* CopyButton() const { return copy_; }
    QTableWidget* Table() const { return table_; }
    CLawBacktestChart* Chart() const { return chart_; }
    QLabel* Status() const { return status_; }
    CLawBacktest& Backtest() { return backtest_; }
    bool Running() const { return running_; }
    const std::vector<BacktestRow>& Rows() const { return rows_; }
    CDialogBacktestTrades* TradesWindow() const { return trades_; }

protected:
    void customEvent(QEvent* event) override;

private:
    void HandleProgress(std::uintptr_t wParam, std::intptr_t lParam);
    void ShowResults();
    void SetRunning(bool running);
    void ChooseAndSave();

    const CMarketMatrix& matrix_;
    std::optional<std::set<SecurityKey>> screening_;
    OpenChart openChart_;
    std::function<QString()> choosePath_;
    QComboBox* period_;
    QComboBox* scope_;
    QPushButton* run_;
    QPushButton* cancel_;
    QPushButton* save_;
    QPushButton* copy_;
    QProgressBar* bar_;
    QLabel* status_;
    QTableWidget* table_;
    CLawBacktestChart* chart_;
    CDialogBacktestTrades* trades_ = nullptr;
    std::vector<BacktestRow> rows_;
    bool running_ = false;
    // Declared last among what the worker uses: destroyed first, after the worker was joined.
    std::unique_ptr<CMessagePoster> poster_;
    CLawBacktest backtest_;
};

} // namespace vorn
