#pragma once
// Asks the user which full package of the market matrix to download.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/matrix_index.h"

#include <QDialog>

namespace vorn {

class CGridMatrixes;

class CDialogMatrixDownloader final : public QDialog {
    Q_OBJECT
public:
    CDialogMatrixDownloader(const MatrixIndex& index, QWidget* parent = nullptr);

    // Runs the dialog; the chosen package's years, 0 when cancelled or nothing was chosen.
    unsigned Choose();
    CGridMatrixes& Grid() { return *grid_; }

private:
    void Take();

    CGridMatrixes* grid_ = nullptr;
    unsigned years_ = 0;
};

} // namespace vorn
