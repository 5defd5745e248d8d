#include "ui_base/posted_message.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace vorn {

CPostedMessage::CPostedMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
    : QEvent(EventType()), message_(message), wParam_(wParam), lParam_(lParam) {}

QEvent::Type CPostedMessage::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void CPostedMessage::Post(QObject* receiver, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    if (receiver == nullptr)
        return;
    QCoreApplication::postEvent(receiver, new CPostedMessage(message, wParam, lParam));
}

class CMessagePoster::CRelay final : public QObject {
public:
    explicit CRelay(QObject* receiver) : receiver_(receiver) {}

    bool event(QEvent* e) override {
        if (e->type() != CPostedMessage::EventType())
            return QObject::event(e);
        if (QObject* receiver = receiver_.data())
            QCoreApplication::sendEvent(receiver, e);
        return true;
    }

private:
    QPointer<QObject> receiver_; // read on this object's thread only
};

void CMessagePoster::RelayDeleter::operator()(CRelay* relay) const {
    if (relay == nullptr)
        return;
    // Deleting on the relay's own thread also drops the messages still queued for it.
    if (relay->thread() == QThread::currentThread())
        delete relay;
    else
        relay->deleteLater();
}

CMessagePoster::CMessagePoster(QObject* receiver) : relay_(new CRelay(receiver)) {
    if (receiver != nullptr && receiver->thread() != relay_->thread())
        relay_->moveToThread(receiver->thread());
}

CMessagePoster::~CMessagePoster() = default;

void CMessagePoster::Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    QCoreApplication::postEvent(relay_.get(), new CPostedMessage(message, wParam, lParam));
}

} // namespace vorn
