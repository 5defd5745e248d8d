#include "screening/ui/dialog_screening_toggles.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vorn {

CDialogScreeningToggles::CDialogScreeningToggles(const QString& title,
                                                 const std::vector<ToggleItem>& items, int columns,
                                                 QObject* target, std::uint32_t message,
                                                 QWidget* parent)
    : QDialog(parent), buttons_(new QHBoxLayout) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    columns = columns < 1 ? 1 : columns;
    for (const ToggleItem& item : items) {
        auto* toggle = new CToggleButton(item.label, this);
        toggle->setToolTip(item.toolTip);
        toggle->Configure(target, message, item.value);
        toggle->SetCheckedQuietly(item.checked);
        const int index = static_cast<int>(toggles_.size());
        grid->addWidget(toggle, index / columns, index % columns);
        toggles_.push_back(toggle);
    }
    layout->addLayout(grid);
    buttons_->addStretch();
    layout->addLayout(buttons_);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    close->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(close);
}

QPushButton* CDialogScreeningToggles::AddSetAllButton(const QString& label, bool checkAll,
                                                      std::function<void()> action) {
    auto* button = new QPushButton(label, this);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, checkAll, action = std::move(action)] {
        for (CToggleButton* toggle : toggles_)
            toggle->SetCheckedQuietly(checkAll);
        if (action)
            action();
    });
    buttons_->insertWidget(buttons_->count() - 1, button);
    return button;
}

} // namespace vorn
