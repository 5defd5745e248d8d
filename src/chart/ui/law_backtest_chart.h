#pragma once
// The year-by-year bars of each trading law's average return in the market-wide law test,
// drawn with the chart's colours and fonts in either scheme.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/law_backtest.h"

#include <QWidget>
#include <vector>

namespace vorn {

// The bars of the average return per law and year, drawn with the chart's colours and fonts.
class CLawBacktestChart : public QWidget {
public:
    explicit CLawBacktestChart(QWidget* parent = nullptr);
    void SetYears(std::vector<YearLawAverages> years);
    void SetWhiteScheme(bool white);
    bool WhiteScheme() const { return white_; }
    const std::vector<YearLawAverages>& Years() const { return years_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<YearLawAverages> years_;
    bool white_ = false;
};

} // namespace vorn
