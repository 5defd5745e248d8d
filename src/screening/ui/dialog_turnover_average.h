#pragma once
// "売買代金平均のスクリーニング": the two windows of the trading-value average and the bounds of
// the ratio between them.
#include <QDialog>

#include "screening/screening_settings.h"

class QCheckBox;
class QLineEdit;

namespace vorn {

class CDialogTurnoverAverage : public QDialog {
    Q_OBJECT
public:
    // Both records are written only on OK.
    CDialogTurnoverAverage(TurnoverParameters& parameters, ScreeningRange& ratio,
                           QWidget* parent = nullptr);

    QLineEdit* EvaluationDaysEdit() const { return evaluationDays_; }
    QLineEdit* BaseDaysEdit() const { return baseDays_; }
    QCheckBox* RatioCheck() const { return ratioOn_; }
    QLineEdit* LowerEdit() const { return lower_; }
    QLineEdit* UpperEdit() const { return upper_; }

public slots:
    void accept() override;

private:
    TurnoverParameters& parameters_;
    ScreeningRange& ratio_;
    QLineEdit* evaluationDays_;
    QLineEdit* baseDays_;
    QCheckBox* ratioOn_;
    QLineEdit* lower_;
    QLineEdit* upper_;
};

} // namespace vorn
