#include "shell/dialog_securities.h"

#include <QScreen>
#include <QVBoxLayout>

#include "shell/grid_stocks.h"

namespace vorn {
namespace {

constexpr double kOpacity = 220.0 / 255.0;
constexpr int kPopupWidth = 420;
constexpr int kPopupHeight = 240;

} // namespace

CDialogSecurities::CDialogSecurities(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint) {
    setWindowOpacity(kOpacity);
    // Typing goes on in the name box while the list shows under it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    grid_ = new CGridStocks(this);
    layout->addWidget(grid_);
    resize(kPopupWidth, kPopupHeight);
    connect(grid_, &CGridStocks::stockActivated, this, [this](const SecurityRecord* security) {
        Close();
        emit stockActivated(security);
    });
    connect(grid_, &CGridStocks::dismissed, this, [this] {
        // Closed on purpose (a choice, Escape): the list losing the focus is no dismissal.
        if (!isVisible() || closing_)
            return;
        hide();
        emit focusLeft();
    });
}

void CDialogSecurities::Close() {
    closing_ = true;
    hide();
    closing_ = false;
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
