#pragma once
// The stock name popup under the name box: a borderless, slightly transparent tool window
// that lists the securities whose company name contains the typed text.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "matrix/market_matrix.h"
#include "matrix/market_naming.h"

#include <QDialog>
#include <vector>

class QWidget;

namespace vorn {

class CGridStocks;

class CDialogSecurities final : public QDialog {
    Q_OBJECT
public:
    explicit CDialogSecurities(QWidget* parent = nullptr);

    CGridStocks& Grid() { return *grid_; }
    // Fills the list and shows the popup under `anchor`, kept inside its screen; hidden when
    // nothing was found.
    void ShowStocks(std::vector<const SecurityRecord*> stocks, const QWidget& anchor,
                    MarketNaming naming = {});

signals:
    void stockActivated(const vorn::SecurityRecord* security);
    // The popup or its list lost the focus, or the user dismissed it.
    void focusLeft();

private:
    CGridStocks* grid_ = nullptr;
};

} // namespace vorn
