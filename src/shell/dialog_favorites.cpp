#include "shell/dialog_favorites.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "contents/favorites.h"
#include "foundation/text_encoding.h"

namespace vorn {

CDialogFavorites::CDialogFavorites(SecurityKeySet& favorites, const CMarketMatrix& matrix,
                                   QWidget* parent)
    : QDialog(parent), favorites_(favorites), matrix_(matrix) {
    setWindowTitle(QStringLiteral("お気に入りの整理"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    auto* remove = new QPushButton(QStringLiteral("削除"), this);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    auto* clear = new QPushButton(QStringLiteral("クリア"), this);
    for (QPushButton* button : {remove, close, clear}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    connect(remove, &QPushButton::clicked, this, &CDialogFavorites::RemoveSelected);
    connect(clear, &QPushButton::clicked, this, &CDialogFavorites::ClearAll);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(360, 420);
    Fill();
}

void CDialogFavorites::Fill() {
    list_->clear();
    for (const FavoriteItem& item : FavoriteItems(favorites_, matrix_)) {
        auto* row = new QListWidgetItem(QString::fromStdString(Cp932ToUtf8(item.label)), list_);
        row->setData(Qt::UserRole, static_cast<qulonglong>(item.key));
    }
}

void CDialogFavorites::RemoveSelected() {
    for (const QListWidgetItem* row : list_->selectedItems())
        favorites_.Erase(static_cast<SecurityKey>(row->data(Qt::UserRole).toULongLong()));
    Fill();
}

void CDialogFavorites::ClearAll() {
    favorites_.Clear();
    list_->clear();
}

void CDialogFavorites::keyPressEvent(QKeyEvent* event) {
    // Closed only by "閉じる" or the close box.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vorn
