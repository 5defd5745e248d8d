#pragma once
// A check button of the screening tool bar that shows its state by colour and reports every
// change the user makes as a posted message: wParam 1 when it became checked, 0 when it became
// unchecked, and its configured value in lParam.
#include <QPointer>
#include <QPushButton>
#include <cstdint>

#include "ui_base/graphic_manager.h"

namespace vorn {

class CToggleButton : public QPushButton {
    Q_OBJECT
public:
    explicit CToggleButton(const QString& text, QWidget* parent = nullptr);

    // Where clicks go; without a target (or with message 0) nothing is posted.
    void Configure(QObject* target, std::uint32_t message, std::intptr_t value);
    void SetColours(ColorRef checkedText, ColorRef uncheckedText);
    // Shows a state that was changed elsewhere; posts nothing.
    void SetCheckedQuietly(bool checked);

    std::uint32_t Message() const { return message_; }
    std::intptr_t Value() const { return value_; }

signals:
    // Only for changes the user made.
    void switched(bool checked);

private:
    void OnClicked(bool checked);
    void ShowState();

    QPointer<QObject> target_;
    std::uint32_t message_ = 0;
    std::intptr_t value_ = 0;
    ColorRef checkedText_ = 0xFFFFFF;   // white: the condition is on
    ColorRef uncheckedText_ = 0xA9A9A9; // grey: the condition is off
};

} // namespace vorn
