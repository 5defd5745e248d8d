#pragma once
// "特定銘柄の設定": moves securities between the selectable lists and the screening's preferred
// ("優先銘柄") and excluded ("除外銘柄") sets.
#include <array>
#include <set>

// The core headers come before Qt's, which defines `slots` and `signals` as macros.
#include "matrix/market_matrix.h"
#include "screening/screening_settings.h"

#include <QDialog>

class QTabBar;
class QPushButton;

namespace vorn {

class CGridListings;

class CDialogSecuritySelector : public QDialog {
    Q_OBJECT
public:
    // Set identities: 1 selectable for preferred, 2 preferred, 3 selectable for excluded,
    // 4 excluded.
    enum SetIdentity : int {
        kSelectablePreferred = 1,
        kPreferred = 2,
        kSelectableExcluded = 3,
        kExcluded = 4
    };

    // Both must outlive the dialog; `settings` gets the two sets on OK only.
    CDialogSecuritySelector(const CMarketMatrix& matrix, ScreeningSettings& settings,
                            QWidget* parent = nullptr);

    const std::set<SecurityKey>& Set(int identity) const { return sets_[identity - 1]; }
    QTabBar* Tabs() const { return tabs_; }
    CGridListings* LeftList() const { return left_; }
    CGridListings* RightList() const { return right_; }
    QPushButton* ClearButton() const { return clear_; }

    // Moves the selected rows of the list with this identity to the other list of its pair.
    void MoveSelected(int identity);
    // "クリア": the current tab's chosen securities go back to its selectable set.
    void ClearChosen();

public slots:
    void accept() override;

protected:
    void customEvent(QEvent* event) override;

private:
    void ShowTab(int tab);
    void Reload();

    const CMarketMatrix& matrix_;
    ScreeningSettings& settings_;
    std::array<std::set<SecurityKey>, 4> sets_;
    QTabBar* tabs_;
    CGridListings* left_;
    CGridListings* right_;
    QPushButton* clear_;
};

} // namespace vorn
