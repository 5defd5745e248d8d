#pragma once
// "トレーディング": the tool window with the trading list of the stock shown and a summary of
// its closed trades.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/trading_lists.h"

#include "gaps/ui/grid_tradings.h"
#include "gaps/ui/tool_window.h"

class QLabel;

namespace vorn {

class CDialogTradings : public CToolWindow {
public:
    // `owner` receives 1027 with wParam 1 when the window is closed.
    explicit CDialogTradings(IMessageSink* owner, QWidget* parent = nullptr);

    // Sets the title, loads the list and recomputes the summary.
    void Fill(const SecurityRecord* security, std::span<const PositionEntry> positions,
              const CCalendar& calendar, int firstPosition, std::int64_t priceScale);
    // The same from a performer that has just analysed the stock.
    void Fill(const CWindowsPerformer& performer);

    CGridTradings& Grid() { return *grid_; }
    const TradeSummary& Summary() const { return summary_; }
    // The three summary fields as shown, in order.
    QLabel* SummaryField(int index) const;

private:
    void ShowSummary(const SecurityRecord* security);

    CGridTradings* grid_;
    QLabel* fields_[3];
    TradeSummary summary_;
};

} // namespace vorn
