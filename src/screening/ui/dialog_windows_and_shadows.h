#pragma once
// "スクリーニング [窓・ひげ]": the seven window and shadow tests of the last day, each with an
// optional lower and upper bound in percent of the last close.
#include <QDialog>
#include <array>

#include "screening/screening_settings.h"

class QCheckBox;
class QLineEdit;

namespace vorn {

class CDialogWindowsAndShadows : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTestCount = 7;

    // Written only on OK; the group's on bit (bit 31) is the tool bar's and is kept.
    explicit CDialogWindowsAndShadows(WindowsAndShadows& tests, QWidget* parent = nullptr);

    QCheckBox* TestCheck(int test) const { return checks_[test]; }
    QLineEdit* LowerEdit(int test) const { return lowers_[test]; }
    QLineEdit* UpperEdit(int test) const { return uppers_[test]; }
    QCheckBox* NoWindowAboveCheck() const { return noWindowAbove_; }
    QCheckBox* NoWindowBelowCheck() const { return noWindowBelow_; }
    QCheckBox* BlackBodyCheck() const { return blackBody_; }

public slots:
    void accept() override;

private:
    WindowsAndShadows& tests_;
    std::array<QCheckBox*, kTestCount> checks_{};
    std::array<QLineEdit*, kTestCount> lowers_{};
    std::array<QLineEdit*, kTestCount> uppers_{};
    QCheckBox* noWindowAbove_;
    QCheckBox* noWindowBelow_;
    QCheckBox* blackBody_;
};

} // namespace vorn
