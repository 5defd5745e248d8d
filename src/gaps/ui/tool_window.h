#pragma once
// The base of the tool windows beside the gap chart: non-modal, owned by the main view, and
// closing one only hides it and tells the view (message 1027 with the window's identifier)
// so that the view can clear the window's panel bit.
#include <QDialog>
#include <QRect>
#include <cstdint>

#include "foundation/message_sink.h"

namespace vorn {

constexpr std::uint32_t kMsgToolWindowClosed = kWmUser + 3; // 1027

class CToolWindow : public QDialog {
    Q_OBJECT
public:
    // `owner` (may be null) receives 1027 with `identifier` whenever the window is closed.
    // With `keepOpenOnKeys`, Enter does nothing rather than close the window; Escape closes
    // every tool window.
    CToolWindow(std::uintptr_t identifier, IMessageSink* owner, bool keepOpenOnKeys,
                QWidget* parent = nullptr);

    std::uintptr_t Identifier() const { return identifier_; }

    // Escape ends up here: it closes the window like its close button, so the owner hears
    // of it, unless the window keeps open on keys.
    void reject() override;
    void accept() override { reject(); }
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::uintptr_t identifier_;
    IMessageSink* owner_;
    bool keepOpenOnKeys_;
    bool placed_ = false; // cascaded on the first show
    QRect saved_;         // where the window was when last hidden
};

} // namespace vorn
