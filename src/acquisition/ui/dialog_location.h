#pragma once
// "ロケーション": the subject of an announcement and the web address it leads to, drawn as a
// link that opens in the system's browser when clicked.
#include <QDialog>
#include <string>

class QLabel;
class QVBoxLayout;

namespace vorn {

class CDialogLocation : public QDialog {
    Q_OBJECT
public:
    // Subject and address as the feed stores them (cp932).
    CDialogLocation(const std::string& subject, const std::string& address,
                    QWidget* parent = nullptr);

    const std::string& Address() const { return address_; }
    // What a click on the address does: true when it was opened.
    bool OpenAddress();
    QLabel* AddressLabel() const { return addressLabel_; }

protected:
    // Room for what a derived dialog shows between the address and the button.
    QVBoxLayout* Body() const { return body_; }

private:
    std::string address_;
    QLabel* addressLabel_;
    QVBoxLayout* body_;
};

} // namespace vorn
