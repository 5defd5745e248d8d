#include "acquisition/ui/dialog_location_comment.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "foundation/text_encoding.h"

namespace vorn {

CDialogLocationComment::CDialogLocationComment(const std::string& subject,
                                               const std::string& address,
                                               const std::string& comment, QWidget* parent)
    : CDialogLocation(subject, address, parent) {
    comment_ = new QPlainTextEdit(this);
    comment_->setReadOnly(true);
    comment_->setPlainText(QString::fromStdString(Cp932ToUtf8(comment)));
    Body()->addWidget(comment_);
    resize(480, 320);
}

QString CDialogLocationComment::Comment() const {
    return comment_->toPlainText();
}

} // namespace vorn
