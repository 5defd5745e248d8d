#include "gaps/ui/tool_window.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace vorn {

CToolWindow::CToolWindow(std::uintptr_t identifier, IMessageSink* owner, bool keepOpenOnKeys,
                         QWidget* parent)
    : QDialog(parent, Qt::Tool), identifier_(identifier), owner_(owner),
      keepOpenOnKeys_(keepOpenOnKeys) {
    setModal(false);
}

void CToolWindow::reject() {
    if (!keepOpenOnKeys_)
        close();
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
    if (keepOpenOnKeys_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                            event->key() == Qt::Key_Escape)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vorn
