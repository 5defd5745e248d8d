#include "gaps/ui/tool_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>

namespace vorn {
namespace {

constexpr int kCascadeMargin = 24;
constexpr int kCascadeTop = 140;
constexpr int kCascadeStep = 36;

} // namespace

CToolWindow::CToolWindow(std::uintptr_t identifier, IMessageSink* owner, bool keepOpenOnKeys,
                         QWidget* parent)
    : QDialog(parent, Qt::Tool), identifier_(identifier), owner_(owner),
      keepOpenOnKeys_(keepOpenOnKeys) {
    setModal(false);
}

void CToolWindow::reject() {
    close();
}

void CToolWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placed_)
        return;
    placed_ = true;
    // First shown: cascaded from the top right of the main window by the window's bit, so
    // that the tool windows do not cover one another.
    const QWidget* main = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (main == nullptr)
        return;
    int index = 0;
    for (std::uintptr_t bit = identifier_; bit > 1; bit >>= 1)
        ++index;
    const QRect frame = main->geometry();
    QPoint at(frame.right() - width() - kCascadeMargin - index * kCascadeStep,
              frame.top() + kCascadeTop + index * kCascadeStep);
    if (const QScreen* screen = main->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(at);
}

void CToolWindow::hideEvent(QHideEvent* event) {
    // Shown again, the window comes back where the user left it.
    saved_ = geometry();
    QDialog::hideEvent(event);
}

void CToolWindow::setVisible(bool visible) {
    if (visible && placed_ && saved_.isValid() && !isVisible())
        setGeometry(saved_);
    QDialog::setVisible(visible);
}

void CToolWindow::closeEvent(QCloseEvent* event) {
    // The window lives as long as the view; closing it only hides it. A window that is
    // already hidden has been reported (or was never shown) and is not reported again.
    event->accept();
    const bool wasVisible = isVisible();
    hide();
    if (wasVisible && owner_ != nullptr)
        owner_->Post(kMsgToolWindowClosed, identifier_, 0);
}

void CToolWindow::keyPressEvent(QKeyEvent* event) {
    // Escape always closes (reject); Enter would press a default button.
    if (keepOpenOnKeys_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vorn
