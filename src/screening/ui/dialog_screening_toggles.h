#pragma once
// The small dialogs of the screening tool bar that hold one family of toggle buttons (markets,
// sectors, laws, positions, options, candle shapes) and its "all" and "none" buttons. Every
// toggle posts its change at once, so the list follows while the dialog is open.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <vector>

#include "screening/ui/toggle_button.h"

class QGridLayout;
class QHBoxLayout;

namespace vorn {

struct ToggleItem {
    QString label;
    QString toolTip;
    std::intptr_t value = 0; // lParam of the toggle's message
    bool checked = false;
};

class CDialogScreeningToggles : public QDialog {
    Q_OBJECT
public:
    CDialogScreeningToggles(const QString& title, const std::vector<ToggleItem>& items, int columns,
                            QObject* target, std::uint32_t message, QWidget* parent = nullptr);

    // A push button that checks (or unchecks) every toggle and then runs `action`.
    QPushButton* AddSetAllButton(const QString& label, bool checkAll, std::function<void()> action);

    int ToggleCount() const { return static_cast<int>(toggles_.size()); }
    CToggleButton* Toggle(int index) const { return toggles_[static_cast<std::size_t>(index)]; }

private:
    std::vector<CToggleButton*> toggles_;
    QHBoxLayout* buttons_;
};

} // namespace vorn
