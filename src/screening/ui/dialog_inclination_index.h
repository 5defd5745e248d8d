#pragma once
// "傾斜指標のスクリーニング": the parameters of the inclination index and the bounds of its
// current-day and previous-day tests.
#include <QDialog>

#include "screening/screening_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vorn {

class CDialogInclinationIndex : public QDialog {
    Q_OBJECT
public:
    // Both records are written only on OK.
    CDialogInclinationIndex(InclinationParameters& parameters, InclinationCondition& condition,
                            QWidget* parent = nullptr);

    QLineEdit* DaysEdit() const { return days_; }
    QComboBox* PriceCombo() const { return price_; }
    QLineEdit* BandsEdit() const { return bands_; }
    QLineEdit* AnalysedBandsEdit() const { return analysedBands_; }
    QCheckBox* CurrentCheck() const { return current_; }
    QCheckBox* PreviousCheck() const { return previous_; }
    QLineEdit* CurrentLowerEdit() const { return currentLower_; }
    QLineEdit* CurrentUpperEdit() const { return currentUpper_; }
    QLineEdit* PreviousLowerEdit() const { return previousLower_; }
    QLineEdit* PreviousUpperEdit() const { return previousUpper_; }

public slots:
    void accept() override;

private:
    InclinationParameters& parameters_;
    InclinationCondition& condition_;
    QLineEdit* days_;
    QComboBox* price_;
    QLineEdit* bands_;
    QLineEdit* analysedBands_;
    QCheckBox* previous_;
    QLineEdit* previousLower_;
    QLineEdit* previousUpper_;
    QCheckBox* current_;
    QLineEdit* currentLower_;
    QLineEdit* currentUpper_;
};

} // namespace vorn
