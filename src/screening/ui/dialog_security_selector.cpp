#include "screening/ui/dialog_security_selector.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

#include "screening/ui/grid_listings.h"
#include "ui_base/posted_message.h"

namespace vorn {

CDialogSecuritySelector::CDialogSecuritySelector(const CMarketMatrix& matrix,
                                                 ScreeningSettings& settings, QWidget* parent)
    : QDialog(parent), matrix_(matrix), settings_(settings), tabs_(new QTabBar(this)),
      left_(new CGridListings(matrix, kSelectablePreferred, this)),
      right_(new CGridListings(matrix, kPreferred, this)),
      clear_(new QPushButton(QStringLiteral("クリア"), this)) {
    setWindowTitle(QStringLiteral("特定銘柄の設定"));
    sets_[kPreferred - 1].insert(settings.preferred.begin(), settings.preferred.end());
    sets_[kExcluded - 1].insert(settings.excluded.begin(), settings.excluded.end());
    for (const auto& [key, security] : matrix.Securities()) {
        if (sets_[kPreferred - 1].count(key) == 0)
            sets_[kSelectablePreferred - 1].insert(sets_[kSelectablePreferred - 1].end(), key);
        if (sets_[kExcluded - 1].count(key) == 0)
            sets_[kSelectableExcluded - 1].insert(sets_[kSelectableExcluded - 1].end(), key);
    }

    auto* layout = new QVBoxLayout(this);
    tabs_->addTab(QStringLiteral("優先銘柄"));
    tabs_->addTab(QStringLiteral("除外銘柄"));
    layout->addWidget(tabs_);
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("選択可能な銘柄："), this), 0, 0);
    lists->addWidget(new QLabel(QStringLiteral("選択された銘柄："), this), 0, 1);
    lists->addWidget(left_, 1, 0);
    lists->addWidget(right_, 1, 1);
    layout->addLayout(lists);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    buttons->addWidget(clear_);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    clear_->setAutoDefault(false);
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    resize(640, 480);

    for (CGridListings* list : {left_, right_}) {
        list->Rebuild();
        list->SetNotifyTarget(this, kMsgMoveListings);
    }
    connect(tabs_, &QTabBar::currentChanged, this, &CDialogSecuritySelector::ShowTab);
    connect(clear_, &QPushButton::clicked, this, &CDialogSecuritySelector::ClearChosen);
    connect(ok, &QPushButton::clicked, this, &CDialogSecuritySelector::accept);
    connect(cancel, &QPushButton::clicked, this, &CDialogSecuritySelector::reject);
    ShowTab(0);
}

void CDialogSecuritySelector::ShowTab(int tab) {
    const int first = tab == 1 ? kSelectableExcluded : kSelectablePreferred;
    left_->SetIdentity(first);
    right_->SetIdentity(first + 1);
    Reload();
}

void CDialogSecuritySelector::Reload() {
    for (CGridListings* list : {left_, right_}) {
        const auto& keys = sets_[list->Identity() - 1];
        list->Load(std::vector<SecurityKey>(keys.begin(), keys.end()));
    }
}

void CDialogSecuritySelector::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType())
        return QDialog::customEvent(event);
    const auto* message = static_cast<const CPostedMessage*>(event);
    if (message->Message() == kMsgMoveListings)
        MoveSelected(static_cast<int>(message->WParam()));
}

void CDialogSecuritySelector::MoveSelected(int identity) {
    if (identity < kSelectablePreferred || identity > kExcluded)
        return;
    CGridListings* list = left_->Identity() == identity    ? left_
                          : right_->Identity() == identity ? right_
                                                           : nullptr;
    if (list == nullptr)
        return; // the tab changed since the message was posted
    // 1 <-> 2 and 3 <-> 4.
    const int target = identity % 2 == 1 ? identity + 1 : identity - 1;
    auto& from = sets_[identity - 1];
    auto& to = sets_[target - 1];
    const std::vector<SecurityKey> keys = list->SelectedKeys();
    if (keys.empty())
        return;
    for (SecurityKey key : keys) {
        to.insert(key);
        from.erase(key);
    }
    Reload();
}

void CDialogSecuritySelector::ClearChosen() {
    const int chosen = right_->Identity();
    auto& from = sets_[chosen - 1];
    sets_[chosen - 2].insert(from.begin(), from.end());
    from.clear();
    Reload();
}

void CDialogSecuritySelector::accept() {
    settings_.preferred.Assign(
        std::vector<SecurityKey>(sets_[kPreferred - 1].begin(), sets_[kPreferred - 1].end()));
    settings_.excluded.Assign(
        std::vector<SecurityKey>(sets_[kExcluded - 1].begin(), sets_[kExcluded - 1].end()));
    QDialog::accept();
}

} // namespace vorn
