#include "screening/ui/dialog_turnover_average.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "screening/ui/dialog_fields.h"

namespace vorn {

CDialogTurnoverAverage::CDialogTurnoverAverage(TurnoverParameters& parameters,
                                               ScreeningRange& ratio, QWidget* parent)
    : QDialog(parent), parameters_(parameters), ratio_(ratio), evaluationDays_(new QLineEdit(this)),
      baseDays_(new QLineEdit(this)), ratioOn_(new QCheckBox(QStringLiteral("比率"), this)),
      lower_(new QLineEdit(this)), upper_(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("売買代金平均のスクリーニング"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("評価日数："), this), 0, 0);
    grid->addWidget(evaluationDays_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("基準日数："), this), 1, 0);
    grid->addWidget(baseDays_, 1, 1);
    grid->addWidget(ratioOn_, 2, 0);
    grid->addWidget(lower_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("％以上"), this), 2, 2);
    grid->addWidget(upper_, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("％以下"), this), 2, 4);
    layout->addLayout(grid);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
    evaluationDays_->setMaxLength(4);
    baseDays_->setMaxLength(4);
    lower_->setMaxLength(7);
    upper_->setMaxLength(7);

    evaluationDays_->setText(
        QString::number(parameters.evaluationDays == 0 ? 3 : parameters.evaluationDays));
    baseDays_->setText(QString::number(parameters.baseDays == 0 ? 15 : parameters.baseDays));
    ratioOn_->setChecked(ratio.IsOn());
    lower_->setText(NumberText(ratio.HasLower(), ratio.lower));
    upper_->setText(NumberText(ratio.HasUpper(), ratio.upper));
}

void CDialogTurnoverAverage::accept() {
    const auto evaluationDays = ReadCount(evaluationDays_);
    if (!evaluationDays)
        return RefuseField(evaluationDays_);
    const auto baseDays = ReadCount(baseDays_);
    if (!baseDays)
        return RefuseField(baseDays_);
    parameters_.evaluationDays = *evaluationDays;
    parameters_.baseDays = *baseDays;

    // Only the flags this dialog owns change; the rank mode and others stay as they were.
    ratio_.flags &= static_cast<std::uint8_t>(~(kRangeOn | kRangeLowerSet | kRangeUpperSet));
    if (ratioOn_->isChecked())
        ratio_.flags |= kRangeOn;
    const auto lower = ReadNumber(lower_);
    ratio_.lower = lower.value_or(0.0);
    if (lower)
        ratio_.flags |= kRangeLowerSet;
    const auto upper = ReadNumber(upper_);
    ratio_.upper = upper.value_or(0.0);
    if (upper)
        ratio_.flags |= kRangeUpperSet;
    QDialog::accept();
}

} // namespace vorn
