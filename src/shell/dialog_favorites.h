#pragma once
// Tidies the favourites: removes chosen entries or all of them. Only favourites the matrix
// holds are listed; the others stay in the set untouched.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "matrix/market_matrix.h"
#include "screening/security_key_set.h"

#include <QDialog>

class QListWidget;

namespace vorn {

class CDialogFavorites final : public QDialog {
    Q_OBJECT
public:
    CDialogFavorites(SecurityKeySet& favorites, const CMarketMatrix& matrix,
                     QWidget* parent = nullptr);

    QListWidget& List() { return *list_; }
    // "削除": the selected rows leave the set.
    void RemoveSelected();
    // "クリア": the set is emptied.
    void ClearAll();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fill();

    SecurityKeySet& favorites_;
    const CMarketMatrix& matrix_;
    QListWidget* list_ = nullptr;
};

} // namespace vorn
