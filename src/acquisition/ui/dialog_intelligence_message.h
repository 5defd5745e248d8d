#pragma once
// The pop-up window that shows the text of a message announcement: over the whole of its
// parent, or centred at half its width and height.
#include <QDialog>
#include <string>

class QPlainTextEdit;

namespace vorn {

class CDialogIntelligenceMessage : public QDialog {
    Q_OBJECT
public:
    // Texts as the feed stores them (cp932).
    CDialogIntelligenceMessage(const std::string& subject, const std::string& message,
                               bool fullSize, QWidget* parent = nullptr);

    QString Message() const;

    // The geometry over `area`: all of it, or half of each side, centred.
    static QRect PlacementIn(const QRect& area, bool fullSize);

private:
    QPlainTextEdit* text_;
};

} // namespace vorn
