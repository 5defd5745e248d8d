#include "gaps/ui/dialog_law_performance.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace vorn {
namespace {

// Space, page up and down, end, home and the four arrows.
bool IsNavigationKey(int key) {
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

} // namespace

CDialogLawPerformance::CDialogLawPerformance(const AnalysisResults& results, IMessageSink* owner,
                                             QWidget* parent)
    : CToolWindow(kLawPerformanceClosed, owner, true, parent) {
    setWindowTitle(QString::fromUtf8(kLawPerformanceTitle));
    setToolTip(QString::fromUtf8(kLawPerformanceToolTip));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    panel_ = new CLawPerformance(results, this);
    layout->addWidget(panel_);
    resize(panel_->sizeHint());
}

bool CDialogLawPerformance::SetListing(const SecurityRecord* security, MarketNaming naming) {
    if (!panel_->SetListing(security, naming))
        return false;
    setWindowTitle(QString::fromStdString(panel_->Model().Title()));
    return true;
}

void CDialogLawPerformance::SetForwarding(QWidget* mainWindow, std::function<int()> displayMode,
                                          std::function<QWidget*()> contentsWindow) {
    mainWindow_ = mainWindow;
    displayMode_ = std::move(displayMode);
    contentsWindow_ = std::move(contentsWindow);
}

void CDialogLawPerformance::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->accept(); // the panel does not close on them
        return;
    }
    const int mode = displayMode_ ? displayMode_() : -1;
    QWidget* target = nullptr;
    if (mode == 0 && IsNavigationKey(key))
        target = mainWindow_;
    else if (mode == 1 && contentsWindow_)
        target = contentsWindow_();
    if (target != nullptr && target != this) {
        QKeyEvent copy(event->type(), key, event->modifiers(), event->text(), event->isAutoRepeat(),
                       static_cast<ushort>(event->count()));
        QCoreApplication::sendEvent(target, &copy);
    }
    event->accept();
}

void CDialogLawPerformance::wheelEvent(QWheelEvent* event) {
    if (mainWindow_ != nullptr && mainWindow_ != this) {
        QWheelEvent copy(event->position(), event->globalPosition(), event->pixelDelta(),
                         event->angleDelta(), event->buttons(), event->modifiers(), event->phase(),
                         event->inverted());
        QCoreApplication::sendEvent(mainWindow_, &copy);
    }
    event->accept();
}

} // namespace vorn
