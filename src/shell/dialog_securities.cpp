#include "shell/dialog_securities.h"

#include <QScreen>
#include <QVBoxLayout>

#include "shell/grid_stocks.h"

namespace vorn {
namespace {

constexpr double kOpacity = 220.0 / 255.0;
constexpr int kPopupWidth = 320;
constexpr int kPopupHeight = 240;

} // namespace

CDialogSecurities::CDialogSecurities(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint) {
    setWindowOpacity(kOpacity);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    grid_ = new CGridStocks(this);
    layout->addWidget(grid_);
    resize(kPopupWidth, kPopupHeight);
    connect(grid_, &CGridStocks::stockActivated, this, [this](const SecurityRecord* security) {
        hide();
        emit stockActivated(security);
    });
    connect(grid_, &CGridStocks::dismissed, this, [this] {
        if (!isVisible())
            return;
        hide();
        emit focusLeft();
    });
}

void CDialogSecurities::ShowStocks(std::vector<const SecurityRecord*> stocks, const QWidget& anchor,
                                   MarketNaming naming) {
    grid_->SetStocks(std::move(stocks), naming);
    if (grid_->RowCount() == 0) {
        hide();
        return;
    }
    QPoint at = anchor.mapToGlobal(QPoint(0, anchor.height()));
    if (const QScreen* screen = anchor.screen()) {
        const QRect desktop = screen->availableGeometry();
        at.setX(std::clamp(at.x(), desktop.left(),
                           std::max(desktop.left(), desktop.right() - width() + 1)));
        at.setY(std::clamp(at.y(), desktop.top(),
                           std::max(desktop.top(), desktop.bottom() - height() + 1)));
    }
    move(at);
    show();
}

} // namespace vorn
