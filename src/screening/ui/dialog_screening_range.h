#pragma once
// The dialog of one range group: value or rank mode and the two optional bounds. In rank mode
// the first field holds the first rank (stored as the upper bound) and the second the last rank
// (stored as the lower bound). OK with a bound switches the group on; its tool bar toggle
// switches it off again.
#include <QDialog>

#include "screening/screening_settings.h"

class QLineEdit;
class QRadioButton;
class QLabel;

namespace vorn {

class CDialogScreeningRange : public QDialog {
    Q_OBJECT
public:
    // `range` is written only on OK.
    CDialogScreeningRange(int group, ScreeningRange& range, QWidget* parent = nullptr);

    QLineEdit* FromEdit() const { return from_; }
    QLineEdit* ToEdit() const { return to_; }
    QRadioButton* RankButton() const { return rankMode_; }
    // Why the last OK was refused; empty when it was not.
    QLabel* MessageLabel() const { return message_; }

public slots:
    void accept() override;

private:
    void ShowUnits();
    // False (the focus on the field and the reason beside it) when the text is neither empty
    // nor a number.
    bool ReadBound(QLineEdit* edit, bool rank, bool& set, double& value);

    int group_;
    ScreeningRange& range_;
    QRadioButton* valueMode_;
    QRadioButton* rankMode_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLabel* fromUnit_;
    QLabel* toUnit_;
    QLabel* message_;
};

} // namespace vorn
