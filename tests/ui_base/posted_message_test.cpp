#include "ui_base/posted_message.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "support/offscreen_application.h"

namespace vorn {
namespace {

class CReceiver : public QObject {
public:
    std::vector<std::pair<std::uint32_t, std::intptr_t>> received; // message, lParam
    int offThread = 0;
    int* deliveries = nullptr;

protected:
    void customEvent(QEvent* e) override {
        if (e->type() != CPostedMessage::EventType())
            return;
        auto* posted = static_cast<CPostedMessage*>(e);
        received.emplace_back(posted->Message(), posted->LParam());
        offThread += QThread::currentThread() != thread();
        if (deliveries != nullptr)
            ++*deliveries;
    }
};

// The deadline only bounds a failing test.
void PumpUntil(const CReceiver& receiver, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (receiver.received.size() < count && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(MessagePosterTest, WorkersMessagesArriveInTheirOrderOnTheReceiversThread) {
    test::OffscreenApplication();
    CReceiver receiver;
    CMessagePoster poster(&receiver);
    constexpr int kPerWorker = 1500;
    std::vector<std::thread> workers;
    for (std::uint32_t message : {1025u, 1027u, 1154u})
        workers.emplace_back([&poster, message] {
            for (int i = 0; i < kPerWorker; ++i)
                poster.Post(message, 0, i);
        });
    PumpUntil(receiver, 3 * kPerWorker);
    for (auto& worker : workers)
        worker.join();

    ASSERT_EQ(receiver.received.size(), 3u * kPerWorker);
    EXPECT_EQ(receiver.offThread, 0);
    std::map<std::uint32_t, std::intptr_t> next;
    for (const auto& [message, lParam] : receiver.received)
        ASSERT_EQ(lParam, next[message]++) << "message " << message;
}

TEST(MessagePosterTest, QueuedMessagesVanishWithTheReceiverOrThePoster) {
    test::OffscreenApplication();
    int deliveries = 0;
    auto receiver = std::make_unique<CReceiver>();
    receiver->deliveries = &deliveries;
    CMessagePoster poster(receiver.get());
    std::thread([&] { poster.Post(1027, 1, 0); }).join();
    receiver.reset();
    std::thread([&] { poster.Post(1027, 2, 0); }).join();
    QCoreApplication::sendPostedEvents();

    CReceiver kept;
    kept.deliveries = &deliveries;
    auto shortLived = std::make_unique<CMessagePoster>(&kept);
    std::thread([&] { shortLived->Post(1025, 0, 50); }).join();
    shortLived.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(deliveries, 0);
}

} // namespace
} // namespace vorn
