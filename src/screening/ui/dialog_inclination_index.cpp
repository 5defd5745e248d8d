#include "screening/ui/dialog_inclination_index.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "screening/ui/condition_texts.h"
#include "screening/ui/dialog_fields.h"
#include "technical/technical.h"

namespace vorn {
namespace {

constexpr std::uint8_t kSelectors[] = {kSelectorOpen, kSelectorHigh, kSelectorMiddle, kSelectorLow,
                                       kSelectorClose};

QLineEdit* MakeEdit(QWidget* parent, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    return edit;
}

// Reads an optional bound: empty clears it, a number sets it; false for anything else.
bool ReadBound(QLineEdit* edit, bool& set, double& value) {
    set = !edit->text().trimmed().isEmpty();
    if (!set)
        return true;
    const auto number = ReadNumber(edit);
    if (!number) {
        RefuseField(edit);
        return false;
    }
    value = *number;
    return true;
}

} // namespace

CDialogInclinationIndex::CDialogInclinationIndex(InclinationParameters& parameters,
                                                 InclinationCondition& condition, QWidget* parent)
    : QDialog(parent), parameters_(parameters), condition_(condition), days_(MakeEdit(this, 4)),
      price_(new QComboBox(this)), bands_(MakeEdit(this, 3)), analysedBands_(MakeEdit(this, 3)),
      previous_(new QCheckBox(QStringLiteral("前日"), this)), previousLower_(MakeEdit(this, 7)),
      previousUpper_(MakeEdit(this, 7)), current_(new QCheckBox(QStringLiteral("当日"), this)),
      currentLower_(MakeEdit(this, 7)), currentUpper_(MakeEdit(this, 7)) {
    setWindowTitle(QStringLiteral("傾斜指標のスクリーニング"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("日数："), this), 0, 0);
    grid->addWidget(days_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("株価："), this), 1, 0);
    grid->addWidget(price_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("価格帯分割数："), this), 2, 0);
    grid->addWidget(bands_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("分析価格帯数："), this), 3, 0);
    grid->addWidget(analysedBands_, 3, 1);
    grid->addWidget(previous_, 4, 0);
    grid->addWidget(previousLower_, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("％以上"), this), 4, 2);
    grid->addWidget(previousUpper_, 4, 3);
    grid->addWidget(new QLabel(QStringLiteral("％以下"), this), 4, 4);
    grid->addWidget(current_, 5, 0);
    grid->addWidget(currentLower_, 5, 1);
    grid->addWidget(new QLabel(QStringLiteral("％以上"), this), 5, 2);
    grid->addWidget(currentUpper_, 5, 3);
    grid->addWidget(new QLabel(QStringLiteral("％以下"), this), 5, 4);
    layout->addLayout(grid);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);

    for (std::uint8_t selector : kSelectors)
        price_->addItem(QString::fromUtf8(PriceSelectorLabel(selector)), selector);
    const int stored = price_->findData(parameters.priceSelector);
    price_->setCurrentIndex(stored >= 0 ? stored : price_->findData(kSelectorClose));
    days_->setText(
        QString::number(parameters.days == 0 ? kDefaultInclinationDays : parameters.days));
    bands_->setText(QString::number(parameters.bands == 0 || parameters.bands >= kBandCountLimit
                                        ? kDefaultPriceBands
                                        : parameters.bands));
    analysedBands_->setText(
        QString::number(parameters.analysedBands == 0 || parameters.analysedBands >= kBandCountLimit
                            ? kDefaultAnalysedBands
                            : parameters.analysedBands));
    current_->setChecked((condition.flags & kInclinationCurrentOn) != 0);
    previous_->setChecked((condition.flags & kInclinationPreviousOn) != 0);
    currentLower_->setText(
        NumberText((condition.flags & kInclinationCurrentLowerSet) != 0, condition.currentLower));
    currentUpper_->setText(
        NumberText((condition.flags & kInclinationCurrentUpperSet) != 0, condition.currentUpper));
    previousLower_->setText(
        NumberText((condition.flags & kInclinationPreviousLowerSet) != 0, condition.previousLower));
    previousUpper_->setText(
        NumberText((condition.flags & kInclinationPreviousUpperSet) != 0, condition.previousUpper));
}

void CDialogInclinationIndex::accept() {
    const auto days = ReadCount(days_);
    if (!days)
        return RefuseField(days_);
    if (price_->currentIndex() < 0) {
        price_->setFocus();
        return;
    }
    const auto bands = ReadCount(bands_);
    if (!bands)
        return RefuseField(bands_);
    const auto analysedBands = ReadCount(analysedBands_);
    if (!analysedBands)
        return RefuseField(analysedBands_);

    InclinationCondition result = condition_;
    bool currentLowerSet = false, currentUpperSet = false;
    bool previousLowerSet = false, previousUpperSet = false;
    if (!ReadBound(currentLower_, currentLowerSet, result.currentLower) ||
        !ReadBound(currentUpper_, currentUpperSet, result.currentUpper) ||
        !ReadBound(previousLower_, previousLowerSet, result.previousLower) ||
        !ReadBound(previousUpper_, previousUpperSet, result.previousUpper))
        return;
    if (currentLowerSet && currentUpperSet && result.currentUpper < result.currentLower)
        return RefuseField(currentLower_);
    if (previousLowerSet && previousUpperSet && result.previousUpper < result.previousLower)
        return RefuseField(previousLower_);

    result.flags = 0;
    if (current_->isChecked())
        result.flags |= kInclinationCurrentOn;
    if (previous_->isChecked())
        result.flags |= kInclinationPreviousOn;
    if (currentLowerSet)
        result.flags |= kInclinationCurrentLowerSet;
    if (currentUpperSet)
        result.flags |= kInclinationCurrentUpperSet;
    if (previousLowerSet)
        result.flags |= kInclinationPreviousLowerSet;
    if (previousUpperSet)
        result.flags |= kInclinationPreviousUpperSet;
    condition_ = result;
    parameters_.days = *days;
    parameters_.priceSelector = static_cast<std::uint8_t>(price_->currentData().toUInt());
    parameters_.bands = *bands;
    parameters_.analysedBands = *analysedBands;
    QDialog::accept();
}

} // namespace vorn
