#include "shell/dialog_matrix_downloader.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/grid_matrixes.h"

namespace vorn {

CDialogMatrixDownloader::CDialogMatrixDownloader(const MatrixIndex& index, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("マーケットマトリクスのダウンロード"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("分析に用いる株式情報を選択して下さい"), this));
    grid_ = new CGridMatrixes(this);
    grid_->SetPackages(index.packages);
    layout->addWidget(grid_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* choose = new QPushButton(QStringLiteral("選択"), this);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    choose->setDefault(true);
    buttons->addWidget(choose);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    resize(560, 260);
    connect(choose, &QPushButton::clicked, this, &CDialogMatrixDownloader::Take);
    connect(grid_, &CGridMatrixes::packageActivated, this, &CDialogMatrixDownloader::Take);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CDialogMatrixDownloader::Take() {
    years_ = grid_->SelectedYears();
    if (years_ == 0)
        reject();
    else
        accept();
}

unsigned CDialogMatrixDownloader::Choose() {
    years_ = 0;
    return exec() == QDialog::Accepted ? years_ : 0;
}

} // namespace vorn
