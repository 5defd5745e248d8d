#include "acquisition/ui/dialog_location.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "acquisition/ui/web_address.h"
#include "foundation/text_encoding.h"

namespace vorn {

CDialogLocation::CDialogLocation(const std::string& subject, const std::string& address,
                                 QWidget* parent)
    : QDialog(parent), address_(address) {
    setWindowTitle(QStringLiteral("ロケーション"));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    auto* subjectLabel = new QLabel(QString::fromStdString(Cp932ToUtf8(subject)), this);
    subjectLabel->setTextFormat(Qt::PlainText);
    subjectLabel->setWordWrap(true);
    fields->addRow(QStringLiteral("件名："), subjectLabel);

    // The address is shown as a link, but the label never opens it itself: a click goes
    // through OpenAddress, which refuses anything but http and https.
    const QString shown = QString::fromStdString(Cp932ToUtf8(address)).toHtmlEscaped();
    addressLabel_ = new QLabel(this);
    addressLabel_->setTextFormat(Qt::RichText);
    addressLabel_->setOpenExternalLinks(false);
    addressLabel_->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                           Qt::LinksAccessibleByKeyboard);
    addressLabel_->setText(
        QStringLiteral("<a href=\"#\" style=\"color:#0000FF\">%1</a>").arg(shown));
    addressLabel_->setCursor(Qt::PointingHandCursor);
    connect(addressLabel_, &QLabel::linkActivated, this, [this] { OpenAddress(); });
    fields->addRow(QStringLiteral("URL："), addressLabel_);
    layout->addLayout(fields);

    body_ = new QVBoxLayout;
    layout->addLayout(body_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);
}

bool CDialogLocation::OpenAddress() {
    return OpenWebAddress(address_);
}

} // namespace vorn
