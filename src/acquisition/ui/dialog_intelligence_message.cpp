#include "acquisition/ui/dialog_intelligence_message.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "foundation/text_encoding.h"

namespace vorn {

CDialogIntelligenceMessage::CDialogIntelligenceMessage(const std::string& subject,
                                                       const std::string& message, bool fullSize,
                                                       QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromStdString(Cp932ToUtf8(subject)));
    auto* layout = new QVBoxLayout(this);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setPlainText(QString::fromStdString(Cp932ToUtf8(message)));
    layout->addWidget(text_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    QRect area;
    if (parent != nullptr)
        area = QRect(parent->mapToGlobal(QPoint(0, 0)), parent->size());
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        setGeometry(PlacementIn(area, fullSize));
}

QString CDialogIntelligenceMessage::Message() const {
    return text_->toPlainText();
}

QRect CDialogIntelligenceMessage::PlacementIn(const QRect& area, bool fullSize) {
    if (fullSize)
        return area;
    const QSize half(area.width() / 2, area.height() / 2);
    return QRect(area.left() + (area.width() - half.width()) / 2,
                 area.top() + (area.height() - half.height()) / 2, half.width(), half.height());
}

} // namespace vorn
