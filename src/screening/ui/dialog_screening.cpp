#include "screening/ui/dialog_screening.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/text_encoding.h"
#include "screening/ui/grid_screening_filters.h"

namespace vorn {

CDialogScreening::CDialogScreening(Mode mode, CSavedScreenings& saved, ScreeningSettings& current,
                                   QWidget* parent)
    : QDialog(parent), mode_(mode), saved_(saved), current_(current),
      grid_(new CGridScreeningFilters(saved, this)), title_(new QLineEdit(this)),
      saveNew_(new QPushButton(QStringLiteral("新規保存"), this)),
      delete_(new QPushButton(QStringLiteral("削除"), this)), ok_(new QPushButton(this)),
      cancel_(new QPushButton(QStringLiteral("キャンセル"), this)) {
    const bool saving = mode == Mode::Save;
    setWindowTitle(saving ? QStringLiteral("スクリーニング設定の保存")
                          : QStringLiteral("スクリーニング設定の再現"));
    ok_->setText(saving ? QStringLiteral("保存") : QStringLiteral("選択"));
    title_->setMaxLength(50);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(new QLabel(QStringLiteral("タイトル："), this));
    titleRow->addWidget(title_);
    layout->addLayout(titleRow);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(saveNew_);
    buttons->addWidget(delete_);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    for (QPushButton* button : {saveNew_, delete_, cancel_})
        button->setAutoDefault(false);
    ok_->setDefault(true);
    resize(460, 320);

    if (!saving) {
        saveNew_->hide();
        delete_->hide();
        title_->setEnabled(false);
    }
    grid_->Rebuild();
    grid_->Reload();
    connect(grid_, &CGridScreeningFilters::rowChosen, this, &CDialogScreening::ChooseRow);
    connect(grid_, &CGridScreeningFilters::rowActivated, this, [this](int row) {
        ChooseRow(row);
        if (grid_->SelectedRow() >= 0)
            accept();
    });
    connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateButtons(); });
    connect(saveNew_, &QPushButton::clicked, this, &CDialogScreening::SaveNew);
    connect(delete_, &QPushButton::clicked, this, &CDialogScreening::DeleteSelected);
    connect(ok_, &QPushButton::clicked, this, &CDialogScreening::accept);
    connect(cancel_, &QPushButton::clicked, this, &CDialogScreening::reject);
    UpdateButtons();
}

void CDialogScreening::ChooseRow(int row) {
    if (row < 0 || row >= grid_->RowCount())
        return;
    grid_->selectRow(row);
    if (mode_ == Mode::Save)
        title_->setText(QString::fromStdString(Cp932ToUtf8(grid_->NameAt(row))));
    UpdateButtons();
}

void CDialogScreening::UpdateButtons() {
    const bool chosen = grid_->SelectedRow() >= 0;
    ok_->setEnabled(chosen);
    delete_->setEnabled(chosen);
}

void CDialogScreening::Warn(const QString& text) {
    QMessageBox::warning(this, windowTitle(), text);
}

void CDialogScreening::SaveNew() {
    const QString title = title_->text();
    if (title.isEmpty())
        return Warn(QStringLiteral("[タイトル]を設定して下さい   "));
    switch (saved_.SaveScreeningAs(Utf8ToCp932(title.toStdString()), current_)) {
    case ScreeningSaveResult::Ok:
        QDialog::accept();
        return;
    case ScreeningSaveResult::NameExists:
        Warn(QStringLiteral("保存済みの[タイトル]です   "));
        return;
    default:
        Warn(QStringLiteral("保存に失敗しました Code:03   "));
        return;
    }
}

void CDialogScreening::DeleteSelected() {
    const int row = grid_->SelectedRow();
    if (row < 0)
        return;
    saved_.DeleteScreening(grid_->NameAt(row));
    grid_->Reload();
    UpdateButtons();
}

void CDialogScreening::accept() {
    const int row = grid_->SelectedRow();
    if (row < 0)
        return;
    const std::string chosen = grid_->NameAt(row);
    if (mode_ == Mode::Restore) {
        saved_.ApplyScreening(chosen, current_);
        QDialog::accept();
        return;
    }
    const std::string edited = Utf8ToCp932(title_->text().toStdString());
    ScreeningSaveResult result;
    if (!edited.empty() && edited != chosen) {
        // Renaming onto another record's title would lose one of the two.
        if (saved_.Find(edited) != nullptr) {
            Warn(QStringLiteral("保存済みの[タイトル]です   "));
            return;
        }
        result = saved_.ResaveScreening(edited, chosen, current_);
    } else {
        result = saved_.OverwriteScreening(chosen, current_);
    }
    if (result != ScreeningSaveResult::Ok) {
        Warn(QStringLiteral("保存に失敗しました Code:03   "));
        return;
    }
    QDialog::accept();
}

} // namespace vorn
