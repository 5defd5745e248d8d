#pragma once
// The location dialog of an announcement that comes with a comment.
#include <string>

#include "acquisition/ui/dialog_location.h"

class QPlainTextEdit;

namespace vorn {

class CDialogLocationComment : public CDialogLocation {
    Q_OBJECT
public:
    // Texts as the feed stores them (cp932).
    CDialogLocationComment(const std::string& subject, const std::string& address,
                           const std::string& comment, QWidget* parent = nullptr);

    QString Comment() const;

private:
    QPlainTextEdit* comment_;
};

} // namespace vorn
