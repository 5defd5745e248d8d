#include "screening/ui/dialog_windows_and_shadows.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "screening/ui/dialog_fields.h"

namespace vorn {
namespace {

struct TestRow {
    const char* label;
    std::uint32_t test;
    std::uint32_t lowerSet;
    std::uint32_t upperSet;
    BoundPair WindowsAndShadows::*bounds;
};

// Top to bottom as the candle is read: above it, on it, below it.
constexpr TestRow kRows[CDialogWindowsAndShadows::kTestCount] = {
    {"上の窓", kWsWindowAbove, kWsWindowAboveLowerSet, kWsWindowAboveUpperSet,
     &WindowsAndShadows::windowAbove},
    {"上の空間", kWsSpaceAbove, kWsSpaceAboveLowerSet, kWsSpaceAboveUpperSet,
     &WindowsAndShadows::spaceAbove},
    {"上ひげ", kWsUpperShadow, kWsUpperShadowLowerSet, kWsUpperShadowUpperSet,
     &WindowsAndShadows::upperShadow},
    {"実体", kWsBody, kWsBodyLowerSet, kWsBodyUpperSet, &WindowsAndShadows::body},
    {"下ひげ", kWsLowerShadow, kWsLowerShadowLowerSet, kWsLowerShadowUpperSet,
     &WindowsAndShadows::lowerShadow},
    {"下の空間", kWsSpaceBelow, kWsSpaceBelowLowerSet, kWsSpaceBelowUpperSet,
     &WindowsAndShadows::spaceBelow},
    {"下の窓", kWsWindowBelow, kWsWindowBelowLowerSet, kWsWindowBelowUpperSet,
     &WindowsAndShadows::windowBelow},
};

} // namespace

CDialogWindowsAndShadows::CDialogWindowsAndShadows(WindowsAndShadows& tests, QWidget* parent)
    : QDialog(parent), tests_(tests), noWindowAbove_(new QCheckBox(QStringLiteral("窓なし"), this)),
      noWindowBelow_(new QCheckBox(QStringLiteral("窓なし"), this)),
      blackBody_(new QCheckBox(QStringLiteral("陰線"), this)) {
    setWindowTitle(QStringLiteral("スクリーニング [窓・ひげ]"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (int test = 0; test < kTestCount; ++test) {
        const TestRow& row = kRows[test];
        checks_[test] = new QCheckBox(QString::fromUtf8(row.label), this);
        lowers_[test] = new QLineEdit(this);
        uppers_[test] = new QLineEdit(this);
        lowers_[test]->setMaxLength(7);
        uppers_[test]->setMaxLength(7);
        grid->addWidget(checks_[test], test, 0);
        grid->addWidget(lowers_[test], test, 1);
        grid->addWidget(new QLabel(QStringLiteral("％以上"), this), test, 2);
        grid->addWidget(uppers_[test], test, 3);
        grid->addWidget(new QLabel(QStringLiteral("％以下"), this), test, 4);
        const BoundPair& bounds = tests.*row.bounds;
        checks_[test]->setChecked((tests.flags & row.test) != 0);
        lowers_[test]->setText(NumberText((tests.flags & row.lowerSet) != 0, bounds.lower));
        uppers_[test]->setText(NumberText((tests.flags & row.upperSet) != 0, bounds.upper));
    }
    grid->addWidget(noWindowAbove_, 0, 5);
    grid->addWidget(blackBody_, 3, 5);
    grid->addWidget(noWindowBelow_, 6, 5);
    noWindowAbove_->setChecked((tests.flags & kWsNoWindowAbove) != 0);
    noWindowBelow_->setChecked((tests.flags & kWsNoWindowBelow) != 0);
    blackBody_->setChecked((tests.flags & kWsBlackBody) != 0);
    layout->addLayout(grid);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

void CDialogWindowsAndShadows::accept() {
    WindowsAndShadows result = tests_;
    result.flags &= kWsOn;
    for (int test = 0; test < kTestCount; ++test) {
        const TestRow& row = kRows[test];
        BoundPair& bounds = result.*row.bounds;
        const bool lowerSet = !lowers_[test]->text().trimmed().isEmpty();
        const bool upperSet = !uppers_[test]->text().trimmed().isEmpty();
        if (lowerSet) {
            const auto value = ReadNumber(lowers_[test]);
            if (!value)
                return RefuseField(lowers_[test]);
            bounds.lower = *value;
            result.flags |= row.lowerSet;
        }
        if (upperSet) {
            const auto value = ReadNumber(uppers_[test]);
            if (!value)
                return RefuseField(uppers_[test]);
            bounds.upper = *value;
            result.flags |= row.upperSet;
        }
        if (lowerSet && upperSet && bounds.upper < bounds.lower)
            return RefuseField(lowers_[test]);
        if (checks_[test]->isChecked())
            result.flags |= row.test;
    }
    if (noWindowAbove_->isChecked())
        result.flags |= kWsNoWindowAbove;
    if (noWindowBelow_->isChecked())
        result.flags |= kWsNoWindowBelow;
    if (blackBody_->isChecked())
        result.flags |= kWsBlackBody;
    tests_ = result;
    QDialog::accept();
}

} // namespace vorn
