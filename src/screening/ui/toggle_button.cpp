#include "screening/ui/toggle_button.h"

#include "ui_base/posted_message.h"

namespace vorn {

CToggleButton::CToggleButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QPushButton::clicked, this, &CToggleButton::OnClicked);
    connect(this, &QPushButton::toggled, this, [this](bool) { ShowState(); });
    ShowState();
}

void CToggleButton::Configure(QObject* target, std::uint32_t message, std::intptr_t value) {
    target_ = target;
    message_ = message;
    value_ = value;
}

void CToggleButton::SetColours(ColorRef checkedText, ColorRef uncheckedText) {
    checkedText_ = checkedText;
    uncheckedText_ = uncheckedText;
    ShowState();
}

void CToggleButton::SetCheckedQuietly(bool checked) {
    const QSignalBlocker blocker(this);
    setChecked(checked);
    ShowState();
}

void CToggleButton::OnClicked(bool checked) {
    if (target_ && message_ != 0)
        CPostedMessage::Post(target_.data(), message_, checked ? 1 : 0, value_);
    emit switched(checked);
}

void CToggleButton::ShowState() {
    const QColor text = ToQColor(isChecked() ? checkedText_ : uncheckedText_);
    const QColor face = isChecked() ? QColor(0x30, 0x50, 0x80) : QColor(0x30, 0x30, 0x30);
    setStyleSheet(QStringLiteral("QPushButton { color: %1; background-color: %2; "
                                 "border: 1px solid #606060; padding: 2px 6px; }")
                      .arg(text.name(), face.name()));
}

} // namespace vorn
