#include "screening/ui/dialog_screening_range.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "screening/ui/condition_texts.h"

namespace vorn {
namespace {

constexpr double kLastRank = 65535.0;

QString BoundString(bool set, double value) {
    return set ? QString::asprintf("%g", value) : QString();
}

void Refuse(QLineEdit* edit, QLabel* message, const QString& reason) {
    message->setText(reason);
    message->show();
    edit->setFocus();
    edit->selectAll();
}

} // namespace

CDialogScreeningRange::CDialogScreeningRange(int group, ScreeningRange& range, QWidget* parent)
    : QDialog(parent), group_(group), range_(range),
      valueMode_(new QRadioButton(QStringLiteral("値"), this)),
      rankMode_(new QRadioButton(QStringLiteral("順位"), this)), from_(new QLineEdit(this)),
      to_(new QLineEdit(this)), fromUnit_(new QLabel(this)), toUnit_(new QLabel(this)),
      message_(new QLabel(this)) {
    setWindowTitle(QString::fromUtf8(RangeGroupName(group)));
    auto* layout = new QVBoxLayout(this);
    auto* modes = new QHBoxLayout;
    modes->addWidget(valueMode_);
    modes->addWidget(rankMode_);
    modes->addStretch();
    layout->addLayout(modes);
    auto* bounds = new QGridLayout;
    bounds->addWidget(from_, 0, 0);
    bounds->addWidget(fromUnit_, 0, 1);
    bounds->addWidget(to_, 1, 0);
    bounds->addWidget(toUnit_, 1, 1);
    layout->addLayout(bounds);
    message_->setStyleSheet(QStringLiteral("color: #c00000"));
    message_->setWordWrap(true);
    message_->hide();
    layout->addWidget(message_);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
    from_->setMaxLength(16);
    to_->setMaxLength(16);

    const bool ranks = RangeGroupHasRanks(group) && range.IsRankMode();
    rankMode_->setEnabled(RangeGroupHasRanks(group));
    (ranks ? rankMode_ : valueMode_)->setChecked(true);
    if (ranks) {
        from_->setText(BoundString(range.HasUpper(), range.upper));
        to_->setText(BoundString(range.HasLower(), range.lower));
    } else {
        from_->setText(BoundString(range.HasLower(), range.lower));
        to_->setText(BoundString(range.HasUpper(), range.upper));
    }
    connect(rankMode_, &QRadioButton::toggled, this, [this] { ShowUnits(); });
    ShowUnits();
}

void CDialogScreeningRange::ShowUnits() {
    if (rankMode_->isChecked()) {
        fromUnit_->setText(QStringLiteral("位から"));
        toUnit_->setText(QStringLiteral("位まで"));
    } else {
        const QString unit = QString::fromUtf8(RangeGroupUnit(group_));
        fromUnit_->setText(unit + QStringLiteral("以上"));
        toUnit_->setText(unit + QStringLiteral("以下"));
    }
}

bool CDialogScreeningRange::ReadBound(QLineEdit* edit, bool rank, bool& set, double& value) {
    const QString text = edit->text().trimmed();
    set = !text.isEmpty();
    value = 0.0;
    if (!set)
        return true;
    bool ok = false;
    value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) ||
        (rank && (value < 1.0 || value > kLastRank || value != std::floor(value)))) {
        Refuse(edit, message_,
               rank ? QStringLiteral("1から65535までの整数を入力して下さい")
                    : QStringLiteral("数値を入力して下さい"));
        return false;
    }
    return true;
}

void CDialogScreeningRange::accept() {
    const bool rank = rankMode_->isChecked();
    bool fromSet = false, toSet = false;
    double from = 0.0, to = 0.0;
    if (!ReadBound(from_, rank, fromSet, from) || !ReadBound(to_, rank, toSet, to))
        return;
    // Ranks run from the first to the last, values from the lower to the upper bound: the
    // filter would pass nothing the other way round.
    if (fromSet && toSet && to < from) {
        Refuse(from_, message_,
               rank ? QStringLiteral("始めの順位は終わりの順位以下にして下さい")
                    : QStringLiteral("下限は上限以下にして下さい"));
        return;
    }
    message_->hide();
    ScreeningRange result = range_;
    result.flags &= static_cast<std::uint8_t>(~(kRangeRankMode | kRangeLowerSet | kRangeUpperSet));
    if (rank) {
        result.flags |= kRangeRankMode;
        result.upper = fromSet ? from : range_.upper;
        result.lower = toSet ? to : range_.lower;
        if (fromSet)
            result.flags |= kRangeUpperSet;
        if (toSet)
            result.flags |= kRangeLowerSet;
    } else {
        result.lower = fromSet ? from : range_.lower;
        result.upper = toSet ? to : range_.upper;
        if (fromSet)
            result.flags |= kRangeLowerSet;
        if (toSet)
            result.flags |= kRangeUpperSet;
    }
    // A bound was given to be used: the condition is switched on with it.
    if (fromSet || toSet)
        result.flags |= kRangeOn;
    range_ = result;
    QDialog::accept();
}

} // namespace vorn
