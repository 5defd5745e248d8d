#pragma once
// Window messages of the core (progress, tool window closed, status bar panes, ...) travel to
// Qt objects as posted events, so that a worker thread never calls into a widget.
#include <QEvent>
#include <QObject>
#include <cstdint>
#include <memory>

#include "foundation/message_sink.h"

namespace vorn {

class CPostedMessage final : public QEvent {
public:
    CPostedMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    // The event type of every posted message, registered with Qt on first use.
    static QEvent::Type EventType();

    // Queues the message for `receiver` on the receiver's thread. Call only from a thread
    // that keeps `receiver` alive meanwhile (its own thread); workers use CMessagePoster.
    static void Post(QObject* receiver, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam);

    std::uint32_t Message() const { return message_; }
    std::uintptr_t WParam() const { return wParam_; }
    std::intptr_t LParam() const { return lParam_; }

private:
    std::uint32_t message_;
    std::uintptr_t wParam_;
    std::intptr_t lParam_;
};

// The message sink handed to workers. Post may be called from any thread, also after the
// receiver has been destroyed: the messages then vanish. The poster itself must outlive every
// worker that posts through it (the owner joins its workers first).
class CMessagePoster final : public IMessageSink {
public:
    // `receiver` gets CPostedMessage events in the order they were posted; it handles them
    // in QObject::customEvent.
    explicit CMessagePoster(QObject* receiver);
    ~CMessagePoster() override;
    CMessagePoster(const CMessagePoster&) = delete;
    CMessagePoster& operator=(const CMessagePoster&) = delete;

    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

private:
    class CRelay;
    struct RelayDeleter {
        void operator()(CRelay* relay) const;
    };
    // Lives on the receiver's thread as long as the poster; only that thread dereferences
    // the receiver, so its destruction cannot race with a worker's Post.
    std::unique_ptr<CRelay, RelayDeleter> relay_;
};

} // namespace vorn
